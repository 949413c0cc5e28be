// Opens the port named on the command line once, as the user this process
// runs as, and prints the open's error number (0 when it opened) and what the
// Comport panel's tip would say, separated by a TAB. For tst_portopenfailure,
// which starts it as an unprivileged user.

#include "app/comportoptions.h"
#include "link/tcomport.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    TComPort port;
    port.SetPort(QString::fromLocal8Bit(argv[1]));
    try {
        port.Open();
        port.Close();
    } catch (const EComPortError &) {
    }
    const QString tip = PortOpenProblem(port.Port(), port.LastOpenError());
    std::printf("%d\t%s\n", port.LastOpenError(), tip.toUtf8().constData());
    return 0;
}

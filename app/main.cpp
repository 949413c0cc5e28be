#include "app/startup.h"

int main(int argc, char *argv[])
{
    KelvoraApplication app(argc, argv);
    return KelvoraMain(app);
}

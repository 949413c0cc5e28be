// kelvora-sim: the RTD module bus simulator as a program. See usage() below.

#include "sim/bussimulator.h"
#include "sim/simconsole.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char kDefaultLink[] = "/tmp/kelvora-sim/ttyKELV0";

QString usage()
{
    return QStringLiteral(
               "Usage: kelvora-sim [options]\n"
               "\n"
               "Simulates a bus of RTD input modules (Modbus RTU slaves, functions 3 and 16;\n"
               "any other function is refused with exception 1) and, on request, the three\n"
               "relay-integrated modules, on a pseudo-terminal published as a symbolic link\n"
               "that a master opens like a serial port, or as a TCP server (--listen). The\n"
               "link's path, or the address listened on, is printed as the first line of\n"
               "standard output.\n"
               "\n"
               "On the line it behaves as the modules do: a request ends after 3.5 characters\n"
               "of silence (1.8 ms), so a pause inside a request loses it; a reply begins a\n"
               "turnaround after the request and its bytes follow at the line's rate, 10 bits\n"
               "a character at 19200 baud (relay modules 11 bits at 57600); a reply nobody\n"
               "has read within 250 ms is discarded.\n"
               "\n"
               "Options:\n"
               "  --link PATH         the link to publish (default %1);\n"
               "                      an older link there is replaced, and removed at exit\n"
               "  --module ADDR[:TYPES]\n"
               "                      a module at ADDR (1..63); with TYPES it already holds\n"
               "                      that configuration, without it reads 20000 until the\n"
               "                      master writes one. TYPES: up to eight of none, pt100,\n"
               "                      ni100, ni120, cu10, 4-20ma (or codes 0..5), comma-\n"
               "                      separated, e.g. 5:pt100,ni100,cu10,4-20ma. Repeatable\n"
               "  --modules LIST[:TYPES]\n"
               "                      modules at LIST (e.g. 1-4,9), configured with TYPES or\n"
               "                      else the mix pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,\n"
               "                      none. Repeatable. Without --module, --modules and\n"
               "                      --relay the bus holds modules 1-4\n"
               "  --relay             also answer as relay modules 1..3 (link addresses\n"
               "                      13..15, the 13-byte poll with command 9)\n"
               "  --seed N            seed of the simulated readings (default 1)\n"
               "  --fault ADDR:KIND[:INPUT[:RAW]]\n"
               "                      a fault from the start, as the fault command below\n"
               "                      with colons for spaces: 7:silent, 7:open:3,\n"
               "                      7:value:3:1234, 7:exception:register:5, r2:late.\n"
               "                      Repeatable\n"
               "  --set ADDR:WHAT:VALUE\n"
               "                      an identity register from the start, as the set\n"
               "                      command below with colons for spaces: 5:device:201,\n"
               "                      5:firmware:65535, 5:notch:0. Repeatable\n"
               "  --chaos PERCENT     PERCENT (0..100) of the requests meet a random\n"
               "                      fault of any kind, as the chaos command below\n"
               "  --turnaround MS     time from the end of a request to the start of its\n"
               "                      reply, 0..1000 ms, fractions allowed (default 3)\n"
               "  --no-pacing         replies go out whole as soon as the request has\n"
               "                      ended, without turnaround: fastest, for tests\n"
               "  --port DEVICE       serve a real serial port instead of a pty (raw,\n"
               "                      8N1, no flow control); vanish and return do not apply.\n"
               "                      The port sends at its own baud rate; as the kernel\n"
               "                      hands bytes over in pieces, 20 ms of silence ends a\n"
               "                      request there\n"
               "  --baud N            baud rate for --port (default 19200)\n"
               "  --listen tcp://HOST:PORT\n"
               "                      serve a raw TCP server instead of a pty, as a serial\n"
               "                      device server does: the client's bytes are the line.\n"
               "                      HOST is a name, an IPv4 address or an IPv6 address\n"
               "                      in brackets (tcp://[::1]:1502); PORT 0 lets the system\n"
               "                      choose one. The first line of output is the address\n"
               "                      as bound, such as tcp://127.0.0.1:40123. One client\n"
               "                      at a time: a connection that comes while a client is\n"
               "                      served is closed at once. Replies are paced as on the\n"
               "                      pty; as TCP hands bytes over in segments, 20 ms of\n"
               "                      silence ends a request there. A client that hangs up\n"
               "                      in the middle of a request loses it. vanish closes\n"
               "                      the client and the listener, return listens again\n"
               "                      on the same address and port\n"
               "  --report            print on standard error, for every request received,\n"
               "                      what was done to it, as the report command lists it\n"
               "  --no-stdin          take no commands; run until SIGINT or SIGTERM.\n"
               "                      Standard input is also left alone when it is\n"
               "                      /dev/null or a terminal of a background job, as with\n"
               "                      'kelvora-sim &' or 'kelvora-sim </dev/null &'\n"
               "  -h, --help          this text\n"
               "\n")
               .arg(QLatin1String(kDefaultLink)) +
           SimConsole::commandHelp() +
           QStringLiteral(
               "\n"
               "Standard input otherwise ends the program at its end, like quit. On exit\n"
               "(quit, end of input, SIGINT, SIGTERM, SIGHUP) the link is removed.\n"
               "Exit status: 0 after a clean stop, 1 when the line cannot be served (a port\n"
               "that does not open, an address that cannot be listened on),\n"
               "2 for a wrong command line.\n");
}

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void installSignalHandlers()
{
    ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void print(FILE *stream, const QString &text)
{
    if (text.isEmpty())
        return;
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// A command's outcome as a person at the terminal reads it.
void print(const Result<QString> &outcome)
{
    print(stdout, outcome ? *outcome : QStringLiteral("error: ") + outcome.error());
}

// Why standard input should not be read, or an empty text when it should.
QString stdinUnusable(bool noStdinOption)
{
    if (noStdinOption)
        return QStringLiteral("--no-stdin");
    struct stat in = {};
    struct stat null = {};
    if (::fstat(STDIN_FILENO, &in) != 0)
        return QStringLiteral("standard input is closed");
    if (S_ISCHR(in.st_mode) && ::stat("/dev/null", &null) == 0 && in.st_rdev == null.st_rdev)
        return QStringLiteral("standard input is /dev/null");
    // A background job reading its terminal would be stopped by SIGTTIN.
    if (::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) != ::getpgrp())
        return QStringLiteral("running in the background");
    return QString();
}

speed_t baudConstant(int baud)
{
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

int openPort(const QString &device, speed_t speed)
{
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio = {};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, speed);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~tcflag_t(CRTSCTS | CSTOPB);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

// Reads commands from standard input (unless told not to) until quit, end of
// input or a signal.
void serve(SimConsole &console, bool readStdin)
{
    QByteArray pending;
    while (!console.quitRequested()) {
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, readStdin ? 2 : 1, -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (!readStdin || fds[1].revents == 0)
            continue;
        char chunk[512];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        const bool ended = n <= 0;
        if (!ended)
            pending.append(chunk, n);
        qsizetype newline;
        while (!console.quitRequested() && (newline = pending.indexOf('\n')) >= 0) {
            print(console.execute(QString::fromLocal8Bit(pending.left(newline))));
            pending.remove(0, newline + 1);
        }
        if (ended) {
            if (!console.quitRequested())
                print(console.execute(QString::fromLocal8Bit(pending)));
            return;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption link(QStringLiteral("link"), QString(), QStringLiteral("PATH"),
                                  QLatin1String(kDefaultLink));
    const QCommandLineOption module(QStringLiteral("module"), QString(), QStringLiteral("SPEC"));
    const QCommandLineOption modules(QStringLiteral("modules"), QString(), QStringLiteral("SPEC"));
    const QCommandLineOption relay(QStringLiteral("relay"), QString());
    const QCommandLineOption seed(QStringLiteral("seed"), QString(), QStringLiteral("N"));
    const QCommandLineOption fault(QStringLiteral("fault"), QString(), QStringLiteral("SPEC"));
    const QCommandLineOption set(QStringLiteral("set"), QString(), QStringLiteral("SPEC"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("DEVICE"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("N"),
                                  QStringLiteral("19200"));
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("URL"));
    const QCommandLineOption noStdin(QStringLiteral("no-stdin"), QString());
    const QCommandLineOption turnaround(QStringLiteral("turnaround"), QString(),
                                        QStringLiteral("MS"));
    const QCommandLineOption noPacing(QStringLiteral("no-pacing"), QString());
    const QCommandLineOption chaos(QStringLiteral("chaos"), QString(), QStringLiteral("PERCENT"));
    const QCommandLineOption report(QStringLiteral("report"), QString());
    parser.addOptions({help, link, module, modules, relay, seed, fault, set, port, baud, listen,
                       noStdin, turnaround, noPacing, chaos, report});

    const auto fail = [](const QString &why) {
        print(stderr, QStringLiteral("kelvora-sim: %1 (see --help)").arg(why));
        return 2;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    std::optional<SimListenAddress> listenAddress;
    if (parser.isSet(listen)) {
        if (parser.isSet(port) || parser.isSet(link))
            return fail(QStringLiteral("--listen serves no pty and no port: leave out --link "
                                       "and --port"));
        const Result<SimListenAddress> address = simParseListenAddress(parser.value(listen));
        if (!address)
            return fail(address.error());
        listenAddress = *address;
    }
    int portFd = -1;
    if (parser.isSet(port)) {
        const speed_t speed = baudConstant(parser.value(baud).toInt());
        if (speed == B0)
            return fail(QStringLiteral("unsupported baud rate %1").arg(parser.value(baud)));
        portFd = openPort(parser.value(port), speed);
        if (portFd < 0) {
            print(stderr, QStringLiteral("kelvora-sim: cannot open %1").arg(parser.value(port)));
            return 1;
        }
    }
    auto sim = portFd >= 0     ? std::make_unique<BusSimulator>(BusSimulator::OpenPort{portFd})
               : listenAddress ? std::make_unique<BusSimulator>(*listenAddress)
                               : std::make_unique<BusSimulator>(parser.value(link));
    if (parser.isSet(seed)) {
        bool ok = false;
        const uint value = parser.value(seed).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("bad seed %1").arg(parser.value(seed)));
        sim->setSeed(value);
    }
    if (parser.isSet(turnaround)) {
        bool ok = false;
        const double ms = parser.value(turnaround).toDouble(&ok);
        if (!ok || !(ms >= 0.0 && ms <= 1000.0))
            return fail(QStringLiteral("bad turnaround %1").arg(parser.value(turnaround)));
        sim->setTurnaround(std::chrono::microseconds(qRound64(ms * 1000.0)));
    }
    sim->setPacing(!parser.isSet(noPacing));
    if (parser.isSet(chaos)) {
        bool ok = false;
        const int percent = parser.value(chaos).toInt(&ok);
        if (!ok || !sim->setChaos(percent))
            return fail(QStringLiteral("bad chaos percent %1 (0..100)").arg(parser.value(chaos)));
    }
    for (const QString &spec : parser.values(module)) {
        if (const Result<> added = SimConsole::addModuleSpec(*sim, spec); !added)
            return fail(added.error());
    }
    for (const QString &spec : parser.values(modules)) {
        if (const Result<> added = SimConsole::addModuleRange(*sim, spec); !added)
            return fail(added.error());
    }
    if (!parser.isSet(module) && !parser.isSet(modules) && !parser.isSet(relay))
        static_cast<void>(SimConsole::addModuleRange(*sim, QStringLiteral("1-4")));
    sim->setRelayModules(parser.isSet(relay));
    if (parser.isSet(report)) {
        // One fputs a line, on the simulator's thread: stdio locks the stream.
        sim->setActionObserver(
            [](const SimAction &action) { print(stderr, SimConsole::describeAction(action)); });
    }
    SimConsole console(*sim);
    for (const QString &spec : parser.values(fault)) {
        if (const Result<> applied = console.applyFaultSpec(spec); !applied)
            return fail(applied.error());
    }
    for (const QString &spec : parser.values(set)) {
        if (const Result<> applied = console.applySetSpec(spec); !applied)
            return fail(applied.error());
    }

    installSignalHandlers();
    const QString stdinNote = stdinUnusable(parser.isSet(noStdin));
    if (const Result<> started = sim->start(); !started) {
        print(stderr, QStringLiteral("kelvora-sim: %1").arg(started.error()));
        return 1;
    }
    print(stdout, portFd >= 0     ? parser.value(port)
                  : listenAddress ? sim->listenUrl()
                                  : sim->linkPath());
    print(stderr, *console.execute(QStringLiteral("list")));
    print(stderr,
          stdinNote.isEmpty()
              ? QStringLiteral("kelvora-sim: reading commands from standard input (try help)")
              : QStringLiteral("kelvora-sim: not reading standard input (%1); stop with "
                               "SIGINT or SIGTERM")
                    .arg(stdinNote));
    serve(console, stdinNote.isEmpty());
    sim->stop();
    if (portFd >= 0)
        ::close(portFd);
    return 0;
}

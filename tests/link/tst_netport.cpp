// The bus master through a network port: the real serial device server of
// Debian (ser2net) in front of the bus simulator's pseudo-terminal, as an
// RFC 2217 server and as a raw one, and loopback sockets of the test's own
// where a server must misbehave in one chosen way. Only 127.0.0.1 is used.

#include "debug/vrxprotocol.h"
#include "link/busport.h"
#include "link/comportguard.h"
#include "link/exchangelog.h"
#include "link/mbprotocol.h"
#include "link/netport.h"
#include "link/portproblem.h"
#include "link/protocol.h"
#include "sim/bussimulator.h"
#include "support/linesettings.h"
#include "support/lockholder.h"
#include "support/ser2net.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Values = QList<quint16>;
using namespace std::chrono_literals;

// A listening socket on 127.0.0.1 that the test drives by hand: it accepts
// only when told, so a client's connection waits in its queue meanwhile (the
// kernel completes the handshake: to the client the server has answered).
class Listener
{
public:
    explicit Listener(int backlog = 4)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            ::listen(m_fd, backlog) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~Listener()
    {
        for (int fd : m_accepted)
            ::close(fd);
        ::close(m_fd);
    }
    int port() const { return m_port; }
    // The next connection in the queue, waiting up to five seconds for
    // one; -1 when none came.
    int accept()
    {
        QDeadlineTimer deadline(5000);
        int fd = -1;
        while ((fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) < 0 &&
               !deadline.hasExpired())
            QThread::msleep(5);
        if (fd >= 0)
            m_accepted.append(fd);
        return fd;
    }

private:
    int m_fd = -1;
    int m_port = 0;
    QList<int> m_accepted;
};

// A plain client connection to port, left open and never waited for: it
// fills a listener's queue.
int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return fd;
}

// What arrives on a non-blocking socket within a second, at most want bytes.
QByteArray Receive(int fd, int want)
{
    QByteArray got;
    QDeadlineTimer deadline(1000);
    while (got.size() < want && !deadline.hasExpired()) {
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, size_t(std::min(want - int(got.size()), 256)), 0);
        if (n > 0)
            got.append(buffer, n);
        else
            QThread::msleep(5);
    }
    return got;
}

// Opens port until an open succeeds or fails for another reason than that
// the connection is still being made; the code of the last open (0: opened).
int SettledOpenCode(NetPort &port, int seconds = 20)
{
    QDeadlineTimer deadline(seconds * 1000);
    for (;;) {
        try {
            port.Open();
            return 0;
        } catch (const EComPortError &error) {
            if (error.code() != kNetConnecting || deadline.hasExpired())
                return error.code();
        }
        QThread::msleep(20);
    }
}

// The eight readings in the simulator's last sound reply to a read of
// registers 16..23 from address.
Values LastReadingsSent(const BusSimulator &sim, int address)
{
    const QList<SimAction> actions = sim.actions();
    for (qsizetype i = actions.size() - 1; i >= 0; --i) {
        const SimAction &action = actions[i];
        if (action.request.address != address || action.request.first != 16 ||
            action.reply.size() != 21)
            continue;
        Values values;
        for (int k = 0; k < 8; ++k)
            values.append(
                quint16(quint8(action.reply[3 + 2 * k]) << 8 | quint8(action.reply[4 + 2 * k])));
        return values;
    }
    return {};
}

// A COM port server of the test's own on 127.0.0.1, on a thread: it agrees
// to COM port control and binary mode, answers a change of parity after
// answerDelayMs and every other COM port command at once (or none ever, when
// answerDelayMs < 0) and writes down in order
// what it read and did: "set 3 4" (parity, mark), "answered 3 4", "data 1"
// (one byte of the line).
class ComPortServer
{
public:
    explicit ComPortServer(int answerDelayMs) : m_delay(answerDelayMs)
    {
        m_thread = std::thread([this] { Serve(); });
    }
    ~ComPortServer()
    {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listener.port(); }
    QStringList events() const
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    void Note(const QString &event)
    {
        const std::lock_guard lock(m_mutex);
        m_events.append(event);
    }
    void Serve()
    {
        int fd = -1;
        while (!m_stop && (fd = m_listener.accept()) < 0) {
        }
        QByteArray in;
        int data = 0;
        while (!m_stop && fd >= 0) {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                QThread::msleep(1);
                continue;
            }
            in.append(buffer, n);
            for (;;) {
                const auto at = [&](int i) { return quint8(in.at(i)); };
                if (in.isEmpty())
                    break;
                if (at(0) != 0xFF) {
                    ++data;
                    in.remove(0, 1);
                    continue;
                }
                if (data) {
                    Note(QStringLiteral("data %1").arg(data));
                    data = 0;
                }
                if (in.size() < 3)
                    break;
                if (at(1) == 0xFB || at(1) == 0xFD) { // WILL, DO
                    const char reply[] = {'\xFF', char(at(1) == 0xFB ? 0xFD : 0xFB), in.at(2)};
                    ::send(fd, reply, 3, MSG_NOSIGNAL);
                    in.remove(0, 3);
                    continue;
                }
                if (at(1) != 0xFA) {
                    in.remove(0, 2);
                    continue;
                }
                const qsizetype end = in.indexOf(QByteArray::fromHex("fff0"));
                if (end < 0)
                    break;
                const int command = at(3);
                const int value = at(4);
                Note(QStringLiteral("set %1 %2").arg(command).arg(value));
                if (m_delay >= 0) {
                    if (command == 3)
                        QThread::msleep(m_delay);
                    QByteArray answer = in.left(end + 2);
                    answer[3] = char(command + 100);
                    ::send(fd, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
                    Note(QStringLiteral("answered %1 %2").arg(command).arg(value));
                }
                in.remove(0, end + 2);
            }
            if (data) {
                Note(QStringLiteral("data %1").arg(data));
                data = 0;
            }
        }
    }

    Listener m_listener;
    int m_delay;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QStringList m_events;
    std::thread m_thread;
};

} // namespace

class TestNetPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsAndWritesThroughTheServer_data();
    void readsAndWritesThroughTheServer();
    void connectionStaysUpBetweenExchanges();
    void relayPollsSwitchParityThroughRfc2217();
    void parityChangesWaitForTheServer();
    void parityChangeNeverAnswered();
    void serverKilledAndRestarted_data();
    void serverKilledAndRestarted();
    void guardTakenByTheNetworkPortsName();

    void failuresInWords_data();
    void failuresInWords();
    void connectionDroppedMidExchange();
    void serverRefusingComPortControl();
    void rawServerThatNeverAnswers();
    void floodingServer();

private:
    QString nameOf(const QString &kind) const;
    // A guarded read that is to succeed: made again, up to five times, when
    // it fails, as the next tick would make it. The connection may still be
    // being made, and on a loaded machine the server may hand a reply over
    // after its window.
    Values read(BusPort &port, int address, int first, int count);
    // One guarded read, for a read that is to fail.
    Values readOnce(BusPort &port, int address, int first, int count);

    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
    std::unique_ptr<Ser2net> m_server;
};

void TestNetPort::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (!Ser2net::Installed())
        QFAIL("ser2net is not installed; scripts/setup.sh installs it");
}

void TestNetPort::init()
{
    m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttyBUS")));
    m_sim->addModule(5);
    m_sim->addModule(6, {1, 2, 3, 4, 5, 0, 1, 5});
    m_sim->setRelayModules(true);
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));
    m_server = std::make_unique<Ser2net>(m_sim->linkPath());
    const QString up = m_server->Start();
    QVERIFY2(up.isEmpty(), qPrintable(up));
}

void TestNetPort::cleanup()
{
    m_server.reset();
    m_sim.reset();
}

QString TestNetPort::nameOf(const QString &kind) const
{
    return kind == QLatin1String("rfc2217") ? m_server->Rfc2217Name() : m_server->RawName();
}

Values TestNetPort::readOnce(BusPort &port, int address, int first, int count)
{
    Values values(count, 0xBEEF);
    const bool ok = Protocol().ReadRegisters({address, &port}, first, count, values.data());
    return ok ? values : Values();
}

Values TestNetPort::read(BusPort &port, int address, int first, int count)
{
    Values values;
    for (int call = 0; call < 5 && values.isEmpty(); ++call)
        values = readOnce(port, address, first, count);
    return values;
}

void TestNetPort::readsAndWritesThroughTheServer_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("rfc2217") << QStringLiteral("rfc2217");
    QTest::newRow("raw") << QStringLiteral("raw");
}

// Metering's reads, the configuration send and the scan's identity reads
// give what the modules sent, exactly.
void TestNetPort::readsAndWritesThroughTheServer()
{
    QFETCH(QString, kind);
    BusPort port;
    port.SetBaudRate(MBProtocol::kBaudRate);
    port.SetPort(nameOf(kind));
    QVERIFY(port.IsNetwork());

    QCOMPARE(read(port, 5, 16, 8), Values(8, 20000)); // not configured yet
    const QList<qint16> types = {0x0102, 0x0304, 0x0500, 0x0105};
    bool written = false;
    for (int call = 0; call < 5 && !written; ++call)
        written = Protocol().WriteRegisters({5, &port}, 0, 4, types.data());
    QVERIFY(written);
    QVERIFY(m_sim->moduleState(5)->configured);
    QCOMPARE(m_sim->moduleState(5)->inputTypes, (SimInputTypes{1, 2, 3, 4, 5, 0, 1, 5}));

    for (int k = 0; k < 5; ++k) {
        for (int address : {5, 6}) {
            const Values readings = read(port, address, 16, 8);
            QCOMPARE(readings.size(), 8);
            QCOMPARE(readings, LastReadingsSent(*m_sim, address));
        }
    }
    QCOMPARE(read(port, 6, 4, 2), (Values{202, 311}));
    QCOMPARE(read(port, 6, 5, 2), (Values{311, 0}));
    QVERIFY(!port.Connected()); // the line is closed after every call
    QVERIFY(port.Network().Linked());
    QCOMPARE(port.LastOpenError(), 0);
    QVERIFY2(port.Tip().contains(QStringLiteral("connected; round trip")), qPrintable(port.Tip()));
    QVERIFY(port.ReplyAllowanceMs() >= 1);
    QVERIFY(port.ReplyAllowanceMs() <= NetPort::kMaxReplyAllowanceMs);
}

// One connection serves every exchange: the socket stays the same while the
// line opens and closes, and what arrived while it was closed is dropped.
void TestNetPort::connectionStaysUpBetweenExchanges()
{
    BusPort port;
    port.SetBaudRate(MBProtocol::kBaudRate);
    port.SetPort(m_server->Rfc2217Name());
    QCOMPARE(read(port, 6, 4, 2), (Values{202, 311}));
    const int socket = port.Network().Handle();
    QVERIFY(socket >= 0);
    for (int k = 0; k < 10; ++k)
        QCOMPARE(read(port, 6, 4, 2), (Values{202, 311}));
    QCOMPARE(port.Network().Handle(), socket);

    // A reply to a request nobody waits for arrives while the line is
    // closed; the next exchange does not take it for its own.
    port.Open();
    const QByteArray request = QByteArray::fromHex("0603000500019577"); // register 5 of module 6
    QCOMPARE(port.WriteText(request), int(request.size()));
    port.Close();
    QThread::msleep(100);
    QCOMPARE(read(port, 6, 4, 1), (Values{202}));

    port.Release();
    QCOMPARE(port.Network().Handle(), -1);
    QCOMPARE(read(port, 6, 4, 1), (Values{202}));

    // Left unused, the connection ends, but never while the line is open.
    port.Open();
    port.Network().ReleaseIfIdle(0ms);
    QVERIFY(port.Network().Linked());
    port.Close();
    port.Network().ReleaseIfIdle(1h);
    QVERIFY(port.Network().Linked());
    port.Network().ReleaseIfIdle(0ms);
    QVERIFY(!port.Network().Linked());
    QCOMPARE(read(port, 6, 4, 1), (Values{202}));
}

// The relay modules' link switches mark and space parity twice a poll; an
// RFC 2217 server applies each switch to its port.
void TestNetPort::relayPollsSwitchParityThroughRfc2217()
{
    BusPort port;
    port.SetPort(m_server->Rfc2217Name());
    for (int module = 1; module <= 3; ++module) {
        VRXProtocol vrx(&port);
        VrxResult result;
        QVERIFY2(vrx.PollModule(module, {1, 1, 1, 1, 5, 5, 0, 0}, result),
                 qPrintable(QString::number(module)));
        QCOMPARE(result.module, module);
        port.Close();
    }
    // The server's side of the line holds what was asked last: 57600 baud
    // and space parity after a poll, mark parity once asked for.
    const int fd = ::open(QFile::encodeName(m_sim->ptyPath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QTRY_COMPARE(LineSettings(fd).left(9), QStringLiteral("57600 8S1"));
    port.SetParity(ParityBits::Mark);
    QTRY_COMPARE(LineSettings(fd).left(9), QStringLiteral("57600 8M1"));
    ::close(fd);
}

// A server makes a change of the line as soon as it reads it, whatever
// bytes are still on their way to its port. So the address byte is written
// only once the server has answered the change to mark parity, and the rest
// of the poll only once it has answered the change to space.
void TestNetPort::parityChangesWaitForTheServer()
{
    ComPortServer server(10);
    NetPort port;
    port.SetPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    port.SetParity(ParityBits::Space);
    QCOMPARE(SettledOpenCode(port), 0);
    port.Close();
    VRXProtocol vrx(&port);
    VrxResult result;
    QVERIFY(!vrx.PollModule(1, {1, 1, 1, 1, 1, 1, 1, 1}, result)); // nobody answers the poll
    QStringList events = server.events();
    // Purges of the server's buffers come between; they do not touch the
    // bytes on their way out.
    events.removeIf([](const QString &e) {
        return e.endsWith(QLatin1String(" 12 1")) || e.endsWith(QLatin1String(" 12 3"));
    });
    // From the poll on: the baud rate of the relay link, then the address
    // byte between its parity changes.
    events = events.mid(events.indexOf(QStringLiteral("answered 3 5")) + 1);
    QCOMPARE(events, (QStringList{QStringLiteral("set 1 0"), QStringLiteral("answered 1 0"),
                                  QStringLiteral("set 3 4"), QStringLiteral("answered 3 4"),
                                  QStringLiteral("data 1"), QStringLiteral("set 3 5"),
                                  QStringLiteral("answered 3 5"), QStringLiteral("data 12")}));
}

// A server that never answers a change of parity: the change fails, and so
// does the poll, rather than send the address byte with a parity nobody
// knows.
void TestNetPort::parityChangeNeverAnswered()
{
    ComPortServer server(-1);
    NetPort port;
    port.SetPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    QCOMPARE(SettledOpenCode(port), int(kNetServerSilent)); // its settings are never answered
}

void TestNetPort::serverKilledAndRestarted_data()
{
    readsAndWritesThroughTheServer_data();
}

// The server dies while the bus is read, and comes back: reads fail and say
// why, then succeed again on a new connection, without anyone reopening the
// port by hand.
void TestNetPort::serverKilledAndRestarted()
{
    QFETCH(QString, kind);
    BusPort port;
    port.SetBaudRate(MBProtocol::kBaudRate);
    port.SetPort(nameOf(kind));
    QCOMPARE(read(port, 6, 4, 1), (Values{202}));

    m_server->Kill();
    QVERIFY(readOnce(port, 6, 4, 1).isEmpty());
    QVERIFY(readOnce(port, 6, 4, 1).isEmpty());
    QCOMPARE(port.LastOpenError(), ECONNREFUSED);
    QCOMPARE(port.Tip(), QStringLiteral("Comport %1 cannot be opened: connection refused. Check "
                                        "the device server's address and port.")
                             .arg(nameOf(kind)));

    const QString up = m_server->Start();
    QVERIFY2(up.isEmpty(), qPrintable(up));
    QTRY_COMPARE_WITH_TIMEOUT(read(port, 6, 4, 1), (Values{202}), 10000);
    QCOMPARE(port.LastOpenError(), 0);
}

// Two programs sharing one server take turns by the server's name; the
// guard of the local ports holds nobody up there.
void TestNetPort::guardTakenByTheNetworkPortsName()
{
    BusPort port;
    port.SetBaudRate(MBProtocol::kBaudRate);
    port.SetPort(m_server->Rfc2217Name());
    QCOMPARE(QString::fromStdString(ComportGuard::LockFilePath(port.GuardName().toStdString())),
             QString::fromStdString(ComportGuard::LockFilePath())
                 .replace(QStringLiteral("comport.lock"),
                          QStringLiteral("comport-rfc2217___127.0.0.1_%1.lock"))
                 .arg(m_server->Rfc2217Port()));
    {
        LockHolder local(QString::fromStdString(ComportGuard::LockFilePath()));
        QVERIFY(local.locked());
        QCOMPARE(read(port, 6, 4, 1), (Values{202}));
    }
    ExchangeLog log;
    port.SetExchangeLog(&log);
    {
        LockHolder other(
            QString::fromStdString(ComportGuard::LockFilePath(port.GuardName().toStdString())));
        QVERIFY(other.locked());
        QVERIFY(readOnce(port, 6, 4, 1).isEmpty());
    }
    QCOMPARE(log.LastSequence(), log.FirstSequence()); // the guard's wait ended the call
    QCOMPARE(log.Find(log.LastSequence())->outcome, ExchangeOutcome::GuardHeld);
    QCOMPARE(read(port, 6, 4, 1), (Values{202}));
}

void TestNetPort::failuresInWords_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("host unknown")
        << QStringLiteral("unknown") << int(kNetHostUnknown)
        << QStringLiteral("the host is not known. Check the device server's address.");
    QTest::newRow("connection refused")
        << QStringLiteral("refused") << int(ECONNREFUSED)
        << QStringLiteral("connection refused. Check the device server's address and port.");
    QTest::newRow("accepted, never answers")
        << QStringLiteral("silent") << int(kNetServerSilent)
        << QStringLiteral("the device server accepted the connection but does not answer. "
                          "Check that this port serves RFC 2217, or choose tcp:// for a raw "
                          "one.");
    QTest::newRow("packets dropped")
        << QStringLiteral("dropped") << int(ETIMEDOUT)
        << QStringLiteral("the host does not answer. Check the device server's address and "
                          "that it is on the network.");
    QTest::newRow("not a port name")
        << QStringLiteral("badname") << int(kNetBadName)
        << QStringLiteral("it is not a port name. Write rfc2217://HOST:PORT or "
                          "tcp://HOST:PORT.");
}

// Each way a connection fails ends an open with its own code, which the
// port's tip puts in words; none of them waits long in one open.
void TestNetPort::failuresInWords()
{
    QFETCH(QString, situation);
    QFETCH(int, code);
    QFETCH(QString, reason);

    Listener listener(0);
    QList<int> fillers;
    QString name;
    if (situation == QLatin1String("unknown")) {
        name = QStringLiteral("rfc2217://nosuchhost.invalid:4001");
    } else if (situation == QLatin1String("refused")) {
        name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(FreeLoopbackPort());
    } else if (situation == QLatin1String("silent")) {
        name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(listener.port());
    } else if (situation == QLatin1String("dropped")) {
        // A queue that is full: the kernel drops every further SYN, as a
        // firewall on the way would.
        for (int k = 0; k < 3; ++k)
            fillers.append(ConnectTo(listener.port()));
        name = QStringLiteral("tcp://127.0.0.1:%1").arg(listener.port());
    } else {
        name = QStringLiteral("rfc2217://127.0.0.1"); // no port
    }

    BusPort port;
    port.SetPort(name);
    port.Network().SetPatience(500ms, 500ms);
    QCOMPARE(SettledOpenCode(port.Network()), code);
    QCOMPARE(port.LastOpenError(), code);
    QCOMPARE(port.Tip(), QStringLiteral("Comport %1 cannot be opened: %2").arg(name, reason));
    QVERIFY(!port.Connected());
    // The next open tries again, and meanwhile says what failed last.
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.Open());
    QCOMPARE(port.LastOpenError(), code);
    for (int fd : fillers)
        ::close(fd);
}

// The server ends the connection in the middle of an exchange: the exchange
// fails with its reason, and the next open connects anew.
void TestNetPort::connectionDroppedMidExchange()
{
    Listener listener;
    NetPort port;
    port.SetPort(QStringLiteral("tcp://127.0.0.1:%1").arg(listener.port()));
    port.Open();
    const int server = listener.accept();
    QVERIFY(server >= 0);
    const QByteArray request = QByteArray::fromHex("0603000500019577");
    QCOMPARE(port.WriteText(request), 8);
    QCOMPARE(Receive(server, 8), request);
    ::shutdown(server, SHUT_RDWR);

    QByteArray text;
    int code = 0;
    const auto readCode = [&] {
        try {
            port.ReadAvailable(text, 1);
            return 0;
        } catch (const EComPortError &error) {
            return error.code();
        }
    };
    QTRY_VERIFY((code = readCode()) != 0);
    {
        QCOMPARE(code, int(kNetClosedByServer));
        QCOMPARE(PortOpenReason(code),
                 QStringLiteral("the device server closed the connection. Check that no other "
                                "program is connected to it; it is tried again at the next "
                                "exchange."));
    }
    port.Close();
    port.Open(); // a new connection, still queued at the listener
    QVERIFY(listener.accept() >= 0);
    QCOMPARE(port.LastOpenError(), 0);
}

// A Telnet server that will not do COM port control is told apart from one
// that says nothing.
void TestNetPort::serverRefusingComPortControl()
{
    Listener listener;
    NetPort port;
    port.SetPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(listener.port()));
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.Open()); // connected, waiting for the server
    QCOMPARE(port.LastOpenError(), int(kNetConnecting));
    const int server = listener.accept();
    QVERIFY(server >= 0);
    const QByteArray offers = Receive(server, 15);            // five offers of three bytes
    QVERIFY(offers.contains(QByteArray::fromHex("fffb2c")));  // WILL COM-PORT-OPTION
    const QByteArray refusal = QByteArray::fromHex("fffe2c"); // DONT COM-PORT-OPTION
    QCOMPARE(::send(server, refusal.constData(), 3, 0), ssize_t(3));
    QCOMPARE(SettledOpenCode(port), int(kNetNotComPort));
}

// A raw server that takes the requests and never answers looks like a bus
// of silent modules; the tip says that nothing came back through it.
void TestNetPort::rawServerThatNeverAnswers()
{
    Listener listener;
    BusPort port;
    port.SetBaudRate(MBProtocol::kBaudRate);
    port.SetPort(QStringLiteral("tcp://127.0.0.1:%1").arg(listener.port()));
    QVERIFY(readOnce(port, 6, 4, 1).isEmpty());
    QCOMPARE(port.LastOpenError(), 0);
    QVERIFY2(port.Tip().endsWith(QStringLiteral("Nothing has come back through it yet.")),
             qPrintable(port.Tip()));
}

// A server that sends without end neither holds a read nor fills the
// memory: what is kept is the newest 64 kB.
void TestNetPort::floodingServer()
{
    Listener listener;
    NetPort port;
    port.SetPort(QStringLiteral("tcp://127.0.0.1:%1").arg(listener.port()));
    port.Open();
    const int server = listener.accept();
    QVERIFY(server >= 0);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const QByteArray chunk(64 * 1024, 'x');
        while (!stop)
            ::send(server, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    });
    QByteArray text;
    int total = 0;
    QDeadlineTimer deadline(10000);
    while (total < 200 && !deadline.hasExpired()) {
        total += port.ReadAvailable(text, 1);
        QThread::msleep(1);
    }
    stop = true;
    flood.join();
    QCOMPARE(total, 200);
    QByteArray rest;
    const int kept = port.ReadAvailable(rest, 1 << 30);
    QCOMPARE(kept, int(rest.size()));
    QVERIFY(rest.size() <= 64 * 1024);
    QVERIFY(rest.size() > 0);
}

QTEST_GUILESS_MAIN(TestNetPort)
#include "tst_netport.moc"

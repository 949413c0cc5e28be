#include "sim/bussimulator.h"
#include "sim/simtcpserver.h"

#include "support/pty.h"
#include "support/tcpclient.h"
#include "support/wire.h"

#include <QUrl>
#include <QtTest>

#include <sys/socket.h>

// The simulator as a TCP server, seen from a plain socket on the loopback
// address: the client's bytes are the line. The frames are written out with
// CRCs worked out apart from the code under test.
//
// The bus of every test: module 1 holding Pt100 on all inputs, its eight
// readings forced to 101, 202, ... 808 so that a reply is known to the byte.
namespace {

const QByteArray kReadings = frame("01 03 00 10 00 08 45 C9"); // registers 16..23
const QByteArray kReadingsAnswer =
    frame("01 03 10 00 65 00 CA 01 2F 01 94 01 F9 02 5E 02 C3 03 28 00 EB");
const QByteArray kDeviceType = frame("01 03 00 04 00 01 C5 CB");
const QByteArray kDeviceTypeAnswer = frame("01 03 02 00 CA 38 13"); // 202

} // namespace

class TestSimTcpServer : public QObject
{
    Q_OBJECT

private slots:
    void parsesListenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("IPv4, any free port") << "tcp://127.0.0.1:0"
                                             << "127.0.0.1" << 0;
        QTest::newRow("name") << "tcp://localhost:1502"
                              << "localhost" << 1502;
        QTest::newRow("name with hyphen and dots") << "tcp://bus-7.plant.example:502"
                                                   << "bus-7.plant.example" << 502;
        QTest::newRow("IPv6 in brackets") << "tcp://[::1]:502"
                                          << "::1" << 502;
        QTest::newRow("every IPv4 address, top port") << "tcp://0.0.0.0:65535"
                                                      << "0.0.0.0" << 65535;
    }

    void parsesListenAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const Result<SimListenAddress> address = simParseListenAddress(text);
        QVERIFY2(address, qPrintable(address.error()));
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
    }

    void refusesBadListenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("no scheme") << "127.0.0.1:502";
        QTest::newRow("other scheme") << "udp://127.0.0.1:502";
        QTest::newRow("no port") << "tcp://127.0.0.1";
        QTest::newRow("empty port") << "tcp://127.0.0.1:";
        QTest::newRow("port 65536") << "tcp://127.0.0.1:65536";
        QTest::newRow("negative port") << "tcp://127.0.0.1:-1";
        QTest::newRow("port with a path") << "tcp://127.0.0.1:502/";
        QTest::newRow("no host") << "tcp://:502";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:502";
        QTest::newRow("bracket not closed") << "tcp://[::1:502";
        QTest::newRow("IPv4 in brackets") << "tcp://[127.0.0.1]:502";
        QTest::newRow("no colon after the bracket") << "tcp://[::1]502";
        QTest::newRow("IPv4 out of range") << "tcp://127.0.0.256:502";
        QTest::newRow("space in the name") << "tcp://bus 7:502";
        QTest::newRow("empty label") << "tcp://bus..example:502";
    }

    // Refused with the text itself in the reason, for the person who typed it.
    void refusesBadListenAddress()
    {
        QFETCH(QString, text);
        const Result<SimListenAddress> address = simParseListenAddress(text);
        QVERIFY(!address);
        QVERIFY2(address.error().contains(text), qPrintable(address.error()));
    }

    void init()
    {
        m_sim = std::make_unique<BusSimulator>(SimListenAddress{QStringLiteral("127.0.0.1"), 0});
        m_sim->addModule(1, {1, 1, 1, 1, 1, 1, 1, 1});
        for (int input = 1; input <= 8; ++input)
            m_sim->setReading(1, input, quint16(101 * input));
        const Result<> started = m_sim->start();
        QVERIFY2(started, qPrintable(started.error()));
        const QUrl url(m_sim->listenUrl());
        QCOMPARE(url.scheme(), QStringLiteral("tcp"));
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(url.port() > 0);
        m_port = quint16(url.port());
    }

    void cleanup() { m_sim.reset(); }

    void answersARead()
    {
        RawLine client(connectLoopback(m_port));
        QVERIFY(client.isOpen());
        QVERIFY(client.send(kReadings));
        QCOMPARE(client.receive(kReadingsAnswer.size()), kReadingsAnswer);
        QCOMPARE(m_sim->requests(), (QList<SimRequest>{{1, 3, 16, 8, {}}}));
        QVERIFY(m_sim->clientAddress().startsWith(QLatin1String("127.0.0.1:")));
    }

    // TCP hands a request over in segments: two writes, each a segment of
    // its own (TCP_NODELAY), make one request, as on a real port. A loaded
    // machine may hold the test between its two writes longer than the
    // silence that ends a request, so a few tries are allowed; a server that
    // took each segment for a frame would answer none of them.
    void requestSplitAcrossWritesIsAnswered_data()
    {
        QTest::addColumn<int>("split");
        QTest::newRow("after the address") << 1;
        QTest::newRow("after the first register") << 4;
        QTest::newRow("before the last CRC byte") << 7;
    }

    void requestSplitAcrossWritesIsAnswered()
    {
        QFETCH(int, split);
        RawLine client(connectLoopback(m_port));
        QVERIFY(client.isOpen());
        QByteArray answer;
        for (int attempt = 0; attempt < 3 && answer != kReadingsAnswer; ++attempt) {
            QVERIFY(client.send(kReadings.left(split)));
            QVERIFY(client.send(kReadings.mid(split)));
            answer = client.receive(kReadingsAnswer.size());
        }
        QCOMPARE(answer, kReadingsAnswer);
    }

    // Paced, a reply reaches the client a character at a time, as on the
    // pty: a reply of 255 bytes, 133 ms on the line, comes in many segments.
    // Unpaced, it goes out whole, in one.
    void pacing_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("paced") << true;
        QTest::newRow("not paced") << false;
    }

    void pacing()
    {
        QFETCH(bool, paced);
        m_sim->setPacing(paced);
        RawLine client(connectLoopback(m_port));
        QVERIFY(client.send(frame("01 03 00 00 00 7D 85 EB"))); // 125 registers
        QByteArray answer;
        int segments = 0;
        char chunk[255];
        while (answer.size() < 255 && RawLine::waitReadable(client.fd(), 3000)) {
            const ssize_t n = ::recv(client.fd(), chunk, size_t(255 - answer.size()), 0);
            QVERIFY(n > 0);
            answer.append(chunk, n);
            ++segments;
        }
        QCOMPARE(answer.size(), 255);
        QCOMPARE(answer.left(3), frame("01 03 FA"));
        if (paced)
            QVERIFY2(segments > 1, qPrintable(QString::number(segments)));
        else
            QCOMPARE(segments, 1);
    }

    // A client that hangs up in the middle of a request loses it: its bytes
    // do not prefix the next client's request.
    void hangUpMidRequestLosesIt()
    {
        {
            RawLine first(connectLoopback(m_port));
            QTRY_VERIFY_WITH_TIMEOUT(!m_sim->clientAddress().isEmpty(), 5000);
            QVERIFY(first.send(kReadings.left(5)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->clientAddress().isEmpty(), 5000);
        RawLine next(connectLoopback(m_port));
        QVERIFY(next.send(kReadings));
        QCOMPARE(next.receive(kReadingsAnswer.size()), kReadingsAnswer);
        QCOMPARE(m_sim->requests(), (QList<SimRequest>{{1, 3, 16, 8, {}}}));
    }

    // A whole request sent just before hanging up is carried out, as a device
    // server puts on the line what it has received; its answer goes to
    // nobody, and not to the next client either, whose own request would
    // queue behind it.
    void hangUpAfterARequestDropsItsAnswer()
    {
        m_sim->setTurnaround(std::chrono::milliseconds(200));
        {
            RawLine first(connectLoopback(m_port));
            QVERIFY(first.send(kReadings));
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->requests().size() == 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->clientAddress().isEmpty(), 5000);
        RawLine next(connectLoopback(m_port));
        QVERIFY(next.send(kDeviceType));
        QCOMPARE(next.receive(kDeviceTypeAnswer.size()), kDeviceTypeAnswer);
    }

    // One client at a time: a second connection is closed at once, the first
    // is served on, and once it has gone the next one is served.
    void secondClientIsClosedAtOnce()
    {
        RawLine first(connectLoopback(m_port));
        QVERIFY(first.send(kDeviceType));
        QCOMPARE(first.receive(kDeviceTypeAnswer.size()), kDeviceTypeAnswer);

        RawLine second(connectLoopback(m_port));
        QVERIFY(second.isOpen());
        QVERIFY(closedByPeer(second.fd()));

        QVERIFY(first.send(kReadings));
        QCOMPARE(first.receive(kReadingsAnswer.size()), kReadingsAnswer);
        first.close();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->clientAddress().isEmpty(), 5000);

        RawLine third(connectLoopback(m_port));
        QVERIFY(third.send(kReadings));
        QCOMPARE(third.receive(kReadingsAnswer.size()), kReadingsAnswer);
    }

    // vanish closes the client and the listener; return listens again on the
    // same port, the one the system chose.
    void vanishAndReturn()
    {
        RawLine client(connectLoopback(m_port));
        QTRY_VERIFY_WITH_TIMEOUT(!m_sim->clientAddress().isEmpty(), 5000);
        const QString url = m_sim->listenUrl();
        QVERIFY(m_sim->vanish());
        QVERIFY(closedByPeer(client.fd()));
        QCOMPARE(connectLoopback(m_port), -1);

        QVERIFY(m_sim->reappear().ok());
        QCOMPARE(m_sim->listenUrl(), url);
        RawLine next(connectLoopback(m_port));
        QVERIFY(next.send(kReadings));
        QCOMPARE(next.receive(kReadingsAnswer.size()), kReadingsAnswer);
    }

    // An address that cannot be listened on fails start() with the reason.
    void portInUseFailsStart()
    {
        BusSimulator other(SimListenAddress{QStringLiteral("127.0.0.1"), m_port});
        const Result<> started = other.start();
        QVERIFY(!started);
        QVERIFY2(started.error().contains(QStringLiteral("127.0.0.1:%1").arg(m_port)),
                 qPrintable(started.error()));
    }

private:
    std::unique_ptr<BusSimulator> m_sim;
    quint16 m_port = 0;
};

QTEST_APPLESS_MAIN(TestSimTcpServer)
#include "tst_simtcpserver.moc"

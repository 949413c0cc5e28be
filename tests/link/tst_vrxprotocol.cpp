#include "debug/vrxprotocol.h"
#include "link/tcomport.h"
#include "support/fakeline.h"
#include "support/manualclock.h"
#include "support/wire.h"

#include <QtTest>

// The relay-module link through the recording fake line: the request bytes,
// the parity each byte leaves with, the order of the steps, and the replies.
class TestVRXProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requestBytesAndParity_data();
    void requestBytesAndParity();
    void stepsFromAClosedLine();
    void stepsFromAnOpenLine();
    void writeTimeouts();
    void replyWithNineBytesGivesFirstEight();
    void replyCountLimits_data();
    void replyCountLimits();
    void badReplies_data();
    void badReplies();
    void staleInputIsPurged();
    void typeCodesAreSentAsLowByte();
    void openFailureFails();
    void lineErrorsAreCaught_data();
    void lineErrorsAreCaught();
    void programmingErrorsPassThrough_data();
    void programmingErrorsPassThrough();
};

namespace {

using Types = std::array<int, 8>;
constexpr Types kAllNotUsed = {0, 0, 0, 0, 0, 0, 0, 0};

QByteArray Reply(const char *hex)
{
    return frame(hex);
}

} // namespace

void TestVRXProtocol::requestBytesAndParity_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<Types>("types");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("rest");

    QTest::newRow("module 1, all Not Used")
        << 1 << kAllNotUsed << QStringLiteral("0D")
        << QStringLiteral("09 01 00 00 00 00 00 00 00 00 E0 F7");
    QTest::newRow("module 1, all Pt100")
        << 1 << Types{1, 1, 1, 1, 1, 1, 1, 1} << QStringLiteral("0D")
        << QStringLiteral("09 01 01 01 01 01 01 01 01 01 9D 86");
    QTest::newRow("module 2, types 1 2 3 4 5 0 1 1")
        << 2 << Types{1, 2, 3, 4, 5, 0, 1, 1} << QStringLiteral("0E")
        << QStringLiteral("09 01 01 02 03 04 05 00 01 01 3C D0");
}

void TestVRXProtocol::requestBytesAndParity()
{
    QFETCH(int, module);
    QFETCH(Types, types);
    QFETCH(QString, address);
    QFETCH(QString, rest);
    FakeLine line;
    VrxResult result;
    VRXProtocol(&line, line.Waiter()).PollModule(module, types, result);

    QCOMPARE(line.chunks.size(), 2);
    QCOMPARE(hexOf(line.chunks[0].bytes), address);
    QCOMPARE(line.chunks[0].parity, ParityBits::Mark);
    QCOMPARE(line.chunks[0].baud, 57600);
    QCOMPARE(hexOf(line.chunks[1].bytes), rest);
    QCOMPARE(line.chunks[1].parity, ParityBits::Space);
    QCOMPARE(line.chunks[1].baud, 57600);
}

void TestVRXProtocol::stepsFromAClosedLine()
{
    FakeLine line;
    line.QueueReply(Reply("0D 08 81 32 33 34 35 36 37 38 39 00"));
    VrxResult result;
    QVERIFY(VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));

    const QStringList expected = {
        QStringLiteral("baud 57600"),
        QStringLiteral("parity mark"),
        QStringLiteral("open"),
        QStringLiteral("purge 1 1"),
        QStringLiteral("write 0D (mark)"),
        QStringLiteral("close"),
        QStringLiteral("parity space"),
        QStringLiteral("open"),
        QStringLiteral("write 09 01 00 00 00 00 00 00 00 00 E0 F7 (space)"),
        QStringLiteral("wait 50"),
    };
    QCOMPARE(line.Steps(), expected);
    // Left open with space parity for the next poll.
    QVERIFY(line.Connected());
    QCOMPARE(line.Parity(), ParityBits::Space);
}

void TestVRXProtocol::stepsFromAnOpenLine()
{
    FakeLine line;
    line.Open();
    line.trace.clear();
    VrxResult result;
    VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result);
    const QStringList steps = line.Steps();
    QCOMPARE(steps.mid(0, 3), (QStringList{QStringLiteral("baud 57600"), QStringLiteral("close"),
                                           QStringLiteral("parity mark")}));
}

// The two writes of a poll on a line that takes nothing: each gives up after
// the port's write time-out for its length, seen on the port's own clock.
void TestVRXProtocol::writeTimeouts()
{
    StalledPort stalled;
    QVERIFY(stalled.pty.Valid());
    VrxResult result;
    QVERIFY(!VRXProtocol(&stalled.port, [](int) {}).PollModule(1, kAllNotUsed, result));
    // 1000 ms + 1 x 100 ms for the address byte, 1000 ms + 12 x 100 ms for
    // the rest.
    QCOMPARE(stalled.clock.waits, (QList<int>{1100, 2200}));
    QCOMPARE(stalled.clock.elapsed, std::chrono::milliseconds(3300));
}

void TestVRXProtocol::replyWithNineBytesGivesFirstEight()
{
    FakeLine line;
    line.QueueReply(Reply("0D 08 81 FF 01 46 00 64 10 20 30 99"));
    VrxResult result;
    QVERIFY(VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
    QCOMPARE(result.module, 1);
    const std::array<int, 8> expected = {255, 1, 70, 0, 100, 16, 32, 48};
    QCOMPARE(result.readings, expected);
    QCOMPARE(line.bytesRead, 12);
}

void TestVRXProtocol::replyCountLimits_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("bytesRead");

    // N + 1 bytes follow the marker; eight of them are readings.
    QTest::newRow("N 6: seven bytes, one reading short") << 6 << false << 3;
    QTest::newRow("N 7: exactly the eight readings") << 7 << true << 11;
    QTest::newRow("N 16: seventeen bytes, the most a reply carries") << 16 << true << 20;
    QTest::newRow("N 17: more than a reply may carry") << 17 << false << 3;
    QTest::newRow("N 255") << 255 << false << 3;
}

void TestVRXProtocol::replyCountLimits()
{
    QFETCH(int, count);
    QFETCH(bool, ok);
    QFETCH(int, bytesRead);
    FakeLine line;
    QByteArray reply = frame("0E");
    reply.append(char(count));
    reply.append(char(0x81));
    for (int i = 0; i <= count; ++i)
        reply.append(char(i + 60));
    line.QueueReply(reply);
    VrxResult result;
    QCOMPARE(VRXProtocol(&line, line.Waiter()).PollModule(2, kAllNotUsed, result), ok);
    QCOMPARE(line.bytesRead, bytesRead);
    if (ok) {
        QCOMPARE(result.module, 2);
        QCOMPARE(result.readings[0], 60);
        QCOMPARE(result.readings[7], 67);
    }
}

void TestVRXProtocol::badReplies_data()
{
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("no reply") << QByteArray();
    QTest::newRow("echo of module 2") << Reply("0E 08 81 01 02 03 04 05 06 07 08 09");
    QTest::newRow("marker 0x80") << Reply("0D 08 80 01 02 03 04 05 06 07 08 09");
    QTest::newRow("one byte short") << Reply("0D 08 81 01 02 03 04 05 06 07 08");
    QTest::newRow("echo only") << Reply("0D");
    QTest::newRow("echo and count") << Reply("0D 08");
}

void TestVRXProtocol::badReplies()
{
    QFETCH(QByteArray, reply);
    FakeLine line;
    line.QueueReply(reply);
    VrxResult result;
    QVERIFY(!VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
}

void TestVRXProtocol::staleInputIsPurged()
{
    FakeLine line;
    line.Open();
    line.InjectInput(Reply("0E 08 81 01 02 03 04 05 06 07 08 09"));
    line.QueueReply(Reply("0D 08 81 01 02 03 04 05 06 07 08 09"));
    VrxResult result;
    QVERIFY(VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
    QCOMPARE(result.module, 1);
}

void TestVRXProtocol::typeCodesAreSentAsLowByte()
{
    FakeLine line;
    VrxResult result;
    VRXProtocol(&line, line.Waiter())
        .PollModule(1, Types{257, 257, 257, 257, 257, 257, 257, 257}, result);
    QCOMPARE(hexOf(line.chunks.at(1).bytes), QStringLiteral("09 01 01 01 01 01 01 01 01 01 9D 86"));
}

void TestVRXProtocol::openFailureFails()
{
    FakeLine line;
    line.FailOpen(EBUSY);
    line.QueueReply(Reply("0D 08 81 01 02 03 04 05 06 07 08 09"));
    VrxResult result;
    QVERIFY(!VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
    QVERIFY(line.chunks.isEmpty());
}

void TestVRXProtocol::lineErrorsAreCaught_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *op : {"baud", "parity", "purge", "write", "read", "close"})
        QTest::addRow("%s throws", op) << QString::fromLatin1(op);
}

void TestVRXProtocol::lineErrorsAreCaught()
{
    QFETCH(QString, operation);
    FakeLine line;
    line.Open(); // so that the first close happens too
    line.FailOn(operation);
    line.QueueReply(Reply("0D 08 81 01 02 03 04 05 06 07 08 09"));
    VrxResult result;
    QVERIFY(!VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
}

void TestVRXProtocol::programmingErrorsPassThrough_data()
{
    lineErrorsAreCaught_data();
}

// Only the port's own errors are a failed poll; anything else is a fault of
// the program and must reach its error report.
void TestVRXProtocol::programmingErrorsPassThrough()
{
    QFETCH(QString, operation);
    FakeLine line;
    line.Open();
    line.BreakOn(operation);
    line.QueueReply(Reply("0D 08 81 01 02 03 04 05 06 07 08 09"));
    VrxResult result;
    QVERIFY_THROWS_EXCEPTION(std::logic_error,
                             VRXProtocol(&line, line.Waiter()).PollModule(1, kAllNotUsed, result));
}

QTEST_APPLESS_MAIN(TestVRXProtocol)
#include "tst_vrxprotocol.moc"

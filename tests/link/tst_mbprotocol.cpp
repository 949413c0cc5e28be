#include "link/mbprotocol.h"
#include "link/tcomport.h"
#include "support/fakeline.h"
#include "support/manualclock.h"
#include "support/wire.h"

#include <QtTest>

#include <array>

// One Modbus transaction at a time, driven through the recording fake line
// with the waits recorded instead of slept.
class TestMBProtocol : public QObject
{
    Q_OBJECT

private slots:
    void readSendsFrameInOrderAndReadsReply();
    void readValuesAreUnsignedHighByteFirst();
    void argumentsOutsideLimitsTouchNoPort_data();
    void argumentsOutsideLimitsTouchNoPort();
    void readForSlave80IsAttempted();
    void firstRegisterAbove65535SendsLow16Bits();
    void broadcastReadReadsNothingAndKeepsValues();
    void exceptionReplyFailsAfterTwoBytes();
    void writeFrameCarriesValuesHighByteFirst();
    void writeReplyAcceptedAfterTwoBytes();
    void writeOfNegativeValueSendsItsPattern();
    void broadcastWriteGoesBySendResult();
    void unicastWriteGoesByConfirmationNotSendResult();
    void badReadReplies_data();
    void badReadReplies();
    void incompleteReplyIsWaitedOutAndDropped_data();
    void incompleteReplyIsWaitedOutAndDropped();
    void retryAfterSilenceDrainsTheSlowAnswer();
    void staleInputIsPurgedBeforeTheRequest();
    void pendingOutputIsPurgedBeforeTheWrite();
    void stalledWriteFailsWithEightByteTimeout();
    void openFailureFails();
    void lineErrorsAreCaught_data();
    void lineErrorsAreCaught();
    void programmingErrorsPassThrough_data();
    void programmingErrorsPassThrough();
};

namespace {

// Reply of slave 1 to "read 8 registers from 16", the values 250, 65535,
// 20000, 21000, 22000, 0, 1000, 2099.
const char *const kReadReply = "01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1";

} // namespace

void TestMBProtocol::readSendsFrameInOrderAndReadsReply()
{
    FakeLine line;
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    MBProtocol mb(&line, line.Waiter());

    QVERIFY(mb.ReadHoldingRegisters(1, 16, 8, values.data()));

    const QStringList expected = {
        QStringLiteral("open"),    QStringLiteral("purge 1 1"),
        QStringLiteral("wait 5"),  QStringLiteral("pending"),
        QStringLiteral("wait 5"),  QStringLiteral("write 01 03 00 10 00 08 45 C9 (none)"),
        QStringLiteral("wait 50"), QStringLiteral("close"),
    };
    QCOMPARE(line.Steps(), expected);
    QCOMPARE(line.bytesRead, 21);
    QVERIFY(!line.Connected());
}

void TestMBProtocol::readValuesAreUnsignedHighByteFirst()
{
    FakeLine line;
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    QVERIFY(MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 16, 8, values.data()));
    const std::array<uint16_t, 8> expected = {250, 65535, 20000, 21000, 22000, 0, 1000, 2099};
    QCOMPARE(values, expected);
}

void TestMBProtocol::argumentsOutsideLimitsTouchNoPort_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("slave");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");

    QTest::newRow("read slave 81") << false << 81 << 16 << 8;
    QTest::newRow("read slave -1") << false << -1 << 16 << 8;
    QTest::newRow("read first -1") << false << 1 << -1 << 8;
    QTest::newRow("read first 100000") << false << 1 << 100000 << 8;
    QTest::newRow("read count 0") << false << 1 << 16 << 0;
    QTest::newRow("read count 128") << false << 1 << 16 << 128;
    QTest::newRow("write slave 64") << true << 64 << 0 << 4;
    QTest::newRow("write slave -1") << true << -1 << 0 << 4;
    QTest::newRow("write first 100000") << true << 1 << 100000 << 4;
    QTest::newRow("write first -1") << true << 1 << -1 << 4;
    QTest::newRow("write count 128") << true << 1 << 0 << 128;
}

void TestMBProtocol::argumentsOutsideLimitsTouchNoPort()
{
    QFETCH(bool, write);
    QFETCH(int, slave);
    QFETCH(int, first);
    QFETCH(int, count);
    FakeLine line;
    std::array<uint16_t, 128> in{};
    std::array<int16_t, 128> out{};
    MBProtocol mb(&line, line.Waiter());

    const bool ok = write ? mb.WriteMultipleRegisters(slave, first, count, out.data())
                          : mb.ReadHoldingRegisters(slave, first, count, in.data());
    QVERIFY(!ok);
    QVERIFY2(line.trace.isEmpty(), qPrintable(line.trace.join(QLatin1String(", "))));
}

void TestMBProtocol::readForSlave80IsAttempted()
{
    FakeLine line;
    std::array<uint16_t, 8> values{};
    QVERIFY(!MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(80, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 1);
    QCOMPARE(hexOf(line.chunks[0].bytes), QStringLiteral("50 03 00 10 00 08 48 48"));
}

void TestMBProtocol::firstRegisterAbove65535SendsLow16Bits()
{
    FakeLine line;
    std::array<uint16_t, 2> values{};
    MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 99999, 2, values.data());
    QCOMPARE(line.chunks.size(), 1);
    QCOMPARE(hexOf(line.chunks[0].bytes), QStringLiteral("01 03 86 9F 00 02 DD 6D"));
}

void TestMBProtocol::broadcastReadReadsNothingAndKeepsValues()
{
    FakeLine line;
    line.QueueReply(frame(kReadReply)); // nobody answers a broadcast; ignore it
    std::array<uint16_t, 8> values;
    values.fill(4321);
    QVERIFY(MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(0, 16, 8, values.data()));

    QCOMPARE(hexOf(line.chunks.at(0).bytes), QStringLiteral("00 03 00 10 00 08 44 18"));
    QCOMPARE(line.bytesRead, 0);
    QVERIFY(!line.waits.contains(50));
    for (uint16_t v : values)
        QCOMPARE(v, uint16_t(4321));
    QVERIFY(!line.Connected());
}

void TestMBProtocol::exceptionReplyFailsAfterTwoBytes()
{
    FakeLine line;
    line.QueueReply(frame("01 83 02 C0 F1"));
    std::array<uint16_t, 8> values{};
    QVERIFY(!MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 16, 8, values.data()));
    // The code and CRC that came with it are taken for the exchange's
    // record, without a wait of their own: the reply window and nothing more.
    QCOMPARE(line.bytesRead, 5);
    QCOMPARE(line.waits, (QList<int>{5, 5, 50}));
    QVERIFY(!line.Connected());
}

void TestMBProtocol::writeFrameCarriesValuesHighByteFirst()
{
    FakeLine line;
    line.QueueReply(frame("01 10 00 00 00 04 C1 CA"));
    // Input types 1..8 = 1 2 3 4 5 0 1 1, two per register.
    const std::array<int16_t, 4> types = {0x0102, 0x0304, 0x0500, 0x0101};
    QVERIFY(MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(1, 0, 4, types.data()));

    const QStringList expected = {
        QStringLiteral("open"),
        QStringLiteral("purge 1 1"),
        QStringLiteral("wait 5"),
        QStringLiteral("pending"),
        QStringLiteral("wait 5"),
        QStringLiteral("write 01 10 00 00 00 04 08 01 02 03 04 05 00 01 01 65 19 (none)"),
        QStringLiteral("wait 50"),
        QStringLiteral("close"),
    };
    QCOMPARE(line.Steps(), expected);
}

void TestMBProtocol::writeReplyAcceptedAfterTwoBytes()
{
    FakeLine line;
    line.QueueReply(frame("01 10 00 00 00 04 00 00")); // the CRC does not stop it
    const std::array<int16_t, 2> notch = {306, 0};
    QVERIFY(MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(1, 46252, 2, notch.data()));
    QCOMPARE(hexOf(line.chunks.at(0).bytes),
             QStringLiteral("01 10 B4 AC 00 02 04 01 32 00 00 5E B6"));
    QCOMPARE(line.bytesRead, 8);
    QCOMPARE(line.waits, (QList<int>{5, 5, 50}));
    QVERIFY(!line.Connected());
}

void TestMBProtocol::writeOfNegativeValueSendsItsPattern()
{
    FakeLine line;
    const int16_t minusOne = -1;
    MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(1, 0, 1, &minusOne);
    QCOMPARE(hexOf(line.chunks.at(0).bytes), QStringLiteral("01 10 00 00 00 01 02 FF FF A7 E0"));
}

void TestMBProtocol::broadcastWriteGoesBySendResult()
{
    const std::array<int16_t, 4> types = {0x0101, 0x0101, 0x0101, 0x0101};
    {
        FakeLine line;
        QVERIFY(MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(0, 0, 4, types.data()));
        QCOMPARE(line.bytesRead, 0);
        QVERIFY(!line.Connected());
    }
    {
        FakeLine line;
        line.stalled = true; // nothing leaves: the write reports 0 bytes
        QVERIFY(!MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(0, 0, 4, types.data()));
        QVERIFY(!line.Connected());
    }
}

// A write whose call reported nothing sent still waits for the slave: the
// confirmation decides, as for every unicast write.
void TestMBProtocol::unicastWriteGoesByConfirmationNotSendResult()
{
    FakeLine line;
    line.stalled = true;
    auto record = line.Waiter();
    MBProtocol mb(&line, [&](int ms) {
        record(ms);
        if (ms == 50)
            line.InjectInput(frame("01 10 00 00 00 04 C1 CA"));
    });
    const std::array<int16_t, 4> types = {0x0101, 0x0101, 0x0101, 0x0101};
    QVERIFY(mb.WriteMultipleRegisters(1, 0, 4, types.data()));
    QCOMPARE(line.chunks.at(0).sent, 0);
    QCOMPARE(line.bytesRead, 8);
    QVERIFY(!line.Connected());
}

void TestMBProtocol::badReadReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("bytesRead");

    QTest::newRow("no reply") << QByteArray() << 0;
    QTest::newRow("wrong address") << frame("02 03 10") << 1;
    QTest::newRow("bad CRC")
        << frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D2") << 21;
    QTest::newRow("byte count 14 for 8 registers")
        << frame("01 03 0E 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 68 87") << 3;
    QTest::newRow("function 16 to a read") << frame("01 10 00 10 00 08 C0 0A") << 2;
    QTest::newRow("function 4") << frame("01 04 10") << 2;
    QTest::newRow("reply cut after 10 data bytes")
        << frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0") << 13;
    QTest::newRow("CRC high byte missing")
        << frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41") << 20;
}

void TestMBProtocol::badReadReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, bytesRead);
    FakeLine line;
    line.QueueReply(reply);
    std::array<uint16_t, 8> values{};
    QVERIFY(!MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 16, 8, values.data()));
    QCOMPARE(line.bytesRead, bytesRead);
    QVERIFY(!line.Connected());
}

void TestMBProtocol::staleInputIsPurgedBeforeTheRequest()
{
    FakeLine line;
    line.Open();
    line.InjectInput(frame("01 83 02 C0 F1")); // a late reply of an earlier exchange
    line.Close();
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    QVERIFY(MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 16, 8, values.data()));
    QCOMPARE(values[0], uint16_t(250));
}

void TestMBProtocol::pendingOutputIsPurgedBeforeTheWrite()
{
    FakeLine line;
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    // Bytes still queued for sending when the first 5 ms have passed.
    auto record = line.Waiter();
    MBProtocol mb(&line, [&](int ms) {
        record(ms);
        if (line.waits.size() == 1)
            line.pendingOutput = 3;
    });
    QVERIFY(mb.ReadHoldingRegisters(1, 16, 8, values.data()));
    const QStringList steps = line.Steps();
    const int pending = int(steps.indexOf(QStringLiteral("pending")));
    QVERIFY(pending > 0);
    QCOMPARE(steps.at(pending + 1), QStringLiteral("purge 1 1"));
    QCOMPARE(steps.at(pending + 2), QStringLiteral("wait 5"));
    QVERIFY(steps.at(pending + 3).startsWith(QLatin1String("write ")));
}

// On a line that takes nothing, the 8-byte request gives up after the
// port's write time-out, 1000 ms + 8 x 100 ms, seen on the port's own clock;
// the read fails without waiting for a reply.
void TestMBProtocol::stalledWriteFailsWithEightByteTimeout()
{
    StalledPort stalled;
    QVERIFY(stalled.pty.Valid());
    stalled.port.SetBaudRate(19200);
    QList<int> waits;
    std::array<uint16_t, 8> values{};
    MBProtocol mb(&stalled.port, [&waits](int ms) { waits.append(ms); });

    QVERIFY(!mb.ReadHoldingRegisters(1, 16, 8, values.data()));
    QCOMPARE(stalled.clock.waits, QList<int>{1800});
    QCOMPARE(stalled.clock.elapsed, std::chrono::milliseconds(1800));
    QCOMPARE(waits, (QList<int>{5, 5})); // no reply window
    QVERIFY(!stalled.port.Connected());
}

void TestMBProtocol::openFailureFails()
{
    FakeLine line;
    line.FailOpen(EBUSY);
    std::array<uint16_t, 8> values{};
    QVERIFY(!MBProtocol(&line, line.Waiter()).ReadHoldingRegisters(1, 16, 8, values.data()));
    QVERIFY(line.chunks.isEmpty());
    QVERIFY(!line.Connected());

    line.FailOpen(ENOENT);
    const int16_t v = 1;
    QVERIFY(!MBProtocol(&line, line.Waiter()).WriteMultipleRegisters(1, 0, 1, &v));
    QVERIFY(line.chunks.isEmpty());
}

void TestMBProtocol::lineErrorsAreCaught_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("write");
    for (const char *op : {"purge", "pending", "write", "read", "close"}) {
        QTest::addRow("read, %s throws", op) << QString::fromLatin1(op) << false;
        QTest::addRow("write, %s throws", op) << QString::fromLatin1(op) << true;
    }
}

void TestMBProtocol::lineErrorsAreCaught()
{
    QFETCH(QString, operation);
    QFETCH(bool, write);
    FakeLine line;
    line.FailOn(operation);
    line.QueueReply(write ? frame("01 10 00 00 00 04 C1 CA") : frame(kReadReply));
    std::array<uint16_t, 8> in{};
    const std::array<int16_t, 4> out{};
    MBProtocol mb(&line, line.Waiter());
    bool ok = true;
    ok = write ? mb.WriteMultipleRegisters(1, 0, 4, out.data())
               : mb.ReadHoldingRegisters(1, 16, 8, in.data());
    QVERIFY(!ok);
    if (operation != QLatin1String("close"))
        QVERIFY(!line.Connected());
}

void TestMBProtocol::programmingErrorsPassThrough_data()
{
    lineErrorsAreCaught_data();
}

// Only the port's own errors are a failed exchange; anything else is a fault
// of the program and must reach its error report, not read as a silent slave.
void TestMBProtocol::programmingErrorsPassThrough()
{
    QFETCH(QString, operation);
    QFETCH(bool, write);
    FakeLine line;
    line.BreakOn(operation);
    line.QueueReply(write ? frame("01 10 00 00 00 04 C1 CA") : frame(kReadReply));
    std::array<uint16_t, 8> in{};
    const std::array<int16_t, 4> out{};
    MBProtocol mb(&line, line.Waiter());
    if (write)
        QVERIFY_THROWS_EXCEPTION(std::logic_error, mb.WriteMultipleRegisters(1, 0, 4, out.data()));
    else
        QVERIFY_THROWS_EXCEPTION(std::logic_error, mb.ReadHoldingRegisters(1, 16, 8, in.data()));
}

void TestMBProtocol::incompleteReplyIsWaitedOutAndDropped_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("read, reply cut short") << false << frame("01 03 10 00 FA") << 8 << true;
    QTest::newRow("read, one byte of it") << false << frame("01") << 8 << true;
    QTest::newRow("write, reply cut short") << true << frame("01") << 1 << true;
    // A slave that sent nothing within the window is absent for this
    // attempt: there is nothing in flight to wait for.
    QTest::newRow("read, no reply") << false << QByteArray() << 8 << false;
    QTest::newRow("write, no reply") << true << QByteArray() << 1 << false;
    // A whole reply that is refused has nothing more to come.
    QTest::newRow("read, exception") << false << frame("01 83 02 C0 F1") << 8 << false;
    QTest::newRow("read, bad CRC") << false << frame("01 03 02 00 01 00 00") << 1 << false;
}

// A reply that the window cut off must not have its rest taken for the next
// request's answer: the line stays open one more window and is purged. A
// silent slave costs no such wait.
void TestMBProtocol::incompleteReplyIsWaitedOutAndDropped()
{
    QFETCH(bool, write);
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    QFETCH(bool, dropped);
    FakeLine line;
    if (!reply.isEmpty())
        line.QueueReply(reply);
    MBProtocol mb(&line, line.Waiter());
    std::array<uint16_t, 8> values{};
    const std::array<int16_t, 1> one = {1};
    QVERIFY(write ? !mb.WriteMultipleRegisters(1, 0, count, one.data())
                  : !mb.ReadHoldingRegisters(1, 16, count, values.data()));
    QCOMPARE(mb.HeardNothing(), reply.isEmpty());
    QStringList tail = line.Steps().mid(line.Steps().indexOf(QStringLiteral("wait 50")));
    const QStringList expected =
        dropped ? QStringList{QStringLiteral("wait 50"), QStringLiteral("wait 50"),
                              QStringLiteral("purge 1 0"), QStringLiteral("close")}
                : QStringList{QStringLiteral("wait 50"), QStringLiteral("close")};
    QCOMPARE(tail, expected);
}

// An attempt told that the previous one heard nothing may have taken the
// slow slave's answer to that one; its own answer is still to come, so a
// success is followed by one more window and a purge. A failure that heard
// nothing still ends at once.
void TestMBProtocol::retryAfterSilenceDrainsTheSlowAnswer()
{
    {
        FakeLine line;
        line.QueueReply(frame(kReadReply));
        MBProtocol mb(&line, line.Waiter());
        mb.ExpectLateReply();
        std::array<uint16_t, 8> values{};
        QVERIFY(mb.ReadHoldingRegisters(1, 16, 8, values.data()));
        const QStringList tail = line.Steps().mid(line.Steps().indexOf(QStringLiteral("wait 50")));
        QCOMPARE(tail, (QStringList{QStringLiteral("wait 50"), QStringLiteral("wait 50"),
                                    QStringLiteral("purge 1 0"), QStringLiteral("close")}));
    }
    {
        FakeLine line;
        MBProtocol mb(&line, line.Waiter());
        mb.ExpectLateReply();
        std::array<uint16_t, 8> values{};
        QVERIFY(!mb.ReadHoldingRegisters(1, 16, 8, values.data()));
        const QStringList tail = line.Steps().mid(line.Steps().indexOf(QStringLiteral("wait 50")));
        QCOMPARE(tail, (QStringList{QStringLiteral("wait 50"), QStringLiteral("close")}));
    }
}

QTEST_APPLESS_MAIN(TestMBProtocol)
#include "tst_mbprotocol.moc"

#include "debug/vrxprotocol.h"
#include "link/comportguard.h"
#include "link/exchangelog.h"
#include "link/mbprotocol.h"
#include "link/protocol.h"
#include "link/tcomport.h"
#include "sim/bussimulator.h"
#include "support/fakeline.h"
#include "support/lockholder.h"
#include "support/wire.h"

#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cerrno>
#include <chrono>

// The bus layer records every attempt itself, on a line that carries a log:
// what the master read and made of it, against what the bus simulator says
// it did to the same request. The simulator's faults go through the real
// master (Protocol, TComPort) on its pseudo-terminal in the real 50 ms
// window; the replies no simulated module gives (wrong function, wrong byte
// count) are scripted on the fake line.
//
// The simulated bus: module 6 holding Pt100, Ni100, Ni120, Cu10, 4-20 mA,
// not used, Pt100, 4-20 mA, and the relay modules. Nothing answers at 9.
namespace {

using Outcome = ExchangeOutcome;

// The records appended since sequence after (exclusive).
QList<ExchangeRecord> RecordsAfter(const ExchangeLog &log, uint64_t after)
{
    QList<ExchangeRecord> records;
    for (uint64_t s = after + 1; s <= log.LastSequence(); ++s)
        records.append(*log.Find(s));
    return records;
}

QByteArray RequestOf(const ExchangeRecord &r)
{
    return QByteArray(reinterpret_cast<const char *>(r.request.data()),
                      std::min<int>(r.request_length, ExchangeRecord::kStoredBytes));
}

QByteArray ReplyOf(const ExchangeRecord &r)
{
    return QByteArray(reinterpret_cast<const char *>(r.reply.data()),
                      std::min<int>(r.reply_length, ExchangeRecord::kStoredBytes));
}

int64_t NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

class TestBusRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void simulatorFaultsRecorded_data();
    void simulatorFaultsRecorded();
    void relayPollsRecorded_data();
    void relayPollsRecorded();
    void repliesClassifiedFromWhatWasRead_data();
    void repliesClassifiedFromWhatWasRead();
    void guardHeldByAnotherProgramIsRecorded();
    void listenersRunWithTheGuardFree();
    void stoppedCallEndsWithItsLastAttempt_data();
    void stoppedCallEndsWithItsLastAttempt();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void lineWithoutLogRecordsNothing();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
    ExchangeLog m_log;
    TComPort m_port;
};

void TestBusRecording::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_port.SetExchangeLog(&m_log);
}

void TestBusRecording::init()
{
    m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttyBUS")));
    m_sim->addModule(6, {1, 2, 3, 4, 5, 0, 1, 5});
    m_sim->setRelayModules(true);
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));
    m_port.SetPort(m_sim->linkPath());
    m_port.SetBaudRate(19200);
    m_port.SetParity(ParityBits::None);
}

void TestBusRecording::cleanup()
{
    m_port.Close();
    m_sim.reset();
}

void TestBusRecording::simulatorFaultsRecorded_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("write"); // else a read of the eight readings
    QTest::addColumn<int>("attempts");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");    // empty: not one of the master's outcomes
    QTest::addColumn<int>("replyLength"); // -1: whatever the simulator sent
    QTest::addColumn<QString>("simSays");

    QTest::newRow("sound read") << 6 << Fault::None << false << 1 << Outcome::Answered << "answered"
                                << 21 << "answered";
    QTest::newRow("sound write") << 6 << Fault::None << true << 1 << Outcome::Answered << "answered"
                                 << 8 << "answered";
    // Address and function confirm a write; the record still tells its CRC.
    QTest::newRow("write, bad CRC")
        << 6 << Fault::BadCrc << true << 1 << Outcome::CrcError << "CRC error" << 8 << "CRC error";
    QTest::newRow("silent") << 6 << Fault::Silent << false << 2 << Outcome::NoAnswer << "no answer"
                            << 0 << "no answer";
    QTest::newRow("nobody at 9") << 9 << Fault::None << false << 2 << Outcome::NoAnswer
                                 << "no answer" << 0 << "no answer (no module at address 9)";
    QTest::newRow("bad CRC") << 6 << Fault::BadCrc << false << 2 << Outcome::CrcError << "CRC error"
                             << 21 << "CRC error";
    QTest::newRow("exception") << 6 << Fault::Exception << false << 2 << Outcome::Exception
                               << "exception 4 (slave device failure)" << 5
                               << "exception 4 (slave device failure)";
    QTest::newRow("exception, write")
        << 6 << Fault::Exception << true << 2 << Outcome::Exception
        << "exception 4 (slave device failure)" << 5 << "exception 4 (slave device failure)";
    QTest::newRow("wrong address")
        << 6 << Fault::WrongAddress << false << 2 << Outcome::OtherAddress
        << "answer from address 7" << 1 << "answer from address 7";
    QTest::newRow("cut-off reply")
        << 6 << Fault::CutOff << false << 2 << Outcome::Incomplete
        << "incomplete reply (10 of 21 bytes)" << 10 << "incomplete reply (10 of 21 bytes)";
    QTest::newRow("garbage") << 6 << Fault::Garbage << false << 2 << Outcome::Answered << QString()
                             << -1 << "garbage";
}

void TestBusRecording::simulatorFaultsRecorded()
{
    QFETCH(int, address);
    QFETCH(Fault, fault);
    QFETCH(bool, write);
    QFETCH(int, attempts);
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    QFETCH(int, replyLength);
    QFETCH(QString, simSays);
    if (fault != Fault::None)
        QVERIFY(m_sim->setFault(address, fault));
    m_sim->clearRequests();
    const uint64_t before = m_log.LastSequence();
    const int64_t startUs = NowUs();

    bool ok = false;
    if (write) {
        const std::array<int16_t, 4> types = {0x0505, 0x0505, 0, 0};
        ok = Protocol().WriteRegisters({address, &m_port}, 0, 4, types.data());
    } else {
        std::array<uint16_t, 8> values{};
        ok = Protocol().ReadRegisters({address, &m_port}, 16, 8, values.data());
    }
    QCOMPARE(ok, (outcome == Outcome::Answered && fault != Fault::Garbage) ||
                     (write && outcome == Outcome::CrcError));

    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QCOMPARE(records.size(), attempts);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->actions().size(), qsizetype(attempts), 2000);
    const QList<SimAction> actions = m_sim->actions();
    // The requests, CRC included, to module 6 and to address 9.
    const QByteArray request =
        write
            ? (address == 6 ? frame("06 10 00 00 00 04 08 05 05 05 05 00 00 00 00 A8 12")
                            : frame("09 10 00 00 00 04 08 05 05 05 05 00 00 00 00 E7 16"))
            : (address == 6 ? frame("06 03 00 10 00 08 44 7E") : frame("09 03 00 10 00 08 44 81"));
    for (int i = 0; i < attempts; ++i) {
        const ExchangeRecord &r = records[i];
        const SimAction &did = actions[i];
        QCOMPARE(r.link, ExchangeLink::Modbus);
        QCOMPARE(int(r.address), address);
        QCOMPARE(int(r.function), write ? 16 : 3);
        QCOMPARE(int(r.first_register), write ? 0 : 16);
        QCOMPARE(int(r.count), write ? 4 : 8);
        QCOMPARE(int(r.attempt), i + 1);
        QCOMPARE(r.ends_call, i + 1 == attempts);
        QCOMPARE(m_log.portNames().value(r.port), m_sim->linkPath());
        QCOMPARE(hexOf(RequestOf(r)), hexOf(request));
        QCOMPARE(int(r.expected_length), write ? 8 : 21);
        QVERIFY(r.time_us >= startUs && r.time_us <= NowUs());
        // The outcome is known once the 5 + 5 ms before the request and
        // the 50 ms reply window have passed.
        QVERIFY2(r.duration_us >= 60000, qPrintable(QString::number(r.duration_us)));

        // What the master read is what the simulator sent, as far as it read.
        QVERIFY2(did.reply.startsWith(ReplyOf(r)),
                 qPrintable(hexOf(did.reply) + QStringLiteral(" / ") + hexOf(ReplyOf(r))));
        QCOMPARE(did.number - actions[0].number, qint64(i));
        QCOMPARE(did.request.address, address);
        QCOMPARE(did.fault, fault);
        QCOMPARE(did.outcome, simSays);
        if (replyLength >= 0)
            QCOMPARE(int(r.reply_length), replyLength);
        if (!text.isEmpty()) {
            QCOMPARE(r.outcome, outcome);
            QCOMPARE(OutcomeText(r, m_log), text);
        } else {
            // Random bytes: whatever the master made of them, never a
            // sound reply.
            QVERIFY(r.outcome != Outcome::Answered);
        }
    }
}

void TestBusRecording::relayPollsRecorded_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<QString>("simSays");
    QTest::newRow("answered") << Fault::None << Outcome::Answered << "answered" << 12 << "answered";
    QTest::newRow("silent") << Fault::Silent << Outcome::NoAnswer << "no answer" << 0
                            << "no answer";
    QTest::newRow("wrong address") << Fault::WrongAddress << Outcome::OtherAddress
                                   << "answer from address 15" << 1 << "answer from address 15";
    QTest::newRow("cut-off reply")
        << Fault::CutOff << Outcome::Incomplete << "incomplete reply (6 of 12 bytes)" << 6
        << "incomplete reply (6 of 12 bytes)";
}

void TestBusRecording::relayPollsRecorded()
{
    QFETCH(Fault, fault);
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    QFETCH(int, replyLength);
    QFETCH(QString, simSays);
    QVERIFY(m_sim->setRelayFault(2, fault));
    TComPort vrxPort;
    vrxPort.SetPort(m_sim->linkPath());
    vrxPort.SetExchangeLog(&m_log);
    m_sim->clearRequests();
    const uint64_t before = m_log.LastSequence();

    VrxResult result;
    QCOMPARE(VRXProtocol(&vrxPort).PollModule(2, {1, 1, 1, 1, 5, 5, 5, 5}, result),
             outcome == Outcome::Answered);

    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QCOMPARE(records.size(), 1);
    const ExchangeRecord &r = records[0];
    QCOMPARE(r.link, ExchangeLink::Relay);
    QCOMPARE(int(r.address), 14); // the address byte of module 2
    QCOMPARE(int(r.function), 9);
    QCOMPARE(int(r.count), 8);
    QCOMPARE(int(r.attempt), 1);
    QVERIFY(r.ends_call);
    QCOMPARE(hexOf(RequestOf(r)), hexOf(frame("0E 09 01 01 01 01 01 05 05 05 05 D1 30")));
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(OutcomeText(r, m_log), text);
    QCOMPARE(int(r.reply_length), replyLength);
    QCOMPARE(m_log.portNames().value(r.port), m_sim->linkPath());

    QTRY_COMPARE_WITH_TIMEOUT(m_sim->actions().size(), qsizetype(1), 2000);
    const SimAction did = m_sim->actions().constFirst();
    QCOMPARE(did.request.function, 9);
    QCOMPARE(did.outcome, simSays);
    QVERIFY(did.reply.startsWith(ReplyOf(r)));
}

// Replies no simulated module gives, scripted on the fake line: the outcome
// follows from the bytes the master took, and no more bytes are taken than
// the master takes anyway.
void TestBusRecording::repliesClassifiedFromWhatWasRead_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("replyLength");
    QTest::newRow("sound read")
        << false << frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1")
        << Outcome::Answered << "answered" << 21;
    QTest::newRow("function 4") << false
                                << frame("01 04 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 B1 C5")
                                << Outcome::BadReply << "bad reply" << 2;
    QTest::newRow("byte count 14")
        << false << frame("01 03 0E 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 68 87")
        << Outcome::BadReply << "bad reply" << 3;
    QTest::newRow("read answered as a write")
        << false << frame("01 10 00 10 00 08 C0 0A") << Outcome::BadReply << "bad reply" << 2;
    QTest::newRow("CRC error")
        << false << frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D2")
        << Outcome::CrcError << "CRC error" << 21;
    QTest::newRow("cut short") << false << frame("01 03 10 00 FA") << Outcome::Incomplete
                               << "incomplete reply (5 of 21 bytes)" << 5;
    QTest::newRow("one byte") << false << frame("01") << Outcome::Incomplete
                              << "incomplete reply (1 of 21 bytes)" << 1;
    QTest::newRow("from address 2") << false << frame("02 03 10 D1 3C") << Outcome::OtherAddress
                                    << "answer from address 2" << 1;
    QTest::newRow("exception") << false << frame("01 83 02 C0 F1") << Outcome::Exception
                               << "exception 2 (illegal data address)" << 5;
    // Without its whole frame, or with a CRC that fails, the code is not
    // trusted; either way the exchange is not taken for one cut off.
    QTest::newRow("exception, code only")
        << false << frame("01 83 02") << Outcome::Exception << "exception (code not read)" << 3;
    QTest::newRow("exception, bad CRC") << false << frame("01 83 02 C0 F2") << Outcome::Exception
                                        << "exception (code not read)" << 5;
    QTest::newRow("nothing") << false << QByteArray() << Outcome::NoAnswer << "no answer" << 0;
    QTest::newRow("write confirmed")
        << true << frame("01 10 00 00 00 01 01 C9") << Outcome::Answered << "answered" << 8;
    // The write still counts (address and function confirm it); the record
    // says what came with it.
    QTest::newRow("write confirmed, bad CRC")
        << true << frame("01 10 00 00 00 01 01 CA") << Outcome::CrcError << "CRC error" << 8;
    QTest::newRow("write confirmed, echo cut off")
        << true << frame("01 10 00 00") << Outcome::Answered << "answered" << 4;
}

void TestBusRecording::repliesClassifiedFromWhatWasRead()
{
    QFETCH(bool, write);
    QFETCH(QByteArray, reply);
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    QFETCH(int, replyLength);
    FakeLine line;
    line.SetExchangeLog(&m_log);
    line.QueueReply(reply);
    const uint64_t before = m_log.LastSequence();
    MBProtocol mb(&line, line.Waiter());
    std::array<uint16_t, 8> values{};
    const std::array<int16_t, 1> one = {7};
    const bool ok = write ? mb.WriteMultipleRegisters(1, 0, 1, one.data())
                          : mb.ReadHoldingRegisters(1, 16, 8, values.data());
    QCOMPARE(ok, outcome == Outcome::Answered || (write && outcome == Outcome::CrcError));
    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QCOMPARE(records.size(), 1);
    const ExchangeRecord &r = records[0];
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(OutcomeText(r, m_log), text);
    QCOMPARE(int(r.reply_length), replyLength);
    QCOMPARE(line.bytesRead, replyLength);
    QCOMPARE(hexOf(ReplyOf(r)), hexOf(reply.left(replyLength)));
    // On its own, a transaction is the first attempt and its own result.
    QCOMPARE(int(r.attempt), 1);
    QVERIFY(r.ends_call);
}

void TestBusRecording::guardHeldByAnotherProgramIsRecorded()
{
    LockHolder holder(QString::fromStdString(ComportGuard::LockFilePath()));
    QVERIFY(holder.locked());
    FakeLine line;
    line.SetExchangeLog(&m_log);
    line.SetPort(QStringLiteral("ttyUSB7"));
    const uint64_t before = m_log.LastSequence();
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({3, &line}, 16, 8, values.data()));

    QCOMPARE(line.opens, 0);
    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QCOMPARE(records.size(), 1);
    const ExchangeRecord &r = records[0];
    QCOMPARE(r.outcome, Outcome::GuardHeld);
    QCOMPARE(OutcomeText(r, m_log), QStringLiteral("bus guard held by another program"));
    QCOMPARE(int(r.attempt), 1);
    QVERIFY(r.ends_call);
    QCOMPARE(int(r.address), 3);
    QCOMPARE(int(r.function), 3);
    QCOMPARE(int(r.first_register), 16);
    QCOMPARE(int(r.count), 8);
    QCOMPARE(int(r.request_length), 0); // nothing went on the line
    QCOMPARE(m_log.portNames().value(r.port), QStringLiteral("ttyUSB7"));
    // The call waited its 120 ms for the guard.
    QVERIFY(r.duration_us >= 120000);
}

// A view's listener may take its time; it must not take it while this
// program holds the guard, which other programs on the bus wait for.
void TestBusRecording::listenersRunWithTheGuardFree()
{
    FakeLine line;
    line.SetExchangeLog(&m_log);
    line.QueueReply(frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1"));
    QList<ComportGuard::WaitResult> guardSeen;
    const int id = m_log.AddListener([&](const ExchangeRecord &) {
        ComportGuard probe;
        guardSeen.append(probe.Acquire(0));
    });
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({2, &line}, 16, 8, values.data())); // from address 1
    m_log.RemoveListener(id);
    QCOMPARE(guardSeen, (QList<ComportGuard::WaitResult>{ComportGuard::WaitResult::Acquired,
                                                         ComportGuard::WaitResult::Acquired}));
}

// A stop after a failed first attempt ends the call there: that attempt's
// record must say it ended the call, or a count of calls would lose it.
void TestBusRecording::stoppedCallEndsWithItsLastAttempt_data()
{
    QTest::addColumn<bool>("stopAfterFirst");
    QTest::addColumn<QList<bool>>("endsCall");
    QTest::newRow("not stopped: two attempts") << false << QList<bool>{false, true};
    QTest::newRow("stopped after the first") << true << QList<bool>{true};
}

void TestBusRecording::stoppedCallEndsWithItsLastAttempt()
{
    QFETCH(bool, stopAfterFirst);
    QFETCH(QList<bool>, endsCall);
    FakeLine line; // no reply queued: a silent slave
    line.SetExchangeLog(&m_log);
    int asked = 0;
    const Protocol protocol([] {}, [&] { return stopAfterFirst && ++asked > 1; });
    const uint64_t before = m_log.LastSequence();
    std::array<uint16_t, 8> values{};
    QCOMPARE(protocol.Read({4, &line}, 16, 8, values.data()), ReadResult::Silent);
    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QList<bool> seen;
    for (const ExchangeRecord &r : records) {
        QCOMPARE(r.outcome, Outcome::NoAnswer);
        QCOMPARE(int(r.attempt), int(seen.size()) + 1);
        seen.append(r.ends_call);
    }
    QCOMPARE(seen, endsCall);
}

void TestBusRecording::portThatCannotBeOpened_data()
{
    QTest::addColumn<int>("code"); // 0: a real port whose path does not exist
    QTest::addColumn<QString>("text");
    const QString noSuchPort = QStringLiteral(
        "port cannot be opened: there is no such port. Plug the adapter in, or choose another "
        "port (Options, Change Comport).");
    QTest::newRow("missing device") << 0 << noSuchPort;
    QTest::newRow("ENXIO") << int(ENXIO) << noSuchPort;
    QTest::newRow("EBUSY") << int(EBUSY)
                           << "port cannot be opened: it is in use by another program.";
    QTest::newRow("EACCES") << int(EACCES)
                            << "port cannot be opened: permission denied. To use serial ports "
                               "your user must be in the dialout group: sudo usermod -aG "
                               "dialout $USER, then log out and in again.";
}

void TestBusRecording::portThatCannotBeOpened()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    FakeLine fake;
    TComPort missing;
    SerialLine *line = &fake;
    if (code == 0) {
        missing.SetPort(m_dir.filePath(QStringLiteral("no-such-tty")));
        line = &missing;
    } else {
        fake.FailOpen(code, -1);
    }
    line->SetExchangeLog(&m_log);
    const uint64_t before = m_log.LastSequence();
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({4, line}, 16, 8, values.data()));

    const QList<ExchangeRecord> records = RecordsAfter(m_log, before);
    QCOMPARE(records.size(), 2); // tried once more, as a silent module is
    for (const ExchangeRecord &r : records) {
        QCOMPARE(r.outcome, Outcome::PortUnavailable);
        QCOMPARE(OutcomeText(r, m_log), text);
        QCOMPARE(int(r.reply_length), 0);
    }
    QCOMPARE(records[1].attempt, uint8_t(2));
    QVERIFY(!records[0].ends_call && records[1].ends_call);
}

void TestBusRecording::lineWithoutLogRecordsNothing()
{
    FakeLine line;
    const uint64_t before = m_log.LastSequence();
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    VrxResult result;
    QVERIFY(!VRXProtocol(&line, line.Waiter()).PollModule(1, {}, result));
    QCOMPARE(m_log.LastSequence(), before);
}

QTEST_APPLESS_MAIN(TestBusRecording)
#include "tst_busrecording.moc"

#include "link/exchangelog.h"

#include <QTest>

// The ring of bus exchanges: what it keeps, how it numbers, and the words an
// outcome is shown in.
class TestExchangeLog : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheNewestRecordsOnceFull();
    void findsNothingOutsideTheKeptRange();
    void tellsListenersUntilRemoved();
    void listenerMayRemoveItselfOrAddAnother();
    void outcomeText_data();
    void outcomeText();
};

namespace {

ExchangeRecord WithAddress(int address)
{
    ExchangeRecord record;
    record.address = uint8_t(address);
    return record;
}

} // namespace

void TestExchangeLog::keepsTheNewestRecordsOnceFull()
{
    ExchangeLog log;
    const int total = ExchangeLog::kCapacity + 2500;
    for (int i = 1; i <= total; ++i)
        log.Append(WithAddress(i % 64));
    QCOMPARE(log.LastSequence(), uint64_t(total));
    QCOMPARE(log.FirstSequence(), uint64_t(total - ExchangeLog::kCapacity + 1));
    // Every kept record is the one appended with that number.
    for (uint64_t s : {log.FirstSequence(), log.FirstSequence() + 1, uint64_t(total / 2),
                       log.LastSequence() - 1, log.LastSequence()}) {
        const ExchangeRecord *record = log.Find(s);
        QVERIFY(record);
        QCOMPARE(record->sequence, s);
        QCOMPARE(int(record->address), int(s % 64));
    }
}

void TestExchangeLog::findsNothingOutsideTheKeptRange()
{
    ExchangeLog log;
    QCOMPARE(log.FirstSequence(), uint64_t(0));
    QCOMPARE(log.LastSequence(), uint64_t(0));
    QVERIFY(!log.Find(0));
    QVERIFY(!log.Find(1));
    for (int i = 0; i < ExchangeLog::kCapacity + 1; ++i)
        log.Append(WithAddress(1));
    QVERIFY(!log.Find(1)); // pushed out
    QVERIFY(log.Find(2));
    QVERIFY(!log.Find(log.LastSequence() + 1)); // not yet made
}

void TestExchangeLog::tellsListenersUntilRemoved()
{
    ExchangeLog log;
    QList<int> seen;
    const int id = log.AddListener([&](const ExchangeRecord &r) { seen.append(r.address); });
    log.Append(WithAddress(5));
    log.Append(WithAddress(9));
    log.RemoveListener(id);
    log.Append(WithAddress(12));
    QCOMPARE(seen, (QList<int>{5, 9}));
}

// A view that closes on a record takes its listener off inside the call;
// one that opens another view adds one there.
void TestExchangeLog::listenerMayRemoveItselfOrAddAnother()
{
    ExchangeLog log;
    QList<QString> seen;
    int first = 0;
    first = log.AddListener([&](const ExchangeRecord &r) {
        seen.append(QStringLiteral("first %1").arg(r.address));
        log.RemoveListener(first);
        log.AddListener([&](const ExchangeRecord &later) {
            seen.append(QStringLiteral("added %1").arg(later.address));
        });
    });
    log.AddListener(
        [&](const ExchangeRecord &r) { seen.append(QStringLiteral("second %1").arg(r.address)); });
    log.Append(WithAddress(1));
    log.Append(WithAddress(2));
    QCOMPARE(seen, (QList<QString>{QStringLiteral("first 1"), QStringLiteral("second 1"),
                                   QStringLiteral("second 2"), QStringLiteral("added 2")}));
}

void TestExchangeLog::outcomeText_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("detail");
    QTest::addColumn<QString>("text");
    QTest::newRow("answered") << int(ExchangeOutcome::Answered) << 0 << "answered";
    QTest::newRow("silent") << int(ExchangeOutcome::NoAnswer) << 0 << "no answer";
    QTest::newRow("cut off") << int(ExchangeOutcome::Incomplete) << 5
                             << "incomplete reply (5 of 21 bytes)";
    QTest::newRow("crc") << int(ExchangeOutcome::CrcError) << 0 << "CRC error";
    QTest::newRow("other address")
        << int(ExchangeOutcome::OtherAddress) << 7 << "answer from address 7";
    QTest::newRow("exception 2") << int(ExchangeOutcome::Exception) << 2
                                 << "exception 2 (illegal data address)";
    QTest::newRow("exception 4") << int(ExchangeOutcome::Exception) << 4
                                 << "exception 4 (slave device failure)";
    QTest::newRow("exception 99") << int(ExchangeOutcome::Exception) << 99
                                  << "exception 99 (unknown exception)";
    QTest::newRow("exception, code not read")
        << int(ExchangeOutcome::Exception) << 0 << "exception (code not read)";
    QTest::newRow("guard") << int(ExchangeOutcome::GuardHeld) << 0
                           << "bus guard held by another program";
    QTest::newRow("port") << int(ExchangeOutcome::PortUnavailable) << 0
                          << "port cannot be opened: there is no such port";
    QTest::newRow("not sent") << int(ExchangeOutcome::NotSent) << 0 << "request not sent";
}

void TestExchangeLog::outcomeText()
{
    QFETCH(int, outcome);
    QFETCH(int, detail);
    QFETCH(QString, text);
    ExchangeLog log;
    ExchangeRecord record;
    record.outcome = ExchangeOutcome(outcome);
    record.reply_length = uint16_t(detail);
    record.expected_length = 21;
    record.reply[0] = uint8_t(detail);
    record.exception_code = uint8_t(detail);
    record.reason = log.ReasonIndex(QStringLiteral("there is no such port"));
    QCOMPARE(OutcomeText(record, log), text);
}

QTEST_APPLESS_MAIN(TestExchangeLog)
#include "tst_exchangelog.moc"

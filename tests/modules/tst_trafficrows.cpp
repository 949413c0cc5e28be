#include "modules/trafficrows.h"

#include "support/filesizecap.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

Q_DECLARE_METATYPE(ExchangeRecord)

// What the traffic window shows of the exchange log, without a screen: a
// record's row, the filter, the rows following the log (paused, caught up,
// overtaken by the ring) and the CSV written of them.
class TestTrafficRows : public QObject
{
    Q_OBJECT

private slots:
    void rowTexts_data();
    void rowTexts();
    void timeAndDurationCells();
    void metersReadingsInFahrenheit();
    void filter_data();
    void filter();
    void pausedViewCatchesUpOnResume();
    void ringOvertakingAPausedViewIsCounted();
    void firstLookTakesWhatTheLogKeeps();
    void keepsTheNewestRowsWithinTheBound();
    void newFilterKeepsAPausedViewWhereItIs();
    void statusText_data();
    void statusText();
    void csvField_data();
    void csvField();
    void csvHasTitlesAndCrLfLines();
    void tabTextKeepsOneLinePerRow();
    void savesWholeFile();
    void failedSaveLeavesNoPartialFile_data();
    void failedSaveLeavesNoPartialFile();
};

namespace {

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// A record as the bus layer leaves it; bytes beyond 64 are counted in the
// lengths but not kept.
ExchangeRecord Record(ExchangeLink link, int address, int function, int first, int count,
                      ExchangeOutcome outcome, const QByteArray &request, const QByteArray &reply,
                      int expected = 0, int exception = 0)
{
    ExchangeRecord r;
    r.link = link;
    r.address = uint8_t(address);
    r.function = uint8_t(function);
    r.first_register = uint16_t(first);
    r.count = uint16_t(count);
    r.outcome = outcome;
    r.exception_code = uint8_t(exception);
    r.expected_length = uint16_t(expected);
    r.request_length = uint16_t(request.size());
    r.reply_length = uint16_t(reply.size());
    std::copy_n(request.begin(), std::min<qsizetype>(request.size(), 64), r.request.begin());
    std::copy_n(reply.begin(), std::min<qsizetype>(reply.size(), 64), r.reply.begin());
    return r;
}

ExchangeRecord Modbus(int address, int function, int first, int count, ExchangeOutcome outcome,
                      const char *request, const char *reply, int expected = 0, int exception = 0)
{
    return Record(ExchangeLink::Modbus, address, function, first, count, outcome, Hex(request),
                  Hex(reply), expected, exception);
}

// Module 2's inputs: five Pt100, a 4-20 mA loop, one unused, one Ni100.
TrafficDecoding Module2Types(const QString &unit = QStringLiteral("Celsius"))
{
    TrafficDecoding decoding;
    decoding.unit = unit;
    decoding.inputType = [](int address, int input) {
        if (address != 2)
            return -1;
        static const int types[8] = {1, 1, 1, 1, 1, 5, 0, 2};
        return types[input - 1];
    };
    return decoding;
}

// A log of records at addresses 1, 2, 3, 1, 2, 3, ...; every fourth fails.
void FillLog(ExchangeLog &log, int count)
{
    for (int i = 0; i < count; ++i) {
        ExchangeRecord r;
        r.address = uint8_t(1 + i % 3);
        r.outcome = i % 4 == 3 ? ExchangeOutcome::NoAnswer : ExchangeOutcome::Answered;
        log.Append(r);
    }
}

QList<uint64_t> Sequences(const std::deque<ExchangeRecord> &rows)
{
    QList<uint64_t> s;
    for (const ExchangeRecord &r : rows)
        s.append(r.sequence);
    return s;
}

QList<uint64_t> Range(uint64_t first, uint64_t last)
{
    QList<uint64_t> s;
    for (uint64_t q = first; q <= last; ++q)
        s.append(q);
    return s;
}

QStringList Texts(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

// One step of a view: what came since, the oldest rows dropped, appended.
void Refresh(TrafficFeed &feed, const ExchangeLog &log)
{
    auto fresh = feed.Collect(log);
    feed.DropOldest(feed.TrimCountFor(fresh.size()));
    feed.Append(std::move(fresh));
}

} // namespace

void TestTrafficRows::rowTexts_data()
{
    QTest::addColumn<ExchangeRecord>("record");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("metering read answered")
        << Modbus(2, 3, 16, 8, ExchangeOutcome::Answered, "020300100008 45FA",
                  "020310 00D7 00DA 5208 55F0 4E20 0078 0000 FFF4 50E9", 21)
        << "3 read"
        << "16-23 (8)"
        << "02 03 00 10 00 08 45 FA"
        << "02 03 10 00 D7 00 DA 52 08 55 F0 4E 20 00 78 00 00 FF F4 50 E9"
        << "readings 21.5 °C, 21.8 °C, open, shorted, not configured, 12.0 mA, unused, -1.2 °C"
        << "answered";
    QTest::newRow("metering read of a module of unknown types")
        << Modbus(9, 3, 16, 8, ExchangeOutcome::Answered, "",
                  "090310 00D7 00DA 5208 55F0 4E20 0078 0000 FFF4 0000", 21)
        << "3 read"
        << "16-23 (8)"
        << ""
        << "09 03 10 00 D7 00 DA 52 08 55 F0 4E 20 00 78 00 00 FF F4 00 00"
        << "readings 21.5, 21.8, open, shorted, not configured, 12.0, 0.0, -1.2"
        << "answered";
    QTest::newRow("device information read")
        << Modbus(5, 3, 4, 4, ExchangeOutcome::Answered, "050300040004 044C",
                  "050308 00CA 0137 0000 0032 9F2B", 13)
        << "3 read"
        << "4-7 (4)"
        << "05 03 00 04 00 04 04 4C"
        << "05 03 08 00 CA 01 37 00 00 00 32 9F 2B"
        << "values 202, 311, 0, 50"
        << "answered";
    QTest::newRow("write answered")
        << Modbus(5, 16, 0, 4, ExchangeOutcome::Answered,
                  "051000000004 08 0001 0001 0002 0000 3EB9", "051000000004 C04E", 8)
        << "16 write"
        << "0-3 (4)"
        << "05 10 00 00 00 04 08 00 01 00 01 00 02 00 00 3E B9"
        << "05 10 00 00 00 04 C0 4E"
        << "wrote 1, 1, 2, 0"
        << "answered";
    QTest::newRow("single register write")
        << Modbus(5, 16, 46252, 1, ExchangeOutcome::Answered, "0510B4AC0001020032", "", 8)
        << "16 write"
        << "46252"
        << "05 10 B4 AC 00 01 02 00 32"
        << ""
        << "wrote 50"
        << "answered";
    QTest::newRow("exception") << Modbus(7, 3, 16, 8, ExchangeOutcome::Exception,
                                         "070300100008 45AF", "078302 20F0", 21, 2)
                               << "3 read"
                               << "16-23 (8)"
                               << "07 03 00 10 00 08 45 AF"
                               << "07 83 02 20 F0"
                               << ""
                               << "exception 2 (illegal data address)";
    QTest::newRow("CRC error: nothing decoded")
        << Modbus(2, 3, 16, 8, ExchangeOutcome::CrcError, "020300100008 45FA",
                  "020310 00D7 00DA 5208 55F0 4E20 0078 0000 FFF4 50EA", 21)
        << "3 read"
        << "16-23 (8)"
        << "02 03 00 10 00 08 45 FA"
        << "02 03 10 00 D7 00 DA 52 08 55 F0 4E 20 00 78 00 00 FF F4 50 EA"
        << ""
        << "CRC error";
    QTest::newRow("no answer") << Modbus(7, 3, 16, 8, ExchangeOutcome::NoAnswer,
                                         "070300100008 45AF", "", 21)
                               << "3 read"
                               << "16-23 (8)"
                               << "07 03 00 10 00 08 45 AF"
                               << ""
                               << ""
                               << "no answer";
    QTest::newRow("incomplete") << Modbus(2, 3, 16, 8, ExchangeOutcome::Incomplete,
                                          "020300100008 45FA", "020310 00D7", 21)
                                << "3 read"
                                << "16-23 (8)"
                                << "02 03 00 10 00 08 45 FA"
                                << "02 03 10 00 D7"
                                << ""
                                << "incomplete reply (5 of 21 bytes)";
    QTest::newRow("relay poll")
        << Record(ExchangeLink::Relay, 13, 9, 0, 0, ExchangeOutcome::Answered,
                  Hex("0D0901 0101050000000000 31AE"), Hex("0D0881 460178000000000000"))
        << "9 relay poll"
        << ""
        << "0D 09 01 01 01 05 00 00 00 00 00 31 AE"
        << "0D 08 81 46 01 78 00 00 00 00 00 00"
        << "readings 20.0 °C, open, 12.0 mA, unused, unused, unused, unused, unused"
        << "answered";

    // A write of 40 registers: 7 + 80 + 2 = 89 bytes, of which the log
    // keeps 64, so 28 whole values of the 40.
    QByteArray longWrite = Hex("011000000028 50");
    for (int i = 0; i < 40; ++i) {
        longWrite += char(0);
        longWrite += char(i);
    }
    longWrite += Hex("ABCD");
    QStringList stored;
    for (int i = 0; i < 64; ++i)
        stored << QStringLiteral("%1")
                      .arg(int(uint8_t(longWrite[i])), 2, 16, QLatin1Char('0'))
                      .toUpper();
    QStringList values;
    for (int i = 0; i < 28; ++i)
        values << QString::number(i);
    QTest::newRow("write longer than 64 bytes is cut")
        << Record(ExchangeLink::Modbus, 1, 16, 0, 40, ExchangeOutcome::NoAnswer, longWrite, {})
        << "16 write"
        << "0-39 (40)"
        << stored.join(QLatin1Char(' ')) + QStringLiteral(" ... (64 of 89 bytes kept)") << ""
        << QStringLiteral("wrote ") + values.join(QStringLiteral(", ")) +
               QStringLiteral(" ... (28 of 40 values kept)")
        << "no answer";
}

void TestTrafficRows::rowTexts()
{
    QFETCH(ExchangeRecord, record);
    ExchangeLog log;
    const QStringList texts = TrafficRowTexts(record, log, Module2Types());
    QCOMPARE(texts.size(), int(kTrafficColumnCount));
    QCOMPARE(texts[kTrafficAddress], QString::number(record.address));
    QTEST(texts[kTrafficFunction], "function");
    QTEST(texts[kTrafficRegisters], "registers");
    QTEST(texts[kTrafficRequest], "request");
    QTEST(texts[kTrafficReply], "reply");
    QTEST(texts[kTrafficDecoded], "decoded");
    QTEST(texts[kTrafficOutcome], "outcome");
}

void TestTrafficRows::timeAndDurationCells()
{
    const QDateTime at(QDate(2026, 12, 11), QTime(9, 5, 7, 42));
    ExchangeRecord r;
    r.time_us = at.toMSecsSinceEpoch() * 1000 + 999; // below a millisecond: dropped
    r.duration_us = 52349;
    ExchangeLog log;
    QCOMPARE(TrafficCell(r, kTrafficTime, log, {}), QStringLiteral("09:05:07.042"));
    QCOMPARE(TrafficCell(r, kTrafficDuration, log, {}), QStringLiteral("52.3"));
    r.duration_us = 60;
    QCOMPARE(TrafficCell(r, kTrafficDuration, log, {}), QStringLiteral("0.1"));
}

void TestTrafficRows::metersReadingsInFahrenheit()
{
    const ExchangeRecord r = Modbus(2, 3, 16, 8, ExchangeOutcome::Answered, "",
                                    "020310 00D7 00DA 5208 55F0 4E20 0078 0000 FFF4 50E9", 21);
    ExchangeLog log;
    QCOMPARE(TrafficCell(r, kTrafficDecoded, log, Module2Types(QStringLiteral("Fahrenheit"))),
             QStringLiteral("readings 70.7 °F, 71.2 °F, open, shorted, not configured, "
                            "12.0 mA, unused, 29.8 °F"));
}

void TestTrafficRows::filter_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("failuresOnly");
    QTest::addColumn<QList<uint64_t>>("shown");
    // Records 1..12: addresses 1, 2, 3, 1, ...; 4, 8 and 12 failed.
    QTest::newRow("everything") << 0 << false << Range(1, 12);
    QTest::newRow("address 2") << 2 << false << QList<uint64_t>{2, 5, 8, 11};
    QTest::newRow("failures") << 0 << true << QList<uint64_t>{4, 8, 12};
    QTest::newRow("failures of address 2") << 2 << true << QList<uint64_t>{8};
    QTest::newRow("an address never seen") << 63 << false << QList<uint64_t>{};
}

void TestTrafficRows::filter()
{
    QFETCH(int, address);
    QFETCH(bool, failuresOnly);
    ExchangeLog log;
    FillLog(log, 12);
    TrafficFeed feed;
    feed.SetFilter(log, TrafficFilter{address, failuresOnly});
    Refresh(feed, log);
    QTEST(Sequences(feed.rows()), "shown");
}

void TestTrafficRows::pausedViewCatchesUpOnResume()
{
    ExchangeLog log;
    TrafficFeed feed;
    FillLog(log, 30);
    Refresh(feed, log);
    QCOMPARE(Sequences(feed.rows()), Range(1, 30));
    // Paused: the view does not ask, the log goes on.
    FillLog(log, 50);
    QCOMPARE(feed.rows().size(), size_t(30));
    // Resumed: one batch brings exactly what came meanwhile.
    const auto fresh = feed.Collect(log);
    QCOMPARE(fresh.size(), size_t(50));
    QCOMPARE(fresh.front().sequence, uint64_t(31));
    QCOMPARE(fresh.back().sequence, uint64_t(80));
    feed.Append(fresh);
    QCOMPARE(Sequences(feed.rows()), Range(1, 80));
    QCOMPARE(feed.missed(), uint64_t(0));
    QVERIFY(feed.Collect(log).empty());
}

void TestTrafficRows::ringOvertakingAPausedViewIsCounted()
{
    ExchangeLog log;
    TrafficFeed feed(100);
    FillLog(log, 10);
    Refresh(feed, log);
    // While paused the ring turns over and 500 records more.
    FillLog(log, ExchangeLog::kCapacity + 500);
    Refresh(feed, log);
    QCOMPARE(feed.missed(), uint64_t(500));
    // The view shows the newest it may, the older rows gone.
    const uint64_t last = log.LastSequence();
    QCOMPARE(Sequences(feed.rows()), Range(last - 99, last));
    QCOMPARE(TrafficStatusText(feed.rows().size(), feed.maxRows(), feed.missed(), false),
             QStringLiteral("100 exchanges shown (the newest); 500 exchanges not shown"));
}

void TestTrafficRows::firstLookTakesWhatTheLogKeeps()
{
    // A window opened after the ring has turned over misses nothing: it
    // never saw the records gone before it opened.
    ExchangeLog log;
    FillLog(log, ExchangeLog::kCapacity + 7);
    TrafficFeed feed(50);
    Refresh(feed, log);
    QCOMPARE(feed.missed(), uint64_t(0));
    QCOMPARE(feed.rows().back().sequence, log.LastSequence());
}

void TestTrafficRows::keepsTheNewestRowsWithinTheBound()
{
    ExchangeLog log;
    TrafficFeed feed(100);
    FillLog(log, 70);
    Refresh(feed, log);
    FillLog(log, 45);
    // 70 kept + 45 fresh = 115: the oldest 15 go, in one step.
    const auto fresh = feed.Collect(log);
    QCOMPARE(feed.TrimCountFor(fresh.size()), size_t(15));
    feed.DropOldest(15);
    feed.Append(fresh);
    QCOMPARE(Sequences(feed.rows()), Range(16, 115));
    // A batch bigger than the bound replaces every row.
    FillLog(log, 250);
    const auto big = feed.Collect(log);
    QCOMPARE(big.size(), size_t(100));
    QCOMPARE(feed.TrimCountFor(big.size()), size_t(100));
    feed.DropOldest(100);
    feed.Append(big);
    QCOMPARE(Sequences(feed.rows()), Range(266, 365));
}

void TestTrafficRows::newFilterKeepsAPausedViewWhereItIs()
{
    ExchangeLog log;
    TrafficFeed feed;
    FillLog(log, 12);
    Refresh(feed, log);
    FillLog(log, 12); // paused meanwhile
    feed.SetFilter(log, TrafficFilter{0, true});
    QCOMPARE(Sequences(feed.rows()), (QList<uint64_t>{4, 8, 12}));
    Refresh(feed, log); // resumed
    QCOMPARE(Sequences(feed.rows()), (QList<uint64_t>{4, 8, 12, 16, 20, 24}));
}

void TestTrafficRows::statusText_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("missed");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 0 << false << 0 << "0 exchanges shown";
    QTest::newRow("one") << 1 << false << 0 << "1 exchange shown";
    QTest::newRow("full") << 10000 << false << 0 << "10000 exchanges shown (the newest)";
    QTest::newRow("paused") << 120 << true << 0 << "Paused. 120 exchanges shown";
    QTest::newRow("overtaken") << 120 << false << 1 << "120 exchanges shown; 1 exchange not shown";
}

void TestTrafficRows::statusText()
{
    QFETCH(int, shown);
    QFETCH(bool, paused);
    QFETCH(int, missed);
    QTEST(TrafficStatusText(size_t(shown), 10000, uint64_t(missed), paused), "text");
}

void TestTrafficRows::csvField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "answered"
                           << "answered";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma") << "wrote 1, 2"
                           << "\"wrote 1, 2\"";
    QTest::newRow("quote") << "port \"x\" busy"
                           << "\"port \"\"x\"\" busy\"";
    QTest::newRow("line break") << "a\nb"
                                << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("edge space") << " 7"
                                << "\" 7\"";
    QTest::newRow("inner space") << "no answer"
                                 << "no answer";
}

void TestTrafficRows::csvField()
{
    QFETCH(QString, field);
    QTEST(CsvField(field), "written");
}

void TestTrafficRows::csvHasTitlesAndCrLfLines()
{
    const QStringList row = Texts({"09:05:07.042", "2", "3 read", "16-23 (8)", "answered", "52.3",
                                   "02 03", "", "values 1, 2"});
    QCOMPARE(TrafficCsv({row}),
             QStringLiteral("Time,Address,Function,Registers,Outcome,Duration (ms),Request →,"
                            "Reply ←,Decoded\r\n"
                            "09:05:07.042,2,3 read,16-23 (8),answered,52.3,02 03,,"
                            "\"values 1, 2\"\r\n"));
}

void TestTrafficRows::tabTextKeepsOneLinePerRow()
{
    QCOMPARE(TrafficTabText({Texts({"a", "b c"}), Texts({"port\tgone\n", "x"})}),
             QStringLiteral("a\tb c\nport gone \tx\n"));
}

void TestTrafficRows::savesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.csv"));
    QVERIFY(WriteFileBytes(path, "old"));
    const QString text = TrafficCsv({Texts({"a", "b"})});
    const Result<> saved = SaveTrafficText(path, text);
    QVERIFY2(saved.ok(), qPrintable(saved.error()));
    QCOMPARE(ReadFileBytes(path), text.toUtf8());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), Texts({"traffic.csv"}));
}

void TestTrafficRows::failedSaveLeavesNoPartialFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("folder is a file") << "file";
    QTest::newRow("disk full") << "full";
    QTest::newRow("read-only folder") << "readonly";
}

void TestTrafficRows::failedSaveLeavesNoPartialFile()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString folder = dir.path();
    if (how == QLatin1String("file")) {
        folder = dir.filePath(QStringLiteral("plain"));
        QVERIFY(WriteFileBytes(folder, "x"));
    }
    if (how == QLatin1String("readonly")) {
        if (::geteuid() == 0)
            QSKIP("root writes into a read-only folder; the other rows cover a failed save");
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString path = folder + QStringLiteral("/traffic.csv");
    if (how == QLatin1String("full"))
        QVERIFY(WriteFileBytes(path, "old rows"));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);

    // 100,000 rows' worth of text, far beyond the cap of a full disk.
    const QString text = TrafficCsv(std::vector<QStringList>(20000, Texts({"0123456789"})));
    Result<> saved;
    {
        const FileSizeCap cap(how == QLatin1String("full") ? 4096 : RLIM_INFINITY);
        QVERIFY(cap.ok());
        saved = SaveTrafficText(path, text);
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!saved.ok());
    QVERIFY2(saved.error().startsWith(path + QStringLiteral(" cannot be written: ")),
             qPrintable(saved.error()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
    if (how == QLatin1String("full"))
        QCOMPARE(ReadFileBytes(path), QByteArray("old rows"));
}

QTEST_APPLESS_MAIN(TestTrafficRows)
#include "tst_trafficrows.moc"

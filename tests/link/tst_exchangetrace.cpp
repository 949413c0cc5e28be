#include "link/exchangetrace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

#include <sys/stat.h>

// The trace file: one tab-separated line per record, written on a thread of
// its own; paths that are no regular file are refused at once and said so,
// and the program never waits on them.
class TestExchangeTrace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesCarryEveryField();
    void appendsToAnExistingFileWithoutSecondHeader();
    void everyRecordIsWrittenOrCounted();
    void pathThatIsNoRegularFileIsRefused_data();
    void pathThatIsNoRegularFileIsRefused();

private:
    QTemporaryDir m_dir;
};

namespace {

// 2026-12-11 07:51:02.123456 UTC.
constexpr int64_t kTimeUs = 1796975462123456;

ExchangeRecord ReadRecord()
{
    ExchangeRecord r;
    r.time_us = kTimeUs;
    r.duration_us = 61234;
    r.address = 6;
    r.function = 3;
    r.first_register = 16;
    r.count = 8;
    r.attempt = 1;
    r.ends_call = false;
    r.outcome = ExchangeOutcome::CrcError;
    const QByteArray request = QByteArray::fromHex("0603001000 08447E");
    std::copy(request.begin(), request.end(), r.request.begin());
    r.request_length = uint16_t(request.size());
    r.reply[0] = 0x06;
    r.reply[1] = 0x03;
    r.reply_length = 2;
    return r;
}

QStringList FileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

void TestExchangeTrace::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestExchangeTrace::linesCarryEveryField()
{
    const QString path = m_dir.filePath(QStringLiteral("fields.tsv"));
    ExchangeLog log;
    QStringList complaints;
    {
        ExchangeTrace trace(log, path, [&](const QString &t) { complaints.append(t); });
        ExchangeRecord read = ReadRecord();
        read.port = log.PortIndex(QStringLiteral("/dev/ttyUSB0"));
        log.Append(read);

        ExchangeRecord relay;
        relay.time_us = kTimeUs + 1200000;
        relay.link = ExchangeLink::Relay;
        relay.address = 14;
        relay.function = 9;
        relay.count = 8;
        relay.outcome = ExchangeOutcome::Answered;
        relay.request_length = 100; // more than is kept
        relay.request.fill(0xAB);
        relay.port = log.PortIndex(QStringLiteral("ttyS1"));
        log.Append(relay);

        ExchangeRecord closed;
        closed.time_us = kTimeUs;
        closed.attempt = 2;
        closed.outcome = ExchangeOutcome::PortUnavailable;
        closed.reason = log.ReasonIndex(QStringLiteral("it is in use by another program."));
        closed.port = log.PortIndex(QStringLiteral("/dev/ttyUSB0"));
        log.Append(closed);
        QVERIFY(trace.Flush(5000));
    }
    QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join(QLatin1Char('\n'))));

    const QStringList lines = FileLines(path);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith(QLatin1Char('#')));

    const QStringList read = lines[1].split(QLatin1Char('\t'));
    QCOMPARE(read.size(), 12);
    // The time in local time with its offset, to the microsecond.
    static const QRegularExpression iso(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.(\\d{6})[+-]\\d\\d:\\d\\d$"));
    const auto match = iso.match(read[0]);
    QVERIFY2(match.hasMatch(), qPrintable(read[0]));
    QCOMPARE(match.captured(1), QStringLiteral("123456"));
    QCOMPARE(QDateTime::fromString(read[0].left(23) + read[0].right(6), Qt::ISODateWithMs)
                 .toMSecsSinceEpoch(),
             kTimeUs / 1000);
    QCOMPARE(
        read.mid(1),
        (QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("modbus"), QStringLiteral("6"),
                     QStringLiteral("3"), QStringLiteral("16"), QStringLiteral("8"),
                     QStringLiteral("1"), QStringLiteral("61234"), QStringLiteral("CRC error"),
                     QStringLiteral("06 03 00 10 00 08 44 7E"), QStringLiteral("06 03")}));

    const QStringList relay = lines[2].split(QLatin1Char('\t'));
    QCOMPARE(relay.size(), 12);
    QCOMPARE(
        relay.mid(1, 9),
        (QStringList{QStringLiteral("ttyS1"), QStringLiteral("relay"), QStringLiteral("14"),
                     QStringLiteral("9"), QStringLiteral("0"), QStringLiteral("8"),
                     QStringLiteral("1 end"), QStringLiteral("0"), QStringLiteral("answered")}));
    QVERIFY(relay[10].endsWith(QStringLiteral("AB AB ...")));
    QCOMPARE(relay[10].count(QStringLiteral("AB")), ExchangeRecord::kStoredBytes);
    QCOMPARE(relay[11], QString());

    const QStringList closed = lines[3].split(QLatin1Char('\t'));
    QCOMPARE(closed.value(7), QStringLiteral("2 end"));
    QCOMPARE(closed.value(9),
             QStringLiteral("port cannot be opened: it is in use by another program."));
}

void TestExchangeTrace::appendsToAnExistingFileWithoutSecondHeader()
{
    const QString path = m_dir.filePath(QStringLiteral("append.tsv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("kept\n");
    }
    ExchangeLog log;
    for (int run = 0; run < 2; ++run) {
        ExchangeTrace trace(log, path, [](const QString &t) { QFAIL(qPrintable(t)); });
        log.Append(ReadRecord());
        QVERIFY(trace.Flush(5000));
    }
    const QStringList lines = FileLines(path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("kept"));
    QVERIFY(lines[1].contains(QStringLiteral("CRC error")));
    QVERIFY(lines[2].contains(QStringLiteral("CRC error")));
}

// The writer may fall behind (here the records come faster than a write
// each); what it cannot take is counted in the file, never lost unseen.
void TestExchangeTrace::everyRecordIsWrittenOrCounted()
{
    const QString path = m_dir.filePath(QStringLiteral("drops.tsv"));
    ExchangeLog log;
    constexpr int kRecords = 3 * ExchangeTrace::kQueueLength;
    {
        ExchangeTrace trace(log, path);
        for (int i = 0; i < kRecords; ++i)
            log.Append(ReadRecord());
        QVERIFY(trace.Flush(30000));
    }
    int written = 0;
    qint64 dropped = 0;
    static const QRegularExpression drops(QStringLiteral("^# (\\d+) lines dropped$"));
    const QStringList lines = FileLines(path);
    for (const QString &line : lines.mid(1)) {
        const auto match = drops.match(line);
        if (match.hasMatch())
            dropped += match.captured(1).toLongLong();
        else if (line.contains(QStringLiteral("\tCRC error\t")))
            ++written;
        else
            QFAIL(qPrintable(line));
    }
    QCOMPARE(written + dropped, qint64(kRecords));
}

void TestExchangeTrace::pathThatIsNoRegularFileIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO without a reader") << "fifo";
    QTest::newRow("directory") << "dir";
    QTest::newRow("device") << "device";
    QTest::newRow("folder that does not exist") << "missing";
}

void TestExchangeTrace::pathThatIsNoRegularFileIsRefused()
{
    QFETCH(QString, kind);
    QString path = m_dir.filePath(kind);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("dir"))
        QVERIFY(QDir(m_dir.path()).mkpath(kind));
    else if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/null");
    else
        path = m_dir.filePath(QStringLiteral("no/such/folder/trace.tsv"));

    ExchangeLog log;
    QStringList complaints;
    std::mutex mutex;
    {
        ExchangeTrace trace(log, path, [&](const QString &t) {
            std::lock_guard lock(mutex);
            complaints.append(t);
        });
        // The records given meanwhile are taken at once and go nowhere.
        for (int i = 0; i < 10; ++i)
            log.Append(ReadRecord());
        QVERIFY(trace.Flush(5000));
    }
    std::lock_guard lock(mutex);
    QCOMPARE(complaints.size(), 1);
    QVERIFY2(complaints[0].startsWith(QStringLiteral("trace file ") + path + QStringLiteral(": ")),
             qPrintable(complaints[0]));
    if (kind == QLatin1String("fifo")) {
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }
}

QTEST_APPLESS_MAIN(TestExchangeTrace)
#include "tst_exchangetrace.moc"

#include "metering/datalogfile.h"
#include "support/killchild.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// A child process appends datalog rows in a loop and is killed (SIGKILL) at
// random moments, many times over. Each row goes out in one write(), so a
// kill lands before or after it: right after every kill the file holds whole
// rows only and ends with CR LF. Nothing is cut off or repaired afterwards,
// so a row that a kill did cut would stay cut, and show here. (The child lays
// its rows so that none crosses a page of the file: see datalogkillchild.)
class TestDatalogKill : public QObject
{
    Q_OBJECT

private slots:
    void everyRowWholeAfterRandomKills();

private:
    // The lines of the file that are not whole rows, with their numbers.
    static QStringList BrokenLines(const QByteArray &file);
};

QStringList TestDatalogKill::BrokenLines(const QByteArray &file)
{
    static const QRegularExpression kRow(QStringLiteral(
        "^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\tRTD Module ([1-9]|[1-5][0-9]|6[0-3])"
        "(\t( {2}23\\.5| {2}----| {4}Op| {4}Sh| ERROR| {6}| -40\\.0| 209\\.9|9{6,128})){8}$"));
    const QByteArray header =
        "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8";

    QStringList broken;
    if (!file.endsWith("\r\n"))
        broken << QStringLiteral("the file does not end with CR LF");
    const QList<QByteArray> lines = file.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const bool whole = line.endsWith('\r') &&
                           (i == 0 ? line.chopped(1) == header
                                   : kRow.match(QString::fromLatin1(line.chopped(1))).hasMatch());
        if (!whole)
            broken << QStringLiteral("line %1: %2")
                          .arg(i + 1)
                          .arg(QString::fromLatin1(line.left(100)));
    }
    return broken;
}

void TestDatalogKill::everyRowWholeAfterRandomKills()
{
    constexpr int kRounds = 8;
    constexpr int kKillsPerRound = 25; // 200 kills in all
    const QString child = QStringLiteral(KELVORA_DATALOG_KILL_CHILD);
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);

    long long rows = 0;
    // Each round its own file, so that none grows large.
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString base = dir.filePath(QStringLiteral("kill"));
        const QString path = dir.filePath(QStringLiteral("kill_0314.csv"));
        for (int kill = 0; kill < kKillsPerRound; ++kill) {
            const QString killed = KillAtWork(child, {base}, random.bounded(20001));
            QVERIFY2(killed.isEmpty(), qPrintable(killed));

            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            const QStringList broken = BrokenLines(bytes);
            QVERIFY2(broken.isEmpty(), qPrintable(QStringLiteral("after kill %1: %2")
                                                      .arg(round * kKillsPerRound + kill + 1)
                                                      .arg(broken.mid(0, 5).join(u'\n'))));
        }
        QVERIFY(AppendDatalogRow(base, QDateTime(QDate(2024, 3, 14), QTime(23, 59, 59)), 63,
                                 ReadingTexts{})
                    .ok());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        rows += bytes.count('\n') - 1;
        const QStringList broken = BrokenLines(bytes);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.mid(0, 5).join(QLatin1Char('\n'))));
        QVERIFY(bytes.endsWith("23:59:59\tRTD Module 63\t      \t      \t      \t      \t      \t"
                               "      \t      \t      \r\n"));
    }
    qInfo("%d kills, %lld whole rows checked", kRounds * kKillsPerRound, rows);
}

QTEST_GUILESS_MAIN(TestDatalogKill)
#include "tst_datalogkill.moc"

#include "metering/datalogfile.h"

#include <QTest>

class TestDatalogFileName : public QObject
{
    Q_OBJECT

private slots:
    void fileNameOfTheDay_data();
    void fileNameOfTheDay();
    void fileNamePart_data();
    void fileNamePart();
};

void TestDatalogFileName::fileNameOfTheDay_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");

    const QString base = QStringLiteral("rtd_data");
    QTest::newRow("one-digit month and day")
        << base << QDate(2026, 3, 4) << QStringLiteral("rtd_data_0304.csv");
    QTest::newRow("1 January") << base << QDate(2027, 1, 1) << QStringLiteral("rtd_data_0101.csv");
    QTest::newRow("31 December") << base << QDate(2026, 12, 31)
                                 << QStringLiteral("rtd_data_1231.csv");
    QTest::newRow("two-digit month, one-digit day")
        << base << QDate(2026, 11, 9) << QStringLiteral("rtd_data_1109.csv");
    QTest::newRow("leap day") << base << QDate(2028, 2, 29) << QStringLiteral("rtd_data_0229.csv");
    // No year in the name: the same day a year later is the same file.
    QTest::newRow("same day, next year")
        << base << QDate(2027, 3, 4) << QStringLiteral("rtd_data_0304.csv");
    QTest::newRow("a path with a blank")
        << QStringLiteral("/var/log/plant line") << QDate(2026, 3, 4)
        << QStringLiteral("/var/log/plant line_0304.csv");
    QTest::newRow("percent signs stay as typed")
        << QStringLiteral("line%2 %1") << QDate(2026, 3, 4) << QStringLiteral("line%2 %1_0304.csv");
    QTest::newRow("empty base") << QString() << QDate(2026, 3, 4) << QStringLiteral("_0304.csv");
}

void TestDatalogFileName::fileNameOfTheDay()
{
    QFETCH(QString, base);
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(DatalogFileName(base, date), name);
}

void TestDatalogFileName::fileNamePart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("part");

    QTest::newRow("a bare name") << QStringLiteral("rtd_data_0304.csv")
                                 << QStringLiteral("rtd_data_0304.csv");
    QTest::newRow("after the last separator")
        << QStringLiteral("/var/log/plant line_0304.csv") << QStringLiteral("plant line_0304.csv");
    QTest::newRow("blanks around trimmed")
        << QStringLiteral("/logs/  day 1.csv \t") << QStringLiteral("day 1.csv");
    QTest::newRow("a folder alone") << QStringLiteral("/var/log/") << QString();
}

void TestDatalogFileName::fileNamePart()
{
    QFETCH(QString, path);
    QFETCH(QString, part);
    QCOMPARE(FileNamePart(path), part);
}

QTEST_APPLESS_MAIN(TestDatalogFileName)
#include "tst_datalogfilename.moc"

#include "widgets/piegauge.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QTest>

class tst_PieGauge : public QObject
{
    Q_OBJECT

private slots:
    void progressStaysInRangeAndShowsItsShare_data();
    void progressStaysInRangeAndShowsItsShare();
    void newRangeTakesProgressAlong();
    void pieFillsFromTwelveOClockClockwise();
    void assistiveTechnologyReadsValueAndRange();
};

void tst_PieGauge::progressStaysInRangeAndShowsItsShare_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("text");
    QTest::newRow("start of a 63 period") << 63 << 0 << 0 << QStringLiteral("0%");
    QTest::newRow("rounded down") << 63 << 21 << 21 << QStringLiteral("33%");
    QTest::newRow("end of the period") << 63 << 63 << 63 << QStringLiteral("100%");
    QTest::newRow("beyond the maximum") << 6 << 9 << 6 << QStringLiteral("100%");
    QTest::newRow("below the minimum") << 6 << -3 << 0 << QStringLiteral("0%");
    QTest::newRow("empty range") << 0 << 5 << 0 << QStringLiteral("0%");
}

void tst_PieGauge::progressStaysInRangeAndShowsItsShare()
{
    QFETCH(int, max);
    QFETCH(int, set);
    QFETCH(int, progress);
    QFETCH(QString, text);
    PieGauge gauge;
    gauge.SetRange(0, max);
    gauge.SetProgress(set);
    QCOMPARE(gauge.Progress(), progress);
    QCOMPARE(gauge.Text(), text);
}

void tst_PieGauge::newRangeTakesProgressAlong()
{
    PieGauge gauge;
    gauge.SetRange(0, 80);
    gauge.SetProgress(70);
    gauge.SetRange(0, 10);
    QCOMPARE(gauge.Progress(), 10);
}

void tst_PieGauge::pieFillsFromTwelveOClockClockwise()
{
    PieGauge gauge;
    gauge.resize(40, 40);
    gauge.SetBackColor(Qt::white);
    gauge.SetForeColor(QColor(166, 202, 240));
    gauge.SetRange(0, 4);
    gauge.SetProgress(1); // a quarter: the upper right
    const QImage image = gauge.grab().toImage();
    QCOMPARE(image.pixelColor(30, 8), QColor(166, 202, 240));
    QCOMPARE(image.pixelColor(9, 8), QColor(Qt::white));
    QCOMPARE(image.pixelColor(30, 31), QColor(Qt::white));
    QCOMPARE(image.pixelColor(9, 31), QColor(Qt::white));
}

void tst_PieGauge::assistiveTechnologyReadsValueAndRange()
{
    PieGauge gauge;
    gauge.SetRange(0, 63);
    gauge.SetProgress(21);
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(&gauge);
    QVERIFY(face);
    QCOMPARE(face->role(), QAccessible::ProgressBar);
    QAccessibleValueInterface *value = face->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toInt(), 21);
    QCOMPARE(value->maximumValue().toInt(), 63);
    QCOMPARE(value->minimumValue().toInt(), 0);
    QCOMPARE(face->text(QAccessible::Value), QStringLiteral("33%"));
}

QTEST_MAIN(tst_PieGauge)
#include "tst_piegauge.moc"

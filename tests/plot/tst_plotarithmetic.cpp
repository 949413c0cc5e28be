#include "modules/readingconversion.h"
#include "plot/plotarithmetic.h"

#include <QLocale>
#include <QTest>

// The plot page's arithmetic without a widget: charts of the checked
// modules, elapsed minutes on a wrapping tick counter, what a reading text
// plots as, the temperature axis's auto-scaling and the axis panel's OK.
class TestPlotArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void chartsFollowListOrder_data();
    void chartsFollowListOrder();
    void itemTextNamesItsModule_data();
    void itemTextNamesItsModule();
    void elapsedMinutesAcrossTheWrap_data();
    void elapsedMinutesAcrossTheWrap();
    void readingTextsPlotAs_data();
    void readingTextsPlotAs();
    void meteringNumbersReadBackInEveryLocale_data();
    void meteringNumbersReadBackInEveryLocale();
    void autoScaleStepsToMultiplesOfFive_data();
    void autoScaleStepsToMultiplesOfFive();
    void spinLimitsAreTruncated();
    void axisOkRules_data();
    void axisOkRules();
};

void TestPlotArithmetic::chartsFollowListOrder_data()
{
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QList<int>>("expected"); // pairs: module, chart

    QTest::newRow("2, 5, 9 as listed") << QList<int>{2, 5, 9} << QList<int>{2, 1, 5, 2, 9, 3};
    QTest::newRow("list order, not number order") << QList<int>{9, 2} << QList<int>{9, 1, 2, 2};
    QTest::newRow("eight take charts, the ninth none")
        << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}
        << QList<int>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 0};
    QTest::newRow("0 and 64 never take one")
        << QList<int>{0, 64, 3} << QList<int>{0, 0, 64, 0, 3, 1};
    QTest::newRow("a module named twice keeps its first")
        << QList<int>{4, 4, 6} << QList<int>{4, 1, 6, 2};
}

void TestPlotArithmetic::chartsFollowListOrder()
{
    QFETCH(QList<int>, checked);
    QFETCH(QList<int>, expected);
    const ChartOfModule charts = ChartsOfModules(checked);
    int assigned = 0;
    for (int m = 0; m <= 64; ++m)
        assigned += charts[size_t(m)] != 0;
    int expectedAssigned = 0;
    for (int i = 0; i < expected.size(); i += 2) {
        QCOMPARE(charts[size_t(expected[i])], expected[i + 1]);
        expectedAssigned += expected[i + 1] != 0;
    }
    QCOMPARE(assigned, expectedAssigned);
}

void TestPlotArithmetic::itemTextNamesItsModule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("module");
    QTest::newRow("Module 1") << QStringLiteral("Module 1") << 1;
    QTest::newRow("Module 63") << QStringLiteral("Module 63") << 63;
    QTest::newRow("Module 64") << QStringLiteral("Module 64") << 0;
    QTest::newRow("Module 0") << QStringLiteral("Module 0") << 0;
    QTest::newRow("no number") << QStringLiteral("Module x") << 0;
    QTest::newRow("too short") << QStringLiteral("Module ") << 0;
}

void TestPlotArithmetic::itemTextNamesItsModule()
{
    QFETCH(QString, text);
    QTEST(ModuleOfItemText(text), "module");
}

void TestPlotArithmetic::elapsedMinutesAcrossTheWrap_data()
{
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint32>("now");
    QTest::addColumn<float>("minutes");
    QTest::newRow("90 s") << 1000u << 91000u << 1.5f;
    QTest::newRow("parts of a second are dropped") << 0u << 59999u << 59.0f / 60.0f;
    QTest::newRow("across the wrap") << 0xFFFFF000u << 0x00001000u << 8.0f / 60.0f;
    QTest::newRow("ten minutes across the wrap") << 0xFFFFFFFFu - 299999u << 300000u << 10.0f;
    QTest::newRow("no time") << 0xFFFFFFFFu << 0xFFFFFFFFu << 0.0f;
    QTest::newRow("one ms short of a whole wrap")
        << 1u << 0u << float(4294967u) / 60.0f; // 4294967295 ms
}

void TestPlotArithmetic::elapsedMinutesAcrossTheWrap()
{
    QFETCH(quint32, start);
    QFETCH(quint32, now);
    QFETCH(float, minutes);
    const float x = ElapsedMinutes(start, now);
    QVERIFY(x >= 0);
    QCOMPARE(x, minutes);
}

void TestPlotArithmetic::readingTextsPlotAs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("y");
    const int point = int(PlotValue::Kind::Point);
    const int gap = int(PlotValue::Kind::Gap);
    const int nothing = int(PlotValue::Kind::Nothing);
    QTest::newRow("open") << QStringLiteral("Op") << point << 220.0;
    QTest::newRow("short") << QStringLiteral("Sh") << point << 230.0;
    QTest::newRow("error") << QStringLiteral("ERROR") << point << 240.0;
    QTest::newRow("not read") << QStringLiteral("----") << gap << 0.0;
    QTest::newRow("number") << QStringLiteral("23.4") << point << 23.4;
    QTest::newRow("negative") << QStringLiteral("-3.2") << point << -3.2;
    QTest::newRow("milliamperes") << QStringLiteral("12.0") << point << 12.0;
    QTest::newRow("case counts: op") << QStringLiteral("op") << nothing << 0.0;
    QTest::newRow("case counts: Error") << QStringLiteral("Error") << nothing << 0.0;
    QTest::newRow("three dashes") << QStringLiteral("---") << nothing << 0.0;
    QTest::newRow("empty (unknown unit)") << QString() << nothing << 0.0;
    QTest::newRow("nan") << QStringLiteral("nan") << nothing << 0.0;
    QTest::newRow("inf") << QStringLiteral("inf") << nothing << 0.0;
    QTest::newRow("beyond single precision") << QStringLiteral("1e39") << nothing << 0.0;
    QTest::newRow("group separator") << QStringLiteral("1,234.5") << nothing << 0.0;
    QTest::newRow("trailing text") << QStringLiteral("23.4 C") << nothing << 0.0;
}

void TestPlotArithmetic::readingTextsPlotAs()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(double, y);
    const PlotValue value = PlotValueOf(text);
    QCOMPARE(int(value.kind), kind);
    if (value.kind == PlotValue::Kind::Point)
        QCOMPARE(value.y, y);
}

void TestPlotArithmetic::meteringNumbersReadBackInEveryLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("German: decimal comma") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France);
}

// The numbers reach the page as the metering's conversion wrote them, in the
// user's locale: every tenth from -60 to 420 reads back as itself.
void TestPlotArithmetic::meteringNumbersReadBackInEveryLocale()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    for (int tenths = -600; tenths <= 4200; ++tenths) {
        const QString text = FormatOneDecimal(tenths / 10.0);
        const PlotValue value = PlotValueOf(text);
        QVERIFY2(value.kind == PlotValue::Kind::Point, qPrintable(text));
        QVERIFY2(qAbs(value.y - tenths / 10.0) < 1e-9, qPrintable(text));
    }
}

void TestPlotArithmetic::autoScaleStepsToMultiplesOfFive_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("newMin");
    QTest::addColumn<double>("newMax");
    QTest::newRow("23.4 on 0..5") << 0.0 << 5.0 << 23.4 << 0.0 << 25.0;
    QTest::newRow("a multiple of 5 goes one step beyond") << 0.0 << 5.0 << 20.0 << 0.0 << 25.0;
    QTest::newRow("25.0 on 0..25") << 0.0 << 25.0 << 25.0 << 0.0 << 30.0;
    QTest::newRow("21.0 on 0..25 leaves it") << 0.0 << 25.0 << 21.0 << 0.0 << 25.0;
    QTest::newRow("2.0 on 0..5 stays 0..5") << 0.0 << 5.0 << 2.0 << 0.0 << 5.0;
    QTest::newRow("-3.2: signed multiples") << 0.0 << 25.0 << -3.2 << -5.0 << 25.0;
    QTest::newRow("-5.0 goes to -10") << -5.0 << 25.0 << -5.0 << -10.0 << 25.0;
    QTest::newRow("-0.4 on 0..5") << 0.0 << 5.0 << -0.4 << -5.0 << 5.0;
    QTest::newRow("open sensor") << 0.0 << 25.0 << 220.0 << 0.0 << 225.0;
    QTest::newRow("error 240 on 0..240") << 0.0 << 240.0 << 240.0 << 0.0 << 245.0;
    QTest::newRow("-45.5 widens only the minimum") << 0.0 << 5.0 << -45.5 << -50.0 << 5.0;
}

void TestPlotArithmetic::autoScaleStepsToMultiplesOfFive()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, y);
    const AxisLimits after = AutoScaleAxis({min, max}, y);
    QTEST(after.min, "newMin");
    QTEST(after.max, "newMax");
}

void TestPlotArithmetic::spinLimitsAreTruncated()
{
    QCOMPARE(SpinLimitsOf({-5, 30}), (AxisLimits{-5, 30}));
    QCOMPARE(SpinLimitsOf({-2.5, 10.9}), (AxisLimits{-2, 10}));
}

void TestPlotArithmetic::axisOkRules_data()
{
    QTest::addColumn<double>("tempMin");
    QTest::addColumn<double>("tempMax");
    QTest::addColumn<double>("timeMin");
    QTest::addColumn<double>("timeMax");
    QTest::addColumn<double>("newTimeMax");
    QTest::addColumn<bool>("raised");
    QTest::addColumn<bool>("applyTemperature");
    QTest::addColumn<bool>("applyTime");
    QTest::newRow("both in order") << 10.0 << 40.0 << 2.0 << 6.0 << 6.0 << false << true << true;
    QTest::newRow("time 10 and 4 gives 10..11")
        << 10.0 << 40.0 << 10.0 << 4.0 << 11.0 << true << true << true;
    QTest::newRow("reversed temperature is not applied")
        << 50.0 << 20.0 << 0.0 << 6.0 << 6.0 << false << false << true;
    QTest::newRow("equal limits apply")
        << 20.0 << 20.0 << 3.0 << 3.0 << 3.0 << false << true << true;
}

void TestPlotArithmetic::axisOkRules()
{
    QFETCH(double, tempMin);
    QFETCH(double, tempMax);
    QFETCH(double, timeMin);
    QFETCH(double, timeMax);
    const AxisAdjustment a = AdjustAxes({tempMin, tempMax, timeMin, timeMax});
    QTEST(a.timeMax, "newTimeMax");
    QTEST(a.timeMaxRaised, "raised");
    QTEST(a.applyTemperature, "applyTemperature");
    QTEST(a.applyTime, "applyTime");
}

QTEST_APPLESS_MAIN(TestPlotArithmetic)
#include "tst_plotarithmetic.moc"

#include "app/optionvalues.h"

#include <QTest>

#include <climits>

class TestOptionValues : public QObject
{
    Q_OBJECT

private slots:
    void temperatureItem_data();
    void temperatureItem();
    void periodSpin_data();
    void periodSpin();
    void storedPeriodCutsTheFraction_data();
    void storedPeriodCutsTheFraction();
    void typedPeriodStands_data();
    void typedPeriodStands();
};

void TestOptionValues::temperatureItem_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("item");
    QTest::newRow("Celsius") << QStringLiteral("Celsius") << 0;
    QTest::newRow("Fahrenheit") << QStringLiteral("Fahrenheit") << 1;
    QTest::newRow("Kelvin") << QStringLiteral("Kelvin") << -1;
    QTest::newRow("lower case") << QStringLiteral("celsius") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestOptionValues::temperatureItem()
{
    QFETCH(QString, stored);
    QTEST(TemperatureItem(stored), "item");
    QCOMPARE(TemperatureUnits(),
             (QStringList{QStringLiteral("Celsius"), QStringLiteral("Fahrenheit")}));
}

// The period dialog's limits for n active modules: the one table of them.
// The dialog and the main window test only that they take these.
void TestOptionValues::periodSpin_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("active");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("value");
    QTest::newRow("5 modules, Period 63") << 63 << 5 << 10.0 << 63.0;
    QTest::newRow("5 modules, Period 4") << 4 << 5 << 10.0 << 10.0;
    QTest::newRow("5 modules, Period 10") << 10 << 5 << 10.0 << 10.0;
    QTest::newRow("no module") << 63 << 0 << 0.0 << 63.0;
    QTest::newRow("no module, Period 0") << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("63 modules") << 63 << 63 << 126.0 << 126.0;
}

void TestOptionValues::periodSpin()
{
    QFETCH(int, period);
    QFETCH(int, active);
    const PeriodSpin spin = PeriodSpinFor(period, active);
    QTEST(spin.min, "min");
    QTEST(spin.value, "value");
}

void TestOptionValues::storedPeriodCutsTheFraction_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("period");
    QTest::newRow("100.9") << 100.9 << 100;
    QTest::newRow("100.0") << 100.0 << 100;
    QTest::newRow("9999") << 9999.0 << 9999;
    QTest::newRow("-0.5 toward zero") << -0.5 << 0;
    QTest::newRow("-2.7 toward zero") << -2.7 << -2;
    QTest::newRow("beyond int") << 1e12 << INT_MAX;
    QTest::newRow("below int") << -1e12 << INT_MIN;
}

void TestOptionValues::storedPeriodCutsTheFraction()
{
    QFETCH(double, value);
    QTEST(StoredPeriod(value), "period");
}

void TestOptionValues::typedPeriodStands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stands");
    QTest::newRow("shown value") << QStringLiteral("63 s") << true;
    QTest::newRow("typed number") << QStringLiteral("120") << true;
    QTest::newRow("the minimum") << QStringLiteral("10") << true;
    QTest::newRow("the maximum") << QStringLiteral("9999") << true;
    QTest::newRow("a fraction") << QStringLiteral("100.9") << true;
    QTest::newRow("below the minimum") << QStringLiteral("5") << false;
    QTest::newRow("above the maximum") << QStringLiteral("10000") << false;
    QTest::newRow("no number") << QStringLiteral("soon") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestOptionValues::typedPeriodStands()
{
    QFETCH(QString, text);
    QTEST(TypedPeriodStands(text, 10, 9999), "stands");
}

QTEST_APPLESS_MAIN(TestOptionValues)
#include "tst_optionvalues.moc"

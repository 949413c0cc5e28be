#include "sim/simmodule.h"

#include <QtTest>

// The simulated readings must look like a plant to whoever charts them:
// plausible, slowly drifting, distinct per input, and repeatable.
class TestSimModule : public QObject
{
    Q_OBJECT

private slots:
    void readingsArePlausibleAndSlow_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("low");  // tenths
        QTest::addColumn<int>("high"); // tenths
        QTest::addColumn<int>("step"); // largest change per second, tenths

        QTest::newRow("Pt100, degrees") << 1 << 190 << 260 << 1;
        QTest::newRow("Cu10, degrees") << 4 << 190 << 260 << 1;
        QTest::newRow("4-20 mA, milliamperes") << 5 << 105 << 135 << 1;
    }

    void readingsArePlausibleAndSlow()
    {
        QFETCH(int, type);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(int, step);
        for (int unit = 1; unit <= 63; unit += 31) {
            for (int input = 1; input <= 8; ++input) {
                int previous = simulatedReading(7, unit, input, type, 0);
                for (qint64 ms = 1000; ms <= 600000; ms += 1000) {
                    const int value = simulatedReading(7, unit, input, type, ms);
                    QVERIFY2(value >= low && value <= high, qPrintable(QString::number(value)));
                    QVERIFY(qAbs(value - previous) <= step);
                    previous = value;
                }
            }
        }
    }

    void readingsRepeatAndDiffer()
    {
        QCOMPARE(simulatedReading(3, 5, 2, 1, 123456), simulatedReading(3, 5, 2, 1, 123456));
        QSet<int> values;
        for (int input = 1; input <= 8; ++input)
            values.insert(simulatedReading(3, 5, input, 1, 60000));
        QVERIFY(values.size() > 4);
        int differences = 0;
        for (int unit = 1; unit <= 20; ++unit)
            differences +=
                simulatedReading(3, unit, 1, 1, 60000) != simulatedReading(4, unit, 1, 1, 60000);
        QVERIFY(differences > 10);
    }

    void unusedInputReadsZero() { QCOMPARE(simulatedReading(1, 5, 1, 0, 5000), qint16(0)); }
};

QTEST_APPLESS_MAIN(TestSimModule)
#include "tst_simmodule.moc"

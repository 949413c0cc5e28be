#include "config/configregisters.h"

#include <QTest>

// Register values written out from the byte layout: input 2r+1 in the high
// byte of register r, input 2r+2 in the low byte.
class TestConfigRegisters : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
};

void TestConfigRegisters::packing_data()
{
    QTest::addColumn<QList<int>>("types"); // inputs 1..8
    QTest::addColumn<QList<int>>("registers");

    QTest::newRow("module 5 example")
        << QList<int>{1, 0, 2, 3, 4, 5, 0, 1} << QList<int>{0x0100, 0x0203, 0x0405, 0x0001};
    QTest::newRow("all Not Used") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << QList<int>{0, 0, 0, 0};
    QTest::newRow("all 4-20 mA") << QList<int>{5, 5, 5, 5, 5, 5, 5, 5}
                                 << QList<int>{1285, 1285, 1285, 1285};
    QTest::newRow("input 8 only") << QList<int>{0, 0, 0, 0, 0, 0, 0, 4} << QList<int>{0, 0, 0, 4};
    QTest::newRow("input 1 only") << QList<int>{3, 0, 0, 0, 0, 0, 0, 0} << QList<int>{768, 0, 0, 0};
    // A code too wide for its byte must not leak into its neighbour.
    QTest::newRow("oversized code stays in its byte")
        << QList<int>{0x105, 0, 0, 0, 0, 0, 0, 0} << QList<int>{0x0500, 0, 0, 0};
}

void TestConfigRegisters::packing()
{
    QFETCH(QList<int>, types);
    QFETCH(QList<int>, registers);
    ModuleTable table;
    constexpr int m = 5;
    for (int k = 1; k <= 8; ++k)
        table.input_type[k][m] = types[k - 1];
    // A neighbouring module's types must not take part.
    for (int k = 1; k <= 8; ++k)
        table.input_type[k][m + 1] = 5;

    const ConfigRegisters packed = PackConfigRegisters(table, m);
    for (int r = 0; r < 4; ++r)
        QCOMPARE(static_cast<uint16_t>(packed[r]), registers[r]);
}

QTEST_APPLESS_MAIN(TestConfigRegisters)
#include "tst_configregisters.moc"

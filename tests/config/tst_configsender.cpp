// The sending loop on its own: no window, a recording writer and a recording
// progress callback.

#include "config/configsender.h"
#include "modules/moduletable.h"

#include <QTest>

namespace {

struct Write
{
    int address = 0;
    int first = 0;
    QList<int> values; // the 16-bit patterns
    int step = -1;     // the last progress step told before the write
};

} // namespace

class TestConfigSender : public QObject
{
    Q_OBJECT

private slots:
    void sendsListedModulesInOrder_data();
    void sendsListedModulesInOrder();
    void writesTheRegisterPairsOfTheExample();
    void runsWithoutProgress();
};

void TestConfigSender::sendsListedModulesInOrder_data()
{
    QTest::addColumn<QList<int>>("listed");  // the grid's rows
    QTest::addColumn<QList<int>>("inUse");   // listed modules with input types
    QTest::addColumn<QList<int>>("failing"); // modules whose write fails
    QTest::addColumn<QList<int>>("written"); // addresses written, in order
    QTest::addColumn<QList<int>>("steps");   // step told before each write

    QTest::newRow("three modules") << QList<int>{3, 7, 9} << QList<int>{3, 7, 9} << QList<int>{}
                                   << QList<int>{3, 7, 9} << QList<int>{1, 2, 3};
    QTest::newRow("module without inputs in use is skipped but counted")
        << QList<int>{3, 7, 9} << QList<int>{3, 9} << QList<int>{} << QList<int>{3, 9}
        << QList<int>{1, 3};
    QTest::newRow("a module that does not answer is passed over")
        << QList<int>{3, 7, 9} << QList<int>{3, 7, 9} << QList<int>{7} << QList<int>{3, 7, 9}
        << QList<int>{1, 2, 3};
    QTest::newRow("an address outside 1..63 is counted, never written")
        << QList<int>{0, 5, 64} << QList<int>{5} << QList<int>{} << QList<int>{5} << QList<int>{2};
    QTest::newRow("no rows") << QList<int>{} << QList<int>{} << QList<int>{} << QList<int>{}
                             << QList<int>{};
}

void TestConfigSender::sendsListedModulesInOrder()
{
    QFETCH(QList<int>, listed);
    QFETCH(QList<int>, inUse);
    QFETCH(QList<int>, failing);
    QFETCH(QList<int>, written);
    QFETCH(QList<int>, steps);

    ModuleTable table;
    for (int m : inUse)
        table.input_type[8][m] = 1;
    // Types of a module that is not listed never travel.
    table.input_type[1][40] = 2;

    QList<int> told;
    QList<Write> writes;
    SendConfigurationRows(
        table, listed,
        [&](const BusTarget &target, int first, int count, const int16_t *values) {
            Write w;
            w.address = target.address;
            w.first = first;
            for (int i = 0; i < count; ++i)
                w.values.append(static_cast<uint16_t>(values[i]));
            w.step = told.isEmpty() ? -1 : told.last();
            writes.append(w);
            return !failing.contains(target.address);
        },
        [&told](int step) { told.append(step); });

    // One step per listed row, whatever became of it.
    QList<int> everyStep;
    for (int i = 1; i <= listed.size(); ++i)
        everyStep.append(i);
    QCOMPARE(told, everyStep);
    QCOMPARE(writes.size(), written.size());
    for (qsizetype i = 0; i < writes.size(); ++i) {
        QCOMPARE(writes[i].address, written[i]);
        QCOMPARE(writes[i].first, 0);
        QCOMPARE(writes[i].values, (QList<int>{0, 0, 0, 1}));
        QCOMPARE(writes[i].step, steps[i]);
    }
}

// Module 5 with Pt100, Not Used, Ni100, Ni120, Cu10, 4-20 mA, Not Used, Pt100
// goes out as 0x0100 0x0203 0x0405 0x0001 at slave address 5.
void TestConfigSender::writesTheRegisterPairsOfTheExample()
{
    ModuleTable table;
    const int types[8] = {1, 0, 2, 3, 4, 5, 0, 1};
    for (int k = 1; k <= 8; ++k)
        table.input_type[k][5] = types[k - 1];
    int address = 0;
    int count = 0;
    QList<int> values;
    SendConfigurationRows(table, {5}, [&](const BusTarget &target, int, int n, const int16_t *v) {
        address = target.address;
        count = n;
        for (int i = 0; i < n; ++i)
            values.append(static_cast<uint16_t>(v[i]));
        return true;
    });
    QCOMPARE(address, 5);
    QCOMPARE(table.bus_target.address, 5);
    QCOMPARE(count, 4);
    QCOMPARE(values, (QList<int>{0x0100, 0x0203, 0x0405, 0x0001}));
}

void TestConfigSender::runsWithoutProgress()
{
    ModuleTable table;
    table.input_type[1][2] = 1;
    int writes = 0;
    SendConfigurationRows(table, {1, 2}, [&writes](const BusTarget &, int, int, const int16_t *) {
        ++writes;
        return true;
    });
    QCOMPARE(writes, 1);
}

QTEST_APPLESS_MAIN(TestConfigSender)
#include "tst_configsender.moc"

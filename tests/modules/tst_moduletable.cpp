#include "modules/moduletable.h"

#include <QTest>

class TestModuleTable : public QObject
{
    Q_OBJECT

private slots:
    void newConfigurationHasNoActiveModule();
    void activeSet_data();
    void activeSet();
    void groupBoundaries_data();
    void groupBoundaries();
};

void TestModuleTable::newConfigurationHasNoActiveModule()
{
    ModuleTable table;
    table.group_state[1] = kMarkOn;
    table.input_type[1][3] = kPt100;
    table.NewConfiguration();
    for (int m = 1; m <= 63; ++m)
        QCOMPARE(table.module_state[m], 3);
    for (int g = 1; g <= 4; ++g)
        QCOMPARE(table.group_state[g], 2);
    QCOMPARE(table.UpdateActiveModules(), 0);
    QCOMPARE(table.module_active[3], 2);
}

// One module under test, its group expanded or not, selected or not, with a
// given input carrying a type; the other modules stay unused.
void TestModuleTable::activeSet_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<bool>("groupExpanded");
    QTest::addColumn<int>("moduleState");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("active");

    QTest::newRow("expanded, selected, Pt100 on input 1") << 5 << true << 3 << 1 << 1 << true;
    QTest::newRow("only input 8 in use (4-20 mA)") << 17 << true << 3 << 8 << 5 << true;
    QTest::newRow("collapsed group") << 5 << false << 3 << 1 << 1 << false;
    QTest::newRow("deselected") << 40 << true << 2 << 2 << 3 << false;
    QTest::newRow("all inputs Not Used") << 63 << true << 3 << 1 << 0 << false;
    QTest::newRow("last address of group 4") << 63 << true << 3 << 4 << 4 << true;
}

void TestModuleTable::activeSet()
{
    QFETCH(int, module);
    QFETCH(bool, groupExpanded);
    QFETCH(int, moduleState);
    QFETCH(int, input);
    QFETCH(int, type);
    QFETCH(bool, active);

    ModuleTable table;
    table.group_state[ModuleTable::GroupOf(module)] = groupExpanded ? 3 : 2;
    table.module_state[module] = moduleState;
    table.input_type[input][module] = type;

    QCOMPARE(table.UpdateActiveModules(), active ? 1 : 0);
    QCOMPARE(table.module_active[module], active ? 3 : 2);
    // No other module is ever made active.
    for (int m = 1; m <= 63; ++m) {
        if (m != module)
            QCOMPARE(table.module_active[m], 2);
    }
}

void TestModuleTable::groupBoundaries_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("group");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("16") << 16 << 1;
    QTest::newRow("17") << 17 << 2;
    QTest::newRow("32") << 32 << 2;
    QTest::newRow("33") << 33 << 3;
    QTest::newRow("48") << 48 << 3;
    QTest::newRow("49") << 49 << 4;
    QTest::newRow("63") << 63 << 4;
}

void TestModuleTable::groupBoundaries()
{
    QFETCH(int, module);
    QFETCH(int, group);
    // Expanding exactly that group makes the module active.
    ModuleTable table;
    table.input_type[1][module] = kPt100;
    for (int g = 1; g <= 4; ++g) {
        table.group_state[g] = g == group ? 3 : 2;
        QCOMPARE(table.UpdateActiveModules(), g == group ? 1 : 0);
        table.group_state[g] = 2;
    }
}

QTEST_APPLESS_MAIN(TestModuleTable)
#include "tst_moduletable.moc"

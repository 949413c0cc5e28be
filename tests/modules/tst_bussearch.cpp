// The bus search apart from its window: on the bus simulator through the
// program's own master (Protocol::Read on a TComPort, over a pseudo-terminal,
// in the real reply window), with a recording reader for what is asked of
// which address and when a cancel stops it, and what adding the modules found
// does to the configuration.

#include "link/protocol.h"
#include "link/tcomport.h"
#include "modules/bussearch.h"
#include "modules/moduletable.h"
#include "sim/bussimulator.h"

#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

const QString kDashes = QStringLiteral("----");

ModuleInfo Info(const char *device, const char *firmware, const char *frequency)
{
    return {QString::fromLatin1(device), QString::fromLatin1(firmware),
            QString::fromLatin1(frequency)};
}

// A bus of modules that the recording reader plays: each answers or fails
// as told, everything else is silent. Every read is recorded as
// "address:first"; cancelAfter, when set, makes cancelled() true once that
// many reads were made.
struct Recorder
{
    std::map<int, ReadResult> modules;
    QStringList reads;
    int cancelAfter = -1;

    ProbeReader Reader()
    {
        return [this](const BusTarget &target, int first, int count, uint16_t *values) {
            reads << QStringLiteral("%1:%2").arg(target.address).arg(first);
            const auto it = modules.find(target.address);
            if (it == modules.end())
                return ReadResult::Silent;
            if (it->second == ReadResult::Answered) {
                values[0] = uint16_t(first == 4 ? 202 : first == 5 ? 311 : 50);
                values[count - 1] = 0;
            }
            return it->second;
        };
    }
    BusSearchHooks Hooks()
    {
        BusSearchHooks hooks;
        hooks.cancelled = [this] { return cancelAfter >= 0 && reads.size() >= cancelAfter; };
        return hooks;
    }
};

// Module m listed on the Configuration page: its group expanded, the module
// selected, input 1 of the given type.
void List(ModuleTable &table, int m, int type)
{
    table.group_state[size_t(ModuleTable::GroupOf(m))] = kMarkOn;
    table.module_state[size_t(m)] = kMarkOn;
    table.input_type[1][size_t(m)] = type;
}

QList<int> Listed(const ModuleTable &table)
{
    QList<int> listed;
    for (int m = 1; m <= kModuleCount; ++m) {
        if (ConfigurationMarkOf(table, m) != ConfigurationMark::NotListed)
            listed << m;
    }
    return listed;
}

} // namespace

Q_DECLARE_METATYPE(ReadResult)
Q_DECLARE_METATYPE(FoundModule)

// What a failed comparison prints for a module found.
char *toString(const FoundModule &m)
{
    return QTest::toString(QStringLiteral("%1: %2 | %3 | %4")
                               .arg(m.address)
                               .arg(m.info.device_type, m.info.firmware, m.info.frequency));
}

class TestBusSearch : public QObject
{
    Q_OBJECT

private slots:
    void findsWhatAnswersOnTheSimulator();
    void silentAddressIsAskedOnce();
    void anythingHeardIsAModule_data();
    void anythingHeardIsAModule();
    void cancelKeepsWhatWasFoundAndAsksNoMore_data();
    void cancelKeepsWhatWasFoundAndAsksNoMore();
    void progressNamesEachAddressBeforeItsRead();
    void configurationMarks_data();
    void configurationMarks();
    void addListsModulesAndKeepsTypes();
    void addOpensAGroupAsALoadedFileLeavesIt();
    void addChangesNothingWhileMetering();
};

// Modules at 3, 17, 40 and 63; 40 silent by fault, 17 with a notch of
// 50 Hz, 63 whose firmware read fails on a bad CRC. The simulator's request
// log is what went over the line.
void TestBusSearch::findsWhatAnswersOnTheSimulator()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BusSimulator sim(dir.filePath(QStringLiteral("ttyBUS")));
    for (const int m : {3, 17, 40, 63})
        QVERIFY(sim.addModule(m));
    QVERIFY(sim.setFault(40, Fault::Silent));
    QVERIFY(sim.setIdentity(17, SimIdentity::Notch, 50));
    QVERIFY(sim.setRegisterFault(63, 5, Fault::BadCrc));
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));
    TComPort port;
    port.SetPort(sim.linkPath());
    port.SetBaudRate(19200);
    BusTarget target{0, &port};

    const Protocol protocol;
    const BusSearchResult result =
        SearchBus(target, [&](const BusTarget &t, int first, int count, uint16_t *values) {
            return protocol.Read(t, first, count, values);
        });

    QVERIFY(!result.cancelled);
    QCOMPARE(result.last_address, 63);
    const QList<FoundModule> expected{{3, Info("TAV RTD", "3.11", "60 Hz")},
                                      {17, Info("TAV RTD", "3.11", "50 Hz")},
                                      {63, Info("TAV RTD", "----", "60 Hz")}};
    QCOMPARE(result.modules, expected);
    QVERIFY(!port.Connected());

    // Every address was asked for its device type, two registers from 4, in
    // address order; only the three that answered were asked more. A read
    // that fails is tried once more, so 63's firmware read went out twice.
    std::map<int, QStringList> asked;
    int previous = 0;
    for (const SimRequest &r : sim.requests()) {
        QCOMPARE(r.function, 3);
        QCOMPARE(r.count, 2);
        QVERIFY(r.address >= previous);
        previous = r.address;
        asked[r.address] << QString::number(r.first);
    }
    QCOMPARE(int(asked.size()), 63);
    for (const auto &[address, firsts] : asked) {
        QStringList want{QStringLiteral("4"), QStringLiteral("4")};
        if (address == 3 || address == 17)
            want = {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("7")};
        else if (address == 63)
            want = {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("5"),
                    QStringLiteral("7")};
        QCOMPARE(firsts, want);
    }
}

void TestBusSearch::silentAddressIsAskedOnce()
{
    Recorder bus;
    bus.modules = {{3, ReadResult::Answered}, {17, ReadResult::Answered}};
    BusTarget target;
    const BusSearchResult result = SearchBus(target, bus.Reader());
    QStringList expected;
    for (int m = 1; m <= 63; ++m) {
        expected << QStringLiteral("%1:4").arg(m);
        if (m == 3 || m == 17)
            expected << QStringLiteral("%1:5").arg(m) << QStringLiteral("%1:7").arg(m);
    }
    QCOMPARE(bus.reads, expected);
    QCOMPARE(result.modules.size(), 2);
}

// A device read that heard something, even a broken reply, means a module
// (or another slave) is there: it is asked the other two questions and
// listed with "----" where its reads failed.
void TestBusSearch::anythingHeardIsAModule_data()
{
    QTest::addColumn<ReadResult>("answer");
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QList<FoundModule>>("found");

    const QStringList all{QStringLiteral("9:4"), QStringLiteral("9:5"), QStringLiteral("9:7")};
    QTest::newRow("answers") << ReadResult::Answered << all
                             << QList<FoundModule>{{9, Info("TAV RTD", "3.11", "50 Hz")}};
    QTest::newRow("fails") << ReadResult::Failed << all
                           << QList<FoundModule>{{9, Info("----", "----", "----")}};
    QTest::newRow("silent") << ReadResult::Silent << QStringList{QStringLiteral("9:4")}
                            << QList<FoundModule>{};
}

void TestBusSearch::anythingHeardIsAModule()
{
    QFETCH(ReadResult, answer);
    QFETCH(QStringList, reads);
    QFETCH(QList<FoundModule>, found);
    Recorder bus;
    bus.modules = {{9, answer}};
    BusTarget target;
    QList<FoundModule> told;
    BusSearchHooks hooks;
    hooks.found = [&](const FoundModule &m) { told << m; };
    const BusSearchResult result = SearchBus(target, bus.Reader(), hooks);
    QCOMPARE(bus.reads.filter(QRegularExpression(QStringLiteral("^9:"))), reads);
    QCOMPARE(result.modules, found);
    QCOMPARE(told, found);
}

// Modules at 3 and 17 answer. The cancel comes after the nth read: no read
// follows it, and what was found until then stays, the reads that were not
// made left empty.
void TestBusSearch::cancelKeepsWhatWasFoundAndAsksNoMore_data()
{
    QTest::addColumn<int>("cancelAfter");
    QTest::addColumn<int>("lastAddress");
    QTest::addColumn<QList<FoundModule>>("found");

    const FoundModule three{3, Info("TAV RTD", "3.11", "50 Hz")};
    QTest::newRow("before the first read") << 0 << 0 << QList<FoundModule>{};
    QTest::newRow("after the silent address 1") << 1 << 1 << QList<FoundModule>{};
    QTest::newRow("after 3's device type")
        << 3 << 3 << QList<FoundModule>{{3, Info("TAV RTD", "", "")}};
    QTest::newRow("after 3's firmware")
        << 4 << 3 << QList<FoundModule>{{3, Info("TAV RTD", "3.11", "")}};
    QTest::newRow("after 3's notch") << 5 << 3 << QList<FoundModule>{three};
    QTest::newRow("after the silent address 10") << 12 << 10 << QList<FoundModule>{three};
}

void TestBusSearch::cancelKeepsWhatWasFoundAndAsksNoMore()
{
    QFETCH(int, cancelAfter);
    QFETCH(int, lastAddress);
    QFETCH(QList<FoundModule>, found);
    Recorder bus;
    bus.modules = {{3, ReadResult::Answered}, {17, ReadResult::Answered}};
    bus.cancelAfter = cancelAfter;
    BusTarget target;
    const BusSearchResult result = SearchBus(target, bus.Reader(), bus.Hooks());
    QVERIFY(result.cancelled);
    QCOMPARE(bus.reads.size(), cancelAfter);
    QCOMPARE(result.last_address, lastAddress);
    QCOMPARE(result.modules, found);
}

void TestBusSearch::progressNamesEachAddressBeforeItsRead()
{
    Recorder bus;
    bus.modules = {{2, ReadResult::Answered}};
    BusTarget target;
    QStringList events;
    const ProbeReader read = bus.Reader();
    BusSearchHooks hooks;
    hooks.progress = [&](int address) { events << QStringLiteral("progress %1").arg(address); };
    SearchBus(
        target,
        [&](const BusTarget &t, int first, int count, uint16_t *values) {
            events << QStringLiteral("read %1:%2").arg(t.address).arg(first);
            return read(t, first, count, values);
        },
        hooks);
    const QStringList start = QStringLiteral("progress 1,read 1:4,progress 2,read 2:4,read 2:5,"
                                             "read 2:7,progress 3")
                                  .split(QLatin1Char(','));
    QCOMPARE(events.mid(0, 7), start);
    QCOMPARE(events.size(), 63 * 2 + 2);
    QCOMPARE(events.last(), QStringLiteral("read 63:4"));
}

void TestBusSearch::configurationMarks_data()
{
    QTest::addColumn<bool>("groupOpen");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("mark");

    const QString in = QStringLiteral("in configuration");
    const QString listed = QStringLiteral("listed, input types to choose");
    const QString out = QStringLiteral("not in configuration");
    QTest::newRow("listed, Pt100") << true << true << 1 << in;
    QTest::newRow("listed, 4-20 mA") << true << true << 5 << in;
    QTest::newRow("listed, not used") << true << true << 0 << listed;
    QTest::newRow("deselected, Pt100") << true << false << 1 << out;
    QTest::newRow("group collapsed, Pt100") << false << true << 1 << out;
    QTest::newRow("new configuration") << false << true << 0 << out;
}

void TestBusSearch::configurationMarks()
{
    QFETCH(bool, groupOpen);
    QFETCH(bool, selected);
    QFETCH(int, type);
    QFETCH(QString, mark);
    ModuleTable table;
    table.group_state[2] = groupOpen ? kMarkOn : kMarkOff;
    table.module_state[20] = selected ? kMarkOn : kMarkOff;
    table.input_type[8][20] = type;
    QCOMPARE(ConfigurationMarkText(ConfigurationMarkOf(table, 20)), mark);
}

// 5 is configured with Pt100 on input 1 and 6 deselected with Ni100 on input
// 1 (the group shows); 17 lies in a collapsed group with 4-20 mA on input 1.
// Adding 5, 6, 17 and 40 lists 6, 17 and 40 and keeps every type as it was.
void TestBusSearch::addListsModulesAndKeepsTypes()
{
    ModuleTable table;
    List(table, 5, 1);
    List(table, 6, 2);
    table.module_state[6] = kMarkOff;
    table.input_type[1][17] = 5;
    const auto types = table.input_type;

    const QList<int> added = AddFoundModules(table, {5, 6, 17, 40});
    QCOMPARE(added, (QList<int>{6, 17, 40}));
    QCOMPARE(table.input_type, types);
    QCOMPARE(ConfigurationMarkOf(table, 5), ConfigurationMark::Configured);
    QCOMPARE(ConfigurationMarkOf(table, 6), ConfigurationMark::Configured);
    QCOMPARE(ConfigurationMarkOf(table, 17), ConfigurationMark::Configured);
    QCOMPARE(ConfigurationMarkOf(table, 40), ConfigurationMark::ListedUnused);
    QCOMPARE(table.UpdateActiveModules(), 3); // 5, 6 and 17; 40 waits for its types
    // Added again: nothing more to list.
    QCOMPARE(AddFoundModules(table, {5, 6, 17, 40}), QList<int>{});
}

// After New Configuration every module is selected and every group closed.
// Adding 3 and 20 opens groups 1 and 2, which then list the added modules
// and 9, which has a type; the module that group 1's expanded state would
// otherwise show as rows of "Not Used" are deselected. Group 3, already open
// with 33 and 34 selected, is left as it is when 40 is added.
void TestBusSearch::addOpensAGroupAsALoadedFileLeavesIt()
{
    ModuleTable table;
    table.input_type[4][9] = 3;
    table.group_state[3] = kMarkOn;
    for (int m = 35; m <= 48; ++m)
        table.module_state[size_t(m)] = kMarkOff;

    QCOMPARE(AddFoundModules(table, {20, 3, 40}), (QList<int>{3, 20, 40}));
    QCOMPARE(Listed(table), (QList<int>{3, 9, 20, 33, 34, 40}));
    QCOMPARE(table.group_state[4], kMarkOff);
    QCOMPARE(table.module_state[50], kMarkOn); // a closed group keeps its selection
}

void TestBusSearch::addChangesNothingWhileMetering()
{
    ModuleTable table;
    table.metering_on = true;
    const ModuleTable before = table;
    QCOMPARE(AddFoundModules(table, {3, 17}), QList<int>{});
    QCOMPARE(table.group_state, before.group_state);
    QCOMPARE(table.module_state, before.module_state);
}

QTEST_APPLESS_MAIN(TestBusSearch)
#include "tst_bussearch.moc"

#include "metering/meteringcycle.h"
#include "modules/moduletable.h"

#include <QTest>

#include <map>

// Drives the metering cycle tick by tick against a table of answers, as the
// read timer would once a second, and records what each tick did.
class tst_MeteringCycle : public QObject
{
    Q_OBJECT

private slots:
    void readsActiveModulesThenIdlesForThePeriod_data();
    void readsActiveModulesThenIdlesForThePeriod();
    void gaugeShowsTheTickCountAtTheStartOfEachTick();
    void resendKeepsThePeriodGoing();
    void failedReadShowsDashesAndAsksNoResend();
    void textsGoToShowPlotAndLogInThatOrder();
    void nothingIsLoggedWithLoggingOff();
    void startBeginsAgainAtTickZeroWithTheFirstModule();
    void readAsksForRegisters16To23OfTheModule();
    void preparedPeriod_data();
    void preparedPeriod();
};

namespace {

using Raw = std::array<uint16_t, 8>;

// A bus whose modules answer with fixed registers; an address it does not
// know stays silent.
struct FakeBus
{
    std::map<int, Raw> answers;
    QList<int> reads;              // addresses in the order they were read
    QList<QPair<int, int>> ranges; // (first, count) of each read

    RegisterReader reader()
    {
        return [this](const BusTarget &target, int first, int count, uint16_t *values) {
            reads << target.address;
            ranges << qMakePair(first, count);
            const auto it = answers.find(target.address);
            if (it == answers.end())
                return false;
            std::copy(it->second.begin(), it->second.end(), values);
            return true;
        };
    }
};

// Every input of the module Pt100, reading 21.5 degrees.
void activate(ModuleTable &table, FakeBus &bus, int m)
{
    table.module_active[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        table.input_type[size_t(k)][size_t(m)] = kPt100;
    bus.answers[m].fill(215);
}

// What one tick did: the module it read (0 for an idle tick) and whether a
// resend ran during it.
struct Tick
{
    int module = -1;
    bool resend = false;
};

QList<Tick> run(MeteringCycle &cycle, int ticks, const MeteringSettings &settings, int &shown,
                bool &resent)
{
    QList<Tick> out;
    for (int i = 0; i < ticks; ++i) {
        shown = -1;
        resent = false;
        cycle.Tick(settings);
        out << Tick{shown, resent};
    }
    return out;
}

} // namespace

void tst_MeteringCycle::readsActiveModulesThenIdlesForThePeriod_data()
{
    QTest::addColumn<QList<int>>("active");
    QTest::addColumn<int>("period");
    QTest::addColumn<QList<int>>("expected"); // the module shown on each tick, 0 idle

    QTest::newRow("2, 7 and 40 with period 6")
        << QList<int>{2, 7, 40} << 6
        << QList<int>{2, 7, 40, 0, 0, 0, 0, 2, 7, 40, 0, 0, 0, 0, 2, 7};
    QList<int> oneModule(65, 0);
    oneModule[0] = 1;
    oneModule[64] = 1;
    QTest::newRow("one module with period 63 is read once in 64 ticks")
        << QList<int>{1} << 63 << oneModule;
    QTest::newRow("no active module idles") << QList<int>{} << 3 << QList<int>{0, 0, 0, 0, 0};
    QTest::newRow("63 is the last address read")
        << QList<int>{1, 63} << 4 << QList<int>{1, 63, 0, 0, 0, 1, 63};
    QTest::newRow("period 0 reads the first module on every tick")
        << QList<int>{5, 9} << 0 << QList<int>{5, 5, 5};
}

void tst_MeteringCycle::readsActiveModulesThenIdlesForThePeriod()
{
    QFETCH(QList<int>, active);
    QFETCH(int, period);
    QFETCH(QList<int>, expected);

    ModuleTable table;
    FakeBus bus;
    for (const int m : active)
        activate(table, bus, m);
    int shown = -1;
    bool resent = false;
    MeteringCycle cycle(table, bus.reader(),
                        {.showReadings = [&](int m, const ReadingTexts &) { shown = m; },
                         .resend = [&] { resent = true; }});
    cycle.Start();

    QList<int> got;
    for (const Tick &tick : run(cycle, int(expected.size()), {.period = period}, shown, resent)) {
        got << tick.module;
        QVERIFY(!tick.resend);
    }
    QCOMPARE(got, expected);
    // Only the ticks that showed a module went to the bus.
    QList<int> readsExpected = expected;
    readsExpected.removeAll(0);
    QCOMPARE(bus.reads, readsExpected);
}

void tst_MeteringCycle::gaugeShowsTheTickCountAtTheStartOfEachTick()
{
    ModuleTable table;
    FakeBus bus;
    activate(table, bus, 3);
    QList<int> progress;
    MeteringCycle cycle(table, bus.reader(), {.showProgress = [&](int t) { progress << t; }});
    cycle.Start();
    for (int i = 0; i < 9; ++i)
        cycle.Tick({.period = 3});
    QCOMPARE(progress, (QList<int>{0, 1, 2, 3, 0, 1, 2, 3, 0}));
}

void tst_MeteringCycle::resendKeepsThePeriodGoing()
{
    ModuleTable table;
    FakeBus bus;
    for (const int m : {2, 7, 40})
        activate(table, bus, m);
    // Module 7 has lost its configuration: every input reads 20000.
    bus.answers[7].fill(20000);

    int shown = -1;
    bool resent = false;
    QList<int> progress;
    MeteringCycle cycle(table, bus.reader(),
                        {.showProgress = [&](int t) { progress << t; },
                         .showReadings = [&](int m, const ReadingTexts &) { shown = m; },
                         .resend = [&] { resent = true; }});
    cycle.Start();
    const QList<Tick> ticks = run(cycle, 8, {.period = 6}, shown, resent);

    QCOMPARE(ticks.at(1).module, 7);
    QVERIFY(ticks.at(1).resend);
    QVERIFY(!ticks.at(0).resend);
    QVERIFY(!ticks.at(2).resend);
    // The period went on where it was: 40 on the next tick, the first module
    // again on the eighth.
    QCOMPARE(ticks.at(2).module, 40);
    QCOMPARE(ticks.at(7).module, 2);
    QCOMPARE(progress, (QList<int>{0, 1, 2, 3, 4, 5, 6, 0}));
}

void tst_MeteringCycle::failedReadShowsDashesAndAsksNoResend()
{
    ModuleTable table;
    FakeBus bus;
    activate(table, bus, 4);
    activate(table, bus, 6);
    bus.answers.erase(4); // module 4 does not answer

    QList<QPair<int, ReadingTexts>> shown;
    bool resent = false;
    MeteringCycle cycle(
        table, bus.reader(),
        {.showReadings = [&](int m, const ReadingTexts &t) { shown << qMakePair(m, t); },
         .resend = [&] { resent = true; }});
    cycle.Start();
    cycle.Tick({.period = 10});
    cycle.Tick({.period = 10});

    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0).first, 4);
    for (const QString &text : shown.at(0).second)
        QCOMPARE(text, QStringLiteral("----"));
    QCOMPARE(shown.at(1).first, 6);
    QCOMPARE(shown.at(1).second.at(0), QStringLiteral("21.5"));
    QVERIFY(!resent);
    QCOMPARE(bus.reads, (QList<int>{4, 6}));
}

void tst_MeteringCycle::textsGoToShowPlotAndLogInThatOrder()
{
    ModuleTable table;
    FakeBus bus;
    activate(table, bus, 12);
    table.input_type[2][12] = kNotUsed;
    bus.answers[12][2] = 21000; // input 3 open

    QStringList calls;
    QList<ReadingTexts> texts;
    const auto record = [&](const char *what) {
        return [&, what](int m, const ReadingTexts &t) {
            calls << QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(m);
            texts << t;
        };
    };
    MeteringCycle cycle(table, bus.reader(),
                        {.showReadings = record("show"),
                         .plotReadings = record("plot"),
                         .logReadings = record("log")});
    cycle.Start();
    cycle.Tick({.period = 10, .unit = QStringLiteral("Celsius"), .datalog = true});

    QCOMPARE(calls, (QStringList{QStringLiteral("show 12"), QStringLiteral("plot 12"),
                                 QStringLiteral("log 12")}));
    const ReadingTexts expected{QStringLiteral("21.5"), QStringLiteral("----"),
                                QStringLiteral("Op"),   QStringLiteral("21.5"),
                                QStringLiteral("21.5"), QStringLiteral("21.5"),
                                QStringLiteral("21.5"), QStringLiteral("21.5")};
    for (const ReadingTexts &t : texts)
        QCOMPARE(t, expected);
}

void tst_MeteringCycle::nothingIsLoggedWithLoggingOff()
{
    ModuleTable table;
    FakeBus bus;
    activate(table, bus, 1);
    int logged = 0;
    int plotted = 0;
    MeteringCycle cycle(table, bus.reader(),
                        {.plotReadings = [&](int, const ReadingTexts &) { ++plotted; },
                         .logReadings = [&](int, const ReadingTexts &) { ++logged; }});
    cycle.Start();
    cycle.Tick({.period = 2, .datalog = false});
    QCOMPARE(plotted, 1);
    QCOMPARE(logged, 0);
}

void tst_MeteringCycle::startBeginsAgainAtTickZeroWithTheFirstModule()
{
    ModuleTable table;
    FakeBus bus;
    for (const int m : {2, 7, 40})
        activate(table, bus, m);
    QList<int> progress;
    MeteringCycle cycle(table, bus.reader(), {.showProgress = [&](int t) { progress << t; }});
    cycle.Start();
    cycle.Tick({.period = 6});
    cycle.Tick({.period = 6});
    cycle.Start();
    bus.reads.clear();
    progress.clear();
    cycle.Tick({.period = 6});
    QCOMPARE(bus.reads, QList<int>{2});
    QCOMPARE(progress, QList<int>{0});
    QCOMPARE(cycle.tick_count, 1);
    QCOMPARE(cycle.read_cursor, 2);
}

void tst_MeteringCycle::readAsksForRegisters16To23OfTheModule()
{
    ModuleTable table;
    FakeBus bus;
    activate(table, bus, 33);
    MeteringCycle cycle(table, bus.reader());
    cycle.Start();
    cycle.Tick({});
    QCOMPARE(bus.ranges, (QList<QPair<int, int>>{{16, 8}}));
    QCOMPARE(table.bus_target.address, 33);
}

void tst_MeteringCycle::preparedPeriod_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("active");
    QTest::addColumn<int>("expected");
    QTest::newRow("40 modules raise 63 to 80") << 63 << 40 << 80;
    QTest::newRow("40 modules leave 100") << 100 << 40 << 100;
    QTest::newRow("exactly twice stays") << 80 << 40 << 80;
    QTest::newRow("no module leaves the period") << 63 << 0 << 63;
    QTest::newRow("five modules raise 4 to 10") << 4 << 5 << 10;
}

void tst_MeteringCycle::preparedPeriod()
{
    QFETCH(int, period);
    QFETCH(int, active);
    QFETCH(int, expected);
    QCOMPARE(MeteringCycle::PreparedPeriod(period, active), expected);
}

QTEST_APPLESS_MAIN(tst_MeteringCycle)
#include "tst_meteringcycle.moc"

#include "debug/vrxpoller.h"

#include <QLocale>
#include <QTest>

#include <map>

// Drives the debug page's polling logic tick by tick against a table of
// relay-module answers, as VRX_Read_Timer would every 1200 ms.
class tst_VrxPoller : public QObject
{
    Q_OBJECT

private slots:
    // The texts below are written with the C locale's decimal point.
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void readingText_data();
    void readingTextUsesTheLocalesDecimalSeparator();
    void readingText();
    void modulesTwoAndThreeFillRowsOneAndTwo();
    void rowsArePolledInTurnWithTheirTypes();
    void failedPollShowsDashesAndTakesTheFreshMark();
    void enableWithNothingToPollStartsNothing_data();
    void enableWithNothingToPollStartsNothing();
    void unitChangeShowsFromTheNextPoll();
    void disableKeepsTheRowsAndStopsTheTicks();
    void copiesTouchOnlyListedModules_data();
    void copiesTouchOnlyListedModules();
    void everyChangeIsRefusedWhilePolling();
};

namespace {

using Readings = std::array<int, 8>;

// Relay modules that answer with fixed reading bytes; a module it does not
// know stays silent. It records what each poll sent.
struct FakeRelays
{
    std::map<int, Readings> answers;
    QList<int> polled;
    QList<VrxTypes> sent;

    VrxPollFunction poll()
    {
        return [this](int module, const VrxTypes &types, VrxResult &result) {
            polled << module;
            sent << types;
            const auto it = answers.find(module);
            if (it == answers.end())
                return false;
            result.module = module;
            result.readings = it->second;
            return true;
        };
    }
};

// What the hooks were told, in order: "tx", "rx", "row N".
struct Told
{
    QStringList events;

    VrxPollHooks hooks()
    {
        return {.txOn = [this] { events << QStringLiteral("tx"); },
                .rxOn = [this] { events << QStringLiteral("rx"); },
                .showRow = [this](int row) { events << QStringLiteral("row %1").arg(row); }};
    }
};

void configure(VrxPoller &poller, int m, const VrxTypes &types)
{
    poller.vrx_module_state[size_t(m)] = 3;
    for (int k = 1; k <= 8; ++k)
        poller.vrx_input_type[size_t(k)][size_t(m)] = types[size_t(k - 1)];
}

QStringList texts(const VrxPollRow &row)
{
    return QStringList(row.texts.begin(), row.texts.end());
}

int freshRow(const VrxPoller &poller)
{
    int fresh = 0;
    for (int row = 1; row <= poller.Rows().size(); ++row) {
        if (poller.Rows()[row - 1].fresh) {
            if (fresh != 0)
                return -1; // two fresh rows
            fresh = row;
        }
    }
    return fresh;
}

// Texts written out, separated by blanks.
QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

const VrxTypes kAllPt100 = {1, 1, 1, 1, 1, 1, 1, 1};
const QStringList kDashes(8, QStringLiteral("----"));

} // namespace

void tst_VrxPoller::readingText_data()
{
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("expected");

    const QString c = QStringLiteral("Celsius");
    const QString f = QStringLiteral("Fahrenheit");
    QTest::newRow("255 shorted") << 255 << 1 << c << QStringLiteral("SH");
    QTest::newRow("1 open") << 1 << 1 << c << QStringLiteral("OP");
    QTest::newRow("255 shorted on 4-20 mA") << 255 << 5 << c << QStringLiteral("SH");
    QTest::newRow("1 open on 4-20 mA") << 1 << 5 << f << QStringLiteral("OP");
    QTest::newRow("75 Pt100 Celsius") << 75 << 1 << c << QStringLiteral("25.0");
    QTest::newRow("75 Pt100 Fahrenheit") << 75 << 1 << f << QStringLiteral("77.0");
    QTest::newRow("120 on 4-20 mA") << 120 << 5 << c << QStringLiteral("12.0");
    QTest::newRow("120 on 4-20 mA in Fahrenheit stays mA")
        << 120 << 5 << f << QStringLiteral("12.0");
    QTest::newRow("4 mA") << 40 << 5 << c << QStringLiteral("4.0");
    QTest::newRow("50 is zero degrees") << 50 << 4 << c << QStringLiteral("0.0");
    QTest::newRow("50 is 32 F") << 50 << 2 << f << QStringLiteral("32.0");
    QTest::newRow("0 is -50 C") << 0 << 3 << c << QStringLiteral("-50.0");
    QTest::newRow("0 is -58 F") << 0 << 3 << f << QStringLiteral("-58.0");
    QTest::newRow("51 is 33.8 F") << 51 << 1 << f << QStringLiteral("33.8");
    QTest::newRow("254 is 204 C") << 254 << 1 << c << QStringLiteral("204.0");
    QTest::newRow("254 is 399.2 F") << 254 << 1 << f << QStringLiteral("399.2");
    QTest::newRow("other unit keeps the cell")
        << 75 << 1 << QStringLiteral("Kelvin") << QStringLiteral("previous");
    QTest::newRow("empty unit keeps the cell")
        << 75 << 1 << QString() << QStringLiteral("previous");
    QTest::newRow("unit is case-sensitive")
        << 75 << 1 << QStringLiteral("celsius") << QStringLiteral("previous");
    QTest::newRow("other unit still shows SH") << 255 << 1 << QString() << QStringLiteral("SH");
    QTest::newRow("other unit still shows mA") << 120 << 5 << QString() << QStringLiteral("12.0");
}

void tst_VrxPoller::readingText()
{
    QFETCH(int, v);
    QFETCH(int, type);
    QFETCH(QString, unit);
    QFETCH(QString, expected);
    QCOMPARE(VrxPoller::ReadingText(v, type, unit, QStringLiteral("previous")), expected);
}

void tst_VrxPoller::readingTextUsesTheLocalesDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString fahrenheit = VrxPoller::ReadingText(75, 1, QStringLiteral("Fahrenheit"), {});
    const QString milliamperes = VrxPoller::ReadingText(125, 5, QStringLiteral("Celsius"), {});
    QLocale::setDefault(QLocale::c());
    QCOMPARE(fahrenheit, QStringLiteral("77,0"));
    QCOMPARE(milliamperes, QStringLiteral("12,5"));
}

void tst_VrxPoller::modulesTwoAndThreeFillRowsOneAndTwo()
{
    FakeRelays relays;
    relays.answers[2] = {75, 75, 75, 75, 75, 75, 75, 75};
    relays.answers[3] = {255, 1, 75, 120, 76, 0, 50, 200};
    VrxPoller poller(relays.poll());
    poller.unit_name = QStringLiteral("Celsius");
    configure(poller, 2, kAllPt100);
    configure(poller, 3, {1, 1, 1, 5, 2, 3, 4, 5});

    QVERIFY(poller.Enable());
    QCOMPARE(poller.Rows().size(), 2);
    QCOMPARE(poller.Rows()[0].module, 2);
    QCOMPARE(poller.Rows()[1].module, 3);
    QCOMPARE(texts(poller.Rows()[1]), QStringList(8, QString()));

    poller.Poll_Next_Module();
    poller.Poll_Next_Module();
    QCOMPARE(relays.polled, (QList<int>{2, 3}));
    QCOMPARE(texts(poller.Rows()[0]), QStringList(8, QStringLiteral("25.0")));
    QCOMPARE(texts(poller.Rows()[1]), words("SH OP 25.0 12.0 26.0 -50.0 0.0 20.0"));
    QCOMPARE(freshRow(poller), 2);
}

void tst_VrxPoller::rowsArePolledInTurnWithTheirTypes()
{
    FakeRelays relays;
    Told told;
    VrxPoller poller(relays.poll(), told.hooks());
    const VrxTypes types1 = {1, 2, 3, 4, 5, 0, 1, 1};
    const VrxTypes types3 = {5, 5, 0, 0, 0, 0, 0, 0};
    configure(poller, 1, types1);
    configure(poller, 2, {}); // selected, nothing in use: not polled
    configure(poller, 3, types3);
    for (const int m : {1, 3})
        relays.answers[m] = {80, 80, 80, 80, 80, 80, 80, 80};

    QVERIFY(poller.Enable());
    for (int tick = 0; tick < 5; ++tick)
        poller.Poll_Next_Module();
    QCOMPARE(relays.polled, (QList<int>{1, 3, 1, 3, 1}));
    QCOMPARE(relays.sent, (QList<VrxTypes>{types1, types3, types1, types3, types1}));
    QCOMPARE(poller.next_row, 2);
    // Each tick: the Tx lamp, then the Rx lamp, the old fresh row and the new.
    QCOMPARE(told.events.mid(0, 7),
             (QStringList{QStringLiteral("tx"), QStringLiteral("rx"), QStringLiteral("row 1"),
                          QStringLiteral("tx"), QStringLiteral("row 1"), QStringLiteral("rx"),
                          QStringLiteral("row 2")}));
}

void tst_VrxPoller::failedPollShowsDashesAndTakesTheFreshMark()
{
    FakeRelays relays;
    Told told;
    VrxPoller poller(relays.poll(), told.hooks());
    poller.unit_name = QStringLiteral("Celsius");
    configure(poller, 1, kAllPt100);
    configure(poller, 2, kAllPt100);
    relays.answers[1] = {70, 70, 70, 70, 70, 70, 70, 70};
    QVERIFY(poller.Enable());
    poller.Poll_Next_Module();
    QCOMPARE(freshRow(poller), 1);

    told.events.clear();
    poller.Poll_Next_Module(); // module 2 is silent
    QCOMPARE(texts(poller.Rows()[1]), kDashes);
    QCOMPARE(freshRow(poller), 2);
    // No Rx flash for a failed poll.
    QCOMPARE(told.events,
             (QStringList{QStringLiteral("tx"), QStringLiteral("row 1"), QStringLiteral("row 2")}));
    // Row 1 keeps its readings.
    QCOMPARE(texts(poller.Rows()[0]), QStringList(8, QStringLiteral("20.0")));

    // The module comes back: its readings replace the dashes.
    relays.answers[2] = {71, 71, 71, 71, 71, 71, 71, 71};
    poller.Poll_Next_Module();
    poller.Poll_Next_Module();
    QCOMPARE(texts(poller.Rows()[1]), QStringList(8, QStringLiteral("21.0")));
    QCOMPARE(freshRow(poller), 2);
}

void tst_VrxPoller::enableWithNothingToPollStartsNothing_data()
{
    QTest::addColumn<QList<int>>("states"); // modules 1..3
    QTest::addColumn<QList<int>>("inUse");  // modules with an input in use
    QTest::newRow("nothing selected, all configured") << QList<int>{2, 2, 0} << QList<int>{1, 2, 3};
    QTest::newRow("all selected, nothing configured") << QList<int>{3, 3, 3} << QList<int>{};
    QTest::newRow("configured one not selected") << QList<int>{3, 2, 3} << QList<int>{2};
}

void tst_VrxPoller::enableWithNothingToPollStartsNothing()
{
    QFETCH(QList<int>, states);
    QFETCH(QList<int>, inUse);
    FakeRelays relays;
    Told told;
    VrxPoller poller(relays.poll(), told.hooks());
    for (int m = 1; m <= 3; ++m) {
        poller.vrx_module_state[size_t(m)] = states[m - 1];
        if (inUse.contains(m))
            poller.vrx_input_type[4][size_t(m)] = 1;
    }
    // A view left from an earlier run is emptied all the same.
    configure(poller, 1, kAllPt100);
    QVERIFY(poller.Enable());
    poller.Disable();
    poller.vrx_module_state[1] = states[0];
    poller.vrx_input_type = {};
    for (const int m : inUse)
        poller.vrx_input_type[4][size_t(m)] = 1;

    told.events.clear();
    QVERIFY(!poller.Enable());
    QVERIFY(!poller.polling);
    QVERIFY(poller.Rows().isEmpty());
    poller.Poll_Next_Module();
    QVERIFY(relays.polled.isEmpty());
    QVERIFY(told.events.isEmpty());
}

void tst_VrxPoller::unitChangeShowsFromTheNextPoll()
{
    FakeRelays relays;
    relays.answers[1] = {75, 120, 255, 1, 75, 75, 75, 75};
    VrxPoller poller(relays.poll());
    configure(poller, 1, {1, 5, 1, 1, 2, 3, 4, 1});
    poller.unit_name = QStringLiteral("Celsius");
    QVERIFY(poller.Enable());
    poller.Poll_Next_Module();
    QCOMPARE(texts(poller.Rows()[0]), words("25.0 12.0 SH OP 25.0 25.0 25.0 25.0"));

    poller.unit_name = QStringLiteral("Fahrenheit");
    QCOMPARE(poller.Rows()[0].texts[0], QStringLiteral("25.0"));
    poller.Poll_Next_Module();
    QCOMPARE(texts(poller.Rows()[0]), words("77.0 12.0 SH OP 77.0 77.0 77.0 77.0"));

    // An unknown unit leaves every temperature cell as it was, even one that
    // showed SH or OP; the loop current and the new SH and OP are written.
    poller.unit_name = QString();
    relays.answers[1] = {80, 130, 80, 80, 1, 255, 80, 80};
    poller.Poll_Next_Module();
    QCOMPARE(texts(poller.Rows()[0]), words("77.0 13.0 SH OP OP SH 77.0 77.0"));
}

void tst_VrxPoller::disableKeepsTheRowsAndStopsTheTicks()
{
    FakeRelays relays;
    relays.answers[3] = {75, 75, 75, 75, 75, 75, 75, 75};
    VrxPoller poller(relays.poll());
    poller.unit_name = QStringLiteral("Celsius");
    configure(poller, 3, kAllPt100);
    QVERIFY(poller.Enable());
    poller.Poll_Next_Module();
    poller.Disable();
    QVERIFY(!poller.polling);
    poller.Poll_Next_Module();
    QCOMPARE(relays.polled, QList<int>{3});
    QCOMPARE(texts(poller.Rows()[0]), QStringList(8, QStringLiteral("25.0")));

    // Enable rebuilds the view from the configuration as it is now.
    QVERIFY(poller.SetInputType(1, 1, 5));
    QVERIFY(poller.SetModuleState(1, 3));
    QVERIFY(poller.Enable());
    QCOMPARE(poller.Rows().size(), 2);
    QCOMPARE(poller.Rows()[0].module, 1);
    QCOMPARE(texts(poller.Rows()[1]), QStringList(8, QString()));
    QCOMPARE(poller.next_row, 1);
}

void tst_VrxPoller::copiesTouchOnlyListedModules_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QList<VrxTypes>>("expected"); // modules 1..3 after it

    // Module 1 listed with types 1..8 = 1, 2, 3, 4, 5, 0, 1, 2; module 2
    // deselected, all Cu10; module 3 listed, all Not Used. The chosen cell
    // is input 3 of module 1 (Ni120).
    const VrxTypes one = {1, 2, 3, 4, 5, 0, 1, 2};
    const VrxTypes cu10 = {4, 4, 4, 4, 4, 4, 4, 4};
    const VrxTypes ni120 = {3, 3, 3, 3, 3, 3, 3, 3};
    QTest::newRow("row") << QStringLiteral("row") << QList<VrxTypes>{ni120, cu10, VrxTypes{}};
    QTest::newRow("column") << QStringLiteral("column")
                            << QList<VrxTypes>{one, cu10, VrxTypes{0, 0, 3, 0, 0, 0, 0, 0}};
    QTest::newRow("all") << QStringLiteral("all") << QList<VrxTypes>{ni120, cu10, ni120};
    QTest::newRow("clear") << QStringLiteral("clear")
                           << QList<VrxTypes>{VrxTypes{}, cu10, VrxTypes{}};
}

void tst_VrxPoller::copiesTouchOnlyListedModules()
{
    QFETCH(QString, operation);
    QFETCH(QList<VrxTypes>, expected);
    VrxPoller poller;
    configure(poller, 1, {1, 2, 3, 4, 5, 0, 1, 2});
    configure(poller, 2, {4, 4, 4, 4, 4, 4, 4, 4});
    poller.vrx_module_state[2] = 2;
    configure(poller, 3, {});
    QCOMPARE(poller.ListedModules(), (QList<int>{1, 3}));

    bool done = false;
    if (operation == QLatin1String("row"))
        done = poller.CopyToRow(1, 3);
    else if (operation == QLatin1String("column"))
        done = poller.CopyToColumn(1, 3);
    else if (operation == QLatin1String("all"))
        done = poller.CopyToAll(1, 3);
    else
        done = poller.ClearAll();
    QVERIFY(done);
    for (int m = 1; m <= 3; ++m)
        QCOMPARE(poller.Types(m), expected[m - 1]);
}

void tst_VrxPoller::everyChangeIsRefusedWhilePolling()
{
    VrxPoller poller;
    configure(poller, 1, {1, 2, 3, 4, 5, 0, 1, 2});
    configure(poller, 2, {});
    QVERIFY(poller.Enable());
    const auto states = poller.vrx_module_state;
    const auto types = poller.vrx_input_type;

    QVERIFY(!poller.SetModuleState(2, 2));
    QVERIFY(!poller.SetModuleState(3, 3));
    QVERIFY(!poller.SetInputType(1, 1, 5));
    QVERIFY(!poller.CopyToRow(1, 3));
    QVERIFY(!poller.CopyToColumn(1, 3));
    QVERIFY(!poller.CopyToAll(1, 3));
    QVERIFY(!poller.ClearAll());
    QCOMPARE(poller.vrx_module_state, states);
    QCOMPARE(poller.vrx_input_type, types);

    poller.Disable();
    QVERIFY(poller.SetInputType(1, 1, 5));
    QVERIFY(!poller.SetInputType(1, 1, 6)); // no such type
    QVERIFY(!poller.SetInputType(4, 1, 1)); // no such module
    QVERIFY(!poller.CopyToRow(1, 9));       // no such input
}

QTEST_APPLESS_MAIN(tst_VrxPoller)
#include "tst_vrxpoller.moc"

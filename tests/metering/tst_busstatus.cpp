#include "metering/busstatus.h"
#include "metering/busstatuswindow.h"
#include "metering/tmetering_f.h"
#include "widgets/stateimages.h"
#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QDateTime>
#include <QHelpEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The status of each module as the exchange log tells it, and where the user
// sees it: the Metering page's tree and row headers and the Bus Status
// window. The records are made here as the bus layer makes them: one per
// attempt, ends_call on the attempt whose outcome is the call's result.

namespace {

// A step of a sequence: a record appended to the log, or (period set) the
// start of a new metering period.
struct Step
{
    ExchangeRecord record;
    bool period = false;
};

// 14:30:05 local time on a fixed day, plus seconds, in µs since the epoch.
int64_t At(int seconds)
{
    const QDateTime t(QDate(2026, 12, 11), QTime(14, 30, 5));
    return (t.toMSecsSinceEpoch() + seconds * 1000LL) * 1000;
}

// One attempt of a read of module 9 (registers 16..23, function 3).
Step Read(ExchangeOutcome outcome, int attempt, bool ends, int seconds = 0,
          int32_t duration_us = 60000, int address = 9)
{
    Step step;
    ExchangeRecord &r = step.record;
    r.outcome = outcome;
    r.attempt = uint8_t(attempt);
    r.ends_call = ends;
    r.time_us = At(seconds);
    r.duration_us = duration_us;
    r.address = uint8_t(address);
    r.function = 3;
    r.first_register = 16;
    r.count = 8;
    if (outcome == ExchangeOutcome::Exception)
        r.exception_code = 2;
    return step;
}

Step Write(int first, int count, ExchangeOutcome outcome, int address)
{
    Step step;
    ExchangeRecord &r = step.record;
    r.outcome = outcome;
    r.address = uint8_t(address);
    r.function = 16;
    r.first_register = uint16_t(first);
    r.count = uint16_t(count);
    r.time_us = At(0);
    r.duration_us = 30000;
    return step;
}

Step PeriodStarts()
{
    Step step;
    step.period = true;
    return step;
}

void Feed(ExchangeLog &log, BusStatus &status, const QList<Step> &steps)
{
    for (const Step &step : steps) {
        if (step.period)
            status.PeriodStarted();
        else
            log.Append(step.record);
    }
}

std::array<int, kModuleCount + 1> Active(std::initializer_list<int> modules)
{
    std::array<int, kModuleCount + 1> active{};
    active.fill(kMarkOff);
    for (const int m : modules)
        active[size_t(m)] = kMarkOn;
    return active;
}

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Picture(int index)
{
    return Picture(StateIcon(index));
}

// The tree node of module m on the page.
QTreeWidgetItem *Node(const TMetering_F &page, int m)
{
    for (int i = 0; i < page.metering_T->topLevelItemCount(); ++i) {
        QTreeWidgetItem *node = page.metering_T->topLevelItem(i);
        if (node->text(0) == QStringLiteral("Module %1").arg(m))
            return node;
    }
    return nullptr;
}

// Module m of group 1 configured with one Pt100 input.
void Configure(ModuleTable &table, int m)
{
    table.group_state[size_t(ModuleTable::GroupOf(m))] = kMarkOn;
    table.module_state[size_t(m)] = kMarkOn;
    table.input_type[1][size_t(m)] = kPt100;
}

QString AccessibleCell(QTableWidget *table, int row, int col)
{
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(table);
    if (!view || !view->tableInterface())
        return QStringLiteral("<no table interface>");
    QAccessibleInterface *cell = view->tableInterface()->cellAt(row, col);
    return cell ? cell->text(QAccessible::Name) : QStringLiteral("<no cell>");
}

QString ColumnHeader(QTableWidget *table, int col)
{
    return table->horizontalHeaderItem(col)->text();
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestBusStatus : public QObject
{
    Q_OBJECT

private slots:
    void readSequences_data();
    void readSequences();
    void metersAgainFromNothingAtTheStart();
    void sendAndNotchOutcomesPerModule();
    void rowHeaderShowsItsTooltip();
    void notAnsweringPictureStandsApart();
    void windowListsTheConfiguredModules();
    void windowRefreshesOnlyWhileShown();
    void escapeClosesTheWindow();
};

// Each sequence is module 9's records; the page lists modules 9 and 10, and
// module 10 never changes.
void TestBusStatus::readSequences_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<int>("answered");
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("lastOutcome");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("crossed"); // the tree shows the not-answering picture
    QTest::addColumn<QString>("hint");

    using O = ExchangeOutcome;
    QTest::newRow("answered")
        << QList<Step>{Read(O::Answered, 1, true, 0, 23400)} << 1 << 0 << "answered"
        << "answering" << false
        << "Module 9: answering, 1 of 1 reads answered, last round trip 23 ms";
    QTest::newRow("no answer twice")
        << QList<Step>{Read(O::NoAnswer, 1, false, 0), Read(O::NoAnswer, 2, true, 0)} << 0 << 1
        << "no answer"
        << "last read failed" << false
        << "Module 9: no answer since 14:30:05, 0 of 1 reads answered";
    QTest::newRow("CRC error, then answered on the retry")
        << QList<Step>{Read(O::CrcError, 1, false, 0, 61000), Read(O::Answered, 2, true, 0, 12600)}
        << 1 << 0 << "answered"
        << "answering" << false
        << "Module 9: answering, 1 of 1 reads answered, last round trip 13 ms";
    QTest::newRow("exception") << QList<Step>{Read(O::Exception, 1, true, 0)} << 0 << 1
                               << "exception 2 (illegal data address)"
                               << "last read failed" << false
                               << "Module 9: no answer since 14:30:05 (last: exception 2 (illegal "
                                  "data address)), 0 of 1 reads answered";
    QTest::newRow("guard held") << QList<Step>{Read(O::GuardHeld, 1, true, 0)} << 0 << 1
                                << "bus guard held by another program"
                                << "last read failed" << false
                                << "Module 9: no answer since 14:30:05 (last: bus guard held by "
                                   "another program), 0 of 1 reads answered";
    // The time is that of the first read that failed, not of the last.
    QTest::newRow("silent for a whole period")
        << QList<Step>{Read(O::Answered, 1, true, -64),
                       PeriodStarts(),
                       Read(O::NoAnswer, 1, false, 0),
                       Read(O::NoAnswer, 2, true, 0),
                       PeriodStarts(),
                       Read(O::NoAnswer, 1, false, 64),
                       Read(O::NoAnswer, 2, true, 64)}
        << 1 << 2 << "no answer"
        << "not answering" << true
        << "Module 9: not answering for a whole period, no answer since 14:30:05, 1 of 3 reads "
           "answered";
    QTest::newRow("answers again after a silent period")
        << QList<Step>{Read(O::NoAnswer, 2, true, 0), PeriodStarts(),
                       Read(O::Answered, 1, true, 64, 20000)}
        << 1 << 1 << "answered"
        << "answering" << false
        << "Module 9: answering, 1 of 2 reads answered, last round trip 20 ms";
    QTest::newRow("a period with one answer among failures is no silent period")
        << QList<Step>{Read(O::NoAnswer, 2, true, 0), Read(O::Answered, 1, true, 1, 20000),
                       Read(O::CrcError, 2, true, 2), PeriodStarts()}
        << 1 << 2 << "CRC error"
        << "last read failed" << false
        << "Module 9: no answer since 14:30:07 (last: CRC error), 1 of 3 reads answered";
    QTest::newRow("a period without a read of it marks nothing")
        << QList<Step>{PeriodStarts(), PeriodStarts()} << 0 << 0 << ""
        << "not read yet" << false << "";
    QTest::newRow("another module's failures leave it alone")
        << QList<Step>{Read(O::Answered, 1, true, 0, 23400),
                       Read(O::NoAnswer, 2, true, 1, 60000, 10), PeriodStarts()}
        << 1 << 0 << "answered"
        << "answering" << false
        << "Module 9: answering, 1 of 1 reads answered, last round trip 23 ms";
}

void TestBusStatus::readSequences()
{
    QFETCH(QList<Step>, steps);
    QFETCH(int, answered);
    QFETCH(int, failed);
    QFETCH(QString, lastOutcome);
    QFETCH(QString, state);
    QFETCH(bool, crossed);
    QFETCH(QString, hint);

    ExchangeLog log;
    BusStatus status(log);
    TMetering_F page;
    page.Fill_Metering_Page(Active({9, 10}));
    Feed(log, status, steps);
    page.Show_Bus_Status(status);

    const ModuleBusStatus &module = status.Module(9);
    QCOMPARE(module.reads_answered, answered);
    QCOMPARE(module.reads_failed, failed);
    QCOMPARE(status.Outcome(module.last_read), lastOutcome);
    QCOMPARE(BusStatus::StateText(module.state), state);
    QCOMPARE(status.ModuleHint(9), hint);

    QTreeWidgetItem *node = Node(page, 9);
    QVERIFY(node);
    QCOMPARE(node->toolTip(0), hint);
    QCOMPARE(page.RowHeaderHint(1), hint);
    QCOMPARE(Picture(node->icon(0)), Picture(crossed ? kStateNotAnswering : kMarkOn));
}

// Counts, state and tooltips start again with metering; the outcomes of the
// last writes and the last failure are still the last ones.
void TestBusStatus::metersAgainFromNothingAtTheStart()
{
    using O = ExchangeOutcome;
    ExchangeLog log;
    BusStatus status(log);
    TMetering_F page;
    page.Fill_Metering_Page(Active({9}));
    Feed(log, status, {Write(0, 4, O::Answered, 9), Read(O::NoAnswer, 2, true, 0), PeriodStarts()});
    page.Show_Bus_Status(status);
    QCOMPARE(Picture(Node(page, 9)->icon(0)), Picture(kStateNotAnswering));

    status.Reset();
    page.Show_Bus_Status(status);
    const ModuleBusStatus &module = status.Module(9);
    QCOMPARE(module.reads_answered + module.reads_failed, 0);
    QCOMPARE(BusStatus::StateText(module.state), QStringLiteral("not read yet"));
    QCOMPARE(status.ModuleHint(9), QString());
    QCOMPARE(Node(page, 9)->toolTip(0), QString());
    QCOMPARE(Picture(Node(page, 9)->icon(0)), Picture(kMarkOn));
    QCOMPARE(status.Outcome(module.last_send), QStringLiteral("answered"));
    QCOMPARE(status.Outcome(module.last_failure), QStringLiteral("no answer"));

    // A period that was running at the start does not carry its failure over.
    status.PeriodStarted();
    QCOMPARE(BusStatus::StateText(module.state), QStringLiteral("not read yet"));
    Feed(log, status, {Read(O::Answered, 1, true, 70)});
    QCOMPARE(status.ModuleHint(9), QStringLiteral("Module 9: answering, 1 of 1 reads answered, "
                                                  "last round trip 60 ms"));
}

// The configuration send writes four registers from 0, the notch command two
// from 46252; a module that did not take one says so, and a read in between
// changes neither.
void TestBusStatus::sendAndNotchOutcomesPerModule()
{
    using O = ExchangeOutcome;
    ExchangeLog log;
    BusStatus status(log);
    Feed(log, status,
         {Write(0, 4, O::Answered, 3), Write(0, 4, O::NoAnswer, 4), Write(46252, 2, O::Answered, 4),
          Write(46252, 2, O::CrcError, 3), Read(O::Answered, 1, true, 0, 20000, 3),
          Write(100, 1, O::NoAnswer, 3)});
    // An attempt that did not end its call is not the command's outcome.
    Step retried = Write(0, 4, O::NoAnswer, 5);
    retried.record.ends_call = false;
    Feed(log, status, {retried, Write(0, 4, O::Answered, 5)});

    QCOMPARE(status.Outcome(status.Module(3).last_send), QStringLiteral("answered"));
    QCOMPARE(status.Outcome(status.Module(3).last_notch), QStringLiteral("CRC error"));
    QCOMPARE(status.Outcome(status.Module(4).last_send), QStringLiteral("no answer"));
    QCOMPARE(status.Outcome(status.Module(4).last_notch), QStringLiteral("answered"));
    QCOMPARE(status.Outcome(status.Module(5).last_send), QStringLiteral("answered"));
    QCOMPARE(status.Outcome(status.Module(5).last_notch), QString());
    // Writes are no reads.
    QCOMPARE(status.Module(4).reads_answered + status.Module(4).reads_failed, 0);
    QCOMPARE(status.ModuleHint(4), QString());
}

// Over the module column of a row the grid shows that row's tooltip; over
// the readings none.
void TestBusStatus::rowHeaderShowsItsTooltip()
{
    ExchangeLog log;
    BusStatus status(log);
    TMetering_F page;
    page.resize(786, 439);
    page.Fill_Metering_Page(Active({9}));
    Feed(log, status, {Read(ExchangeOutcome::Answered, 1, true, 0, 23400)});
    page.Show_Bus_Status(status);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    StringGrid *grid = page.Metering_Grid;
    QWidget *viewport = grid->viewport();
    const auto tipOver = [&](int col) {
        const QPoint at = viewport->mapFrom(grid, grid->CellRect(col, 1).center());
        QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tipOver(3), QString());
    QCOMPARE(tipOver(0),
             QStringLiteral("Module 9: answering, 1 of 1 reads answered, last round trip 23 ms"));
}

// The new picture is neither of the described ones, and keeps their frame:
// a disc centred where the green one is, transparent around it.
void TestBusStatus::notAnsweringPictureStandsApart()
{
    const QImage crossed = StateImage(kStateNotAnswering).toImage();
    QCOMPARE(crossed.size(), QSize(16, 16));
    QVERIFY(crossed != StateImage(kMarkOn).toImage());
    QVERIFY(crossed != StateImage(kMarkOff).toImage());
    QCOMPARE(crossed.pixelColor(3, 8), QColor(220, 0, 0));
    QCOMPARE(crossed.pixelColor(8, 8), QColor(Qt::white));
    QCOMPARE(crossed.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(crossed.pixelColor(14, 8).alpha(), 0);
    // The described pictures are as they were.
    QCOMPARE(StateImage(kMarkOn).toImage().pixelColor(8, 8), QColor(0, 255, 0));
    QCOMPARE(StateImage(kMarkOff).toImage().pixelColor(5, 5), QColor(Qt::black));
}

// One row per module of the configuration, read the way a screen reader
// reads it: modules that are off, in a collapsed group or without an input
// in use are not listed, whatever the bus did with them.
void TestBusStatus::windowListsTheConfiguredModules()
{
    using O = ExchangeOutcome;
    ExchangeLog log;
    BusStatus status(log);
    ModuleTable table;
    Configure(table, 3);
    Configure(table, 9);
    Configure(table, 12);
    table.module_state[12] = kMarkOff;
    Configure(table, 20);
    table.group_state[2] = kMarkOff;
    Feed(log, status,
         {Write(0, 4, O::Answered, 9), Write(46252, 2, O::NoAnswer, 9),
          Read(O::CrcError, 1, false, 0, 61000), Read(O::Answered, 2, true, 0, 23400),
          PeriodStarts(), Read(O::NoAnswer, 2, true, 1), PeriodStarts(),
          Read(O::NoAnswer, 2, true, 12, 60000, 12)});

    BusStatusWindow window(status, table);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTableWidget *grid = window.Status_Table;
    QCOMPARE(grid->rowCount(), 2);
    QStringList headers;
    for (int c = 0; c < grid->columnCount(); ++c)
        headers << ColumnHeader(grid, c);
    QCOMPARE(headers, (QStringList{u"Address"_s, u"Module"_s, u"State"_s, u"Answered"_s,
                                   u"Failed"_s, u"Last outcome"_s, u"Last failure"_s,
                                   u"Round trip"_s, u"Configuration sent"_s, u"Notch command"_s}));
    QStringList module3;
    QStringList module9;
    for (int c = 0; c < grid->columnCount(); ++c) {
        module3 << AccessibleCell(grid, 0, c);
        module9 << AccessibleCell(grid, 1, c);
    }
    QCOMPARE(module3, (QStringList{u"3"_s, u"Module 3"_s, u"not read yet"_s, u"0"_s, u"0"_s,
                                   QString(), QString(), QString(), QString(), QString()}));
    QCOMPARE(module9,
             (QStringList{u"9"_s, u"Module 9"_s, u"not answering"_s, u"1"_s, u"1"_s, u"no answer"_s,
                          u"14:30:06"_s, u"23 ms"_s, u"answered"_s, u"no answer"_s}));
}

// The timer runs while the window shows and stops when it is closed; a tick
// brings in what happened since.
void TestBusStatus::windowRefreshesOnlyWhileShown()
{
    ExchangeLog log;
    BusStatus status(log);
    ModuleTable table;
    Configure(table, 9);
    BusStatusWindow window(status, table);
    QVERIFY(!window.Refresh_Timer->isActive());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.Refresh_Timer->isActive());
    QCOMPARE(window.Status_Table->item(0, 3)->text(), QStringLiteral("0"));

    Feed(log, status, {Read(ExchangeOutcome::Answered, 1, true)});
    QCOMPARE(window.Status_Table->item(0, 3)->text(), QStringLiteral("0"));
    QVERIFY(QMetaObject::invokeMethod(window.Refresh_Timer, "timeout"));
    QCOMPARE(window.Status_Table->item(0, 3)->text(), QStringLiteral("1"));

    window.Close_B->click();
    QVERIFY(!window.isVisible());
    QVERIFY(!window.Refresh_Timer->isActive());
}

void TestBusStatus::escapeClosesTheWindow()
{
    ExchangeLog log;
    BusStatus status(log);
    ModuleTable table;
    BusStatusWindow window(status, table);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.Status_Table, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.Close_B->text(), QStringLiteral("&Close"));
}

QTEST_MAIN(TestBusStatus)
#include "tst_busstatus.moc"

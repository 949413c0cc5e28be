// The pages the window shows in each of its states, and every way a user or
// the code has of turning to a page: no key, wheel, accessibility action or
// call shows a page the window has hidden, so the standard pages and the
// debug page never show together, and metering and the debug link never
// share the port.

#include "app/moduleselectionpage.h"
#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "debug/tvrx_rtd_f.h"
#include "metering/tmetering_f.h"
#include "support/windowenvironment.h"

#include <QAccessible>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

#include <memory>

namespace {

enum class State
{
    StandardIdle,
    Metering,
    SelectionPage,
    SelectionAfterMetering,
    DebugIdle,
    DebugPolling
};

// What the window shows in each state: its visible pages, by object name.
QStringList ShownPages(State state)
{
    switch (state) {
    case State::StandardIdle:
        return {QStringLiteral("Metering_Tab"), QStringLiteral("Config_Tab"),
                QStringLiteral("Misc_Tab")};
    case State::Metering:
        return {QStringLiteral("Metering_Tab"), QStringLiteral("Config_Tab"),
                QStringLiteral("Misc_Tab"), QStringLiteral("Plot_Tab")};
    case State::SelectionPage:
        return {QStringLiteral("Selection_Tab")};
    case State::SelectionAfterMetering:
        return {QStringLiteral("Selection_Tab"), QStringLiteral("Plot_Tab")};
    case State::DebugIdle:
    case State::DebugPolling:
        return {QStringLiteral("VRX_Tab")};
    }
    return {};
}

// What a handler is asked to do in a state where it must not.
enum class Ask
{
    EnablePolling,
    DisablePolling,
    ModuleType,
    ViewDebug,
    ViewStandard,
    StartMetering
};

// The ways of turning to another page.
enum class Route
{
    CtrlTab,
    CtrlShiftTab,
    Right,
    Left,
    Wheel,
    Press,
    Call
};

} // namespace

Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(Route)
Q_DECLARE_METATYPE(Ask)

class TestPageSets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noRouteShowsAHiddenPage_data();
    void noRouteShowsAHiddenPage();
    void meteringAndTheDebugLinkNeverMeet_data();
    void meteringAndTheDebugLinkNeverMeet();

private:
    // Module m listed with every input a Pt100, as on the Configuration page.
    void configure(int m);
    void enter(State state);
    // The pages whose tabs show now, by object name, in tab order.
    QStringList visiblePages() const;
    void turn(Route route, int step);

    std::unique_ptr<WindowEnvironment> m_env;
    std::unique_ptr<TMainF> m_window;
};

void TestPageSets::init()
{
    m_env = std::make_unique<WindowEnvironment>();
    // A port that is not there: metering and polling run and fail quietly.
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("ttyNONE")).toUtf8() + "\n");
    m_window = std::make_unique<TMainF>();
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestPageSets::cleanup()
{
    if (m_window) {
        m_window->Read_Timer->stop();
        m_window->VRX_Read_Timer->stop();
    }
    m_window.reset();
    m_env.reset();
}

void TestPageSets::configure(int m)
{
    TMainF &w = *m_window;
    w.Config_Page->Config_Tree->topLevelItem(ModuleTable::GroupOf(m) - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = 1;
    w.Config_Page->RefreshConfigGrid();
}

void TestPageSets::enter(State state)
{
    TMainF &w = *m_window;
    const auto meter = [&] {
        configure(2);
        w.PageControl1->setCurrentWidget(w.Metering_Tab);
        w.Metering_F1->start_B->click();
        QVERIFY(w.table.metering_on);
        w.Read_Timer->stop(); // the test turns pages, not ticks
    };
    const auto view = [&](QRadioButton *choice) {
        w.RTDModuleType1->trigger();
        choice->setChecked(true);
        w.Selection_Page->view_B->click();
    };
    switch (state) {
    case State::StandardIdle:
        break;
    case State::Metering:
        meter();
        break;
    case State::SelectionPage:
        w.RTDModuleType1->trigger();
        break;
    case State::SelectionAfterMetering:
        meter();
        w.Metering_F1->stop_B->click();
        w.RTDModuleType1->trigger();
        break;
    case State::DebugIdle:
        view(w.Selection_Page->vrx_RB);
        break;
    case State::DebugPolling:
        view(w.Selection_Page->vrx_RB);
        w.VRX_RTD_F1->Poller().SetModuleState(1, kMarkOn);
        w.VRX_RTD_F1->Poller().SetInputType(1, 1, 1);
        w.VRX_RTD_F1->enable_Btn->click();
        QVERIFY(w.VRX_RTD_F1->Polling());
        w.VRX_Read_Timer->stop();
        break;
    }
    // The progress box of a start took the focus for a while.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

QStringList TestPageSets::visiblePages() const
{
    QStringList pages;
    for (int i = 0; i < m_window->PageControl1->count(); ++i) {
        if (m_window->PageControl1->isTabVisible(i))
            pages << m_window->PageControl1->widget(i)->objectName();
    }
    return pages;
}

void TestPageSets::turn(Route route, int step)
{
    QTabWidget *tabs = m_window->PageControl1;
    QTabBar *bar = tabs->tabBar();
    // Keys go where the user's keys go: to the widget with the focus, which
    // passes what it does not use on to its parents. Left and Right turn
    // pages only on the tab bar itself.
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : tabs;
    switch (route) {
    case Route::CtrlTab:
        QTest::keyClick(focus, Qt::Key_Tab, Qt::ControlModifier);
        break;
    case Route::CtrlShiftTab:
        QTest::keyClick(focus, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        break;
    case Route::Right:
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Right);
        break;
    case Route::Left:
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Left);
        break;
    case Route::Wheel: {
        // Alternately down and up over the tab bar.
        const QPointF at = bar->rect().center();
        const int delta = step % 2 ? 120 : -120;
        QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
        break;
    }
    case Route::Press: {
        // A screen reader's press on tab number step.
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(bar);
        QVERIFY(iface);
        const int tab = step % tabs->count();
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *child = iface->child(i);
            if (!child || child->role() != QAccessible::PageTab ||
                child->text(QAccessible::Name) != tabs->tabText(tab))
                continue;
            if (QAccessibleActionInterface *action = child->actionInterface())
                action->doAction(QAccessibleActionInterface::pressAction());
        }
        break;
    }
    case Route::Call:
        tabs->setCurrentIndex(step % tabs->count());
        break;
    }
}

void TestPageSets::noRouteShowsAHiddenPage_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<Route>("route");
    const QList<std::pair<const char *, State>> states = {
        {"standard idle", State::StandardIdle},
        {"metering", State::Metering},
        {"selection page", State::SelectionPage},
        {"selection page after metering", State::SelectionAfterMetering},
        {"debug idle", State::DebugIdle},
        {"debug polling", State::DebugPolling},
    };
    const QList<std::pair<const char *, Route>> routes = {
        {"Ctrl+Tab", Route::CtrlTab},          {"Ctrl+Shift+Tab", Route::CtrlShiftTab},
        {"Right on the tabs", Route::Right},   {"Left on the tabs", Route::Left},
        {"wheel on the tabs", Route::Wheel},   {"screen reader presses a tab", Route::Press},
        {"code turns to a page", Route::Call},
    };
    for (const auto &[stateName, state] : states) {
        for (const auto &[routeName, route] : routes)
            QTest::addRow("%s, %s", stateName, routeName) << state << route;
    }
}

void TestPageSets::noRouteShowsAHiddenPage()
{
    QFETCH(State, state);
    QFETCH(Route, route);
    TMainF &w = *m_window;
    enter(state);
    const QStringList shown = ShownPages(state);
    QCOMPARE(visiblePages(), shown);
    const bool metering = w.table.metering_on;
    const bool polling = w.VRX_RTD_F1->Polling();
    const bool moduleType = w.RTDModuleType1->isEnabled();

    // Round the tabs and more: each step lands on a shown page, shows its
    // widget and no other page's, and leaves the page set as it was. The
    // window hears only of shown pages.
    QSignalSpy told(w.PageControl1, &PageTabs::pageChanged);
    QSet<QString> visited;
    const bool cycles = route == Route::CtrlTab || route == Route::CtrlShiftTab;
    // The keys start where a user's would: in a control of the page shown.
    // Each turn of the page takes the focus along into the next one.
    for (QWidget *control : w.PageControl1->currentWidget()->findChildren<QWidget *>()) {
        if (control->isVisible() && control->isEnabled() &&
            (control->focusPolicy() & Qt::TabFocus)) {
            control->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    for (int step = 0; step <= w.PageControl1->count(); ++step) {
        QWidget *before = w.PageControl1->currentWidget();
        turn(route, step);
        QWidget *current = w.PageControl1->currentWidget();
        visited.insert(current->objectName());
        // Ctrl+Tab turns the page whatever control has the focus.
        if (cycles && shown.size() > 1)
            QVERIFY2(current != before,
                     qPrintable(QStringLiteral("step %1 stays on %2, focus %3")
                                    .arg(step)
                                    .arg(current->objectName())
                                    .arg(QApplication::focusWidget()
                                             ? QApplication::focusWidget()->objectName()
                                             : QString())));
        QVERIFY2(
            shown.contains(current->objectName()),
            qPrintable(QStringLiteral("step %1 shows %2").arg(step).arg(current->objectName())));
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            QWidget *page = w.PageControl1->widget(i);
            QCOMPARE(page->isVisible(), page == current);
        }
        QCOMPARE(visiblePages(), shown);
    }
    for (const QList<QVariant> &signal : told)
        QVERIFY(shown.contains(w.PageControl1->widget(signal.at(0).toInt())->objectName()));
    // Going round reaches every shown page: a hidden one does not stop the
    // way.
    if (route != Route::Wheel && route != Route::Right && route != Route::Left)
        QCOMPARE(visited, QSet<QString>(shown.begin(), shown.end()));
    QCOMPARE(w.table.metering_on, metering);
    QCOMPARE(w.VRX_RTD_F1->Polling(), polling);
    QCOMPARE(w.RTDModuleType1->isEnabled(), moduleType);
}

// The handlers themselves, called while the other side holds the port: the
// debug page's Enable does not start polling while metering runs (every
// reading would be "----"), its Disable does not give back "RTD Module
// Type", VIEW and "RTD Module Type" change no page set, and START does not
// meter while the debug page polls.
void TestPageSets::meteringAndTheDebugLinkNeverMeet_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<Ask>("ask");
    QTest::newRow("metering, Enable") << State::Metering << Ask::EnablePolling;
    QTest::newRow("metering, Disable") << State::Metering << Ask::DisablePolling;
    QTest::newRow("metering, RTD Module Type") << State::Metering << Ask::ModuleType;
    QTest::newRow("metering, VIEW debug") << State::Metering << Ask::ViewDebug;
    QTest::newRow("debug polling, START") << State::DebugPolling << Ask::StartMetering;
    QTest::newRow("debug polling, RTD Module Type") << State::DebugPolling << Ask::ModuleType;
    QTest::newRow("debug polling, VIEW standard") << State::DebugPolling << Ask::ViewStandard;
}

void TestPageSets::meteringAndTheDebugLinkNeverMeet()
{
    QFETCH(State, state);
    QFETCH(Ask, ask);
    TMainF &w = *m_window;
    // A relay module to poll, set up before the state is entered.
    w.VRX_RTD_F1->Poller().SetModuleState(2, kMarkOn);
    w.VRX_RTD_F1->Poller().SetInputType(2, 1, 1);
    enter(state);
    const bool metering = w.table.metering_on;
    const bool polling = w.VRX_RTD_F1->Polling();
    QVERIFY(metering != polling);
    QWidget *current = w.PageControl1->currentWidget();

    switch (ask) {
    case Ask::EnablePolling:
        w.VRX_RTD_F1enable_BtnClick();
        break;
    case Ask::DisablePolling:
        w.VRX_RTD_F1disable_BtnClick();
        break;
    case Ask::ModuleType:
        w.RTDModuleType1Click();
        break;
    case Ask::ViewDebug:
        w.Selection_Page->vrx_RB->setChecked(true);
        w.view_BClick();
        break;
    case Ask::ViewStandard:
        w.Selection_Page->tav_RB->setChecked(true);
        w.view_BClick();
        break;
    case Ask::StartMetering:
        w.Metering_F1start_BClick();
        break;
    }

    QCOMPARE(w.table.metering_on, metering);
    QCOMPARE(w.Read_Timer->isActive(), false); // as the state left it: the test ticks
    QCOMPARE(w.VRX_RTD_F1->Polling(), polling);
    QCOMPARE(w.VRX_Read_Timer->isActive(), false);
    QVERIFY(!w.vrx_comport.Connected());
    QVERIFY(!w.RTDModuleType1->isEnabled());
    QCOMPARE(visiblePages(), ShownPages(state));
    QCOMPARE(w.PageControl1->currentWidget(), current);
    if (metering)
        QVERIFY(w.VRX_RTD_F1->enable_Btn->isEnabled()); // the page never started
}

QTEST_MAIN(TestPageSets)
#include "tst_pagesets.moc"

// Diagnostics, Bus Search in the main window, offscreen, on the bus simulator
// through a pseudo-terminal: what a search lists (read as assistive
// technology reads the table), what Add to Configuration does to the
// Configuration page, a cancel in the middle of a search, and the refusals
// while metering runs or the debug page polls. The simulator's request log
// is the bus traffic.

#include "app/moduleselectionpage.h"
#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "config/tmessageboxf.h"
#include "debug/tvrx_rtd_f.h"
#include "metering/tmetering_f.h"
#include "modules/bussearchwindow.h"
#include "sim/bussimulator.h"
#include "support/windowenvironment.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace {

// The table's rows as assistive technology reads them, cells joined by "|".
QStringList AccessibleRows(QTableWidget *table)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(table);
    QAccessibleTableInterface *cells = iface ? iface->tableInterface() : nullptr;
    if (!cells)
        return {QStringLiteral("no table interface")};
    QStringList rows;
    for (int r = 0; r < cells->rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < cells->columnCount(); ++c) {
            QAccessibleInterface *cell = cells->cellAt(r, c);
            texts << (cell ? cell->text(QAccessible::Name) : QStringLiteral("?"));
        }
        rows << texts.join(QLatin1Char('|'));
    }
    return rows;
}

// Runs act once the condition holds, checked at every event processing of
// the search's loop (posted calls are delivered there; timers are not).
void WhenInLoop(std::function<bool()> condition, std::function<void()> act)
{
    QMetaObject::invokeMethod(
        qApp,
        [condition, act] {
            if (condition())
                act();
            else
                WhenInLoop(condition, act);
        },
        Qt::QueuedConnection);
}

// Runs seen() for every event of the type that reaches the object.
class EventCounter : public QObject
{
public:
    EventCounter(QObject *watched, QEvent::Type type, std::function<void()> seen)
        : m_type(type), m_seen(std::move(seen))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            m_seen();
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_seen;
};

int HighestAddressAsked(const BusSimulator &sim)
{
    int highest = 0;
    for (const SimRequest &r : sim.requests())
        highest = std::max(highest, r.address);
    return highest;
}

} // namespace

class TestBusSearchWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void searchListsWhatAnswersAndAddListsIt();
    void cancelKeepsTheRowsFoundAndAsksNoMore();
    void refusedWhileThePortIsOwned_data();
    void refusedWhileThePortIsOwned();

private:
    // Module m listed with every input of the type, as on the Configuration
    // page.
    void configure(int m, int type);

    std::unique_ptr<WindowEnvironment> m_env;
    std::unique_ptr<BusSimulator> m_sim;
    std::unique_ptr<TMainF> m_window;
};

// Modules at 3, 17, 40 and 63; 40 is silent by fault.
void TestBusSearchWindow::init()
{
    m_env = std::make_unique<WindowEnvironment>();
    m_sim = std::make_unique<BusSimulator>(m_env->path(QStringLiteral("ttyBUS")));
    for (const int m : {3, 17, 40, 63})
        QVERIFY(m_sim->addModule(m));
    QVERIFY(m_sim->setFault(40, Fault::Silent));
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));
    m_env->writeStore("Comport=" + m_sim->linkPath().toUtf8() + "\n");
    m_window = std::make_unique<TMainF>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestBusSearchWindow::cleanup()
{
    if (m_window) {
        m_window->Read_Timer->stop();
        m_window->VRX_Read_Timer->stop();
    }
    m_window.reset();
    m_sim.reset();
    m_env.reset();
}

void TestBusSearchWindow::configure(int m, int type)
{
    TMainF &w = *m_window;
    w.Config_Page->Config_Tree->topLevelItem(ModuleTable::GroupOf(m) - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = type;
    w.Config_Page->RefreshConfigGrid();
}

// 17 is configured (every input Pt100) before the search; the others are
// not. Add to Configuration with no row selected lists 3 and 63 on the
// Configuration page, leaves 17 as it was, and a module added can be sent
// its types once the user has chosen them.
void TestBusSearchWindow::searchListsWhatAnswersAndAddListsIt()
{
    TMainF &w = *m_window;
    configure(17, kPt100);
    const auto types = w.table.input_type;
    // Group 2 is open, so its 16 modules are rows (as after a user opens it).
    QList<int> listed = w.Config_Page->GridAddresses();
    QCOMPARE(listed.size(), 16);

    w.BusSearch1->trigger();
    BusSearchWindow *search = w.BusSearch_F;
    QVERIFY(search->isVisible());
    search->search_B->click();

    QCOMPARE(AccessibleRows(search->found_G),
             (QStringList{QStringLiteral("3|TAV RTD|3.11|60 Hz|not in configuration"),
                          QStringLiteral("17|TAV RTD|3.11|60 Hz|in configuration"),
                          QStringLiteral("63|TAV RTD|3.11|60 Hz|not in configuration")}));
    QCOMPARE(search->summary_L->text(), QStringLiteral("3 modules answered at addresses 1 to 63."));
    QCOMPARE(HighestAddressAsked(*m_sim), 63);
    QCOMPARE(QApplication::activeModalWidget(), nullptr); // the progress box is gone
    // The keyboard is back with the window, for Alt+A.
    QTRY_COMPARE(QApplication::activeWindow(), search);
    QCOMPARE(QApplication::focusWidget(), search->found_G);

    search->add_B->click();
    listed.prepend(3);
    listed.append(63);
    QCOMPARE(w.Config_Page->GridAddresses(), listed);
    QCOMPARE(w.table.input_type, types);
    for (const int m : {3, 17, 63}) {
        QTreeWidgetItem *group =
            w.Config_Page->Config_Tree->topLevelItem(ModuleTable::GroupOf(m) - 1);
        QVERIFY(group->isExpanded());
        QTreeWidgetItem *node =
            group->child(m - ModuleTable::FirstModuleOfGroup(ModuleTable::GroupOf(m)));
        QCOMPARE(ConfigPage::NodeNumber(node), m);
        QCOMPARE(ConfigPage::NodeStateIndex(node), kMarkOn);
    }
    QCOMPARE(AccessibleRows(search->found_G),
             (QStringList{QStringLiteral("3|TAV RTD|3.11|60 Hz|listed, input types to choose"),
                          QStringLiteral("17|TAV RTD|3.11|60 Hz|in configuration"),
                          QStringLiteral("63|TAV RTD|3.11|60 Hz|listed, input types to choose")}));
    QCOMPARE(search->summary_L->text(),
             QStringLiteral("Listed on the Configuration page: Module 3, Module 63."));

    // The user chooses a type for 3 on the page; Send Configuration writes
    // it, with 17's, and passes over 63, which has none yet.
    w.table.input_type[2][3] = kNi100;
    m_sim->clearRequests();
    w.SendConfig1->trigger();
    QList<int> written;
    for (const SimRequest &r : m_sim->requests()) {
        if (r.function == 16 && !written.contains(r.address))
            written << r.address;
    }
    QCOMPARE(written, (QList<int>{3, 17}));
    QVERIFY(m_sim->moduleState(3)->configured);

    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(!search->isVisible());
}

// Cancel is pressed while address 20 is asked: the search makes no attempt
// after it, and the rows of 3 and 17 stay.
void TestBusSearchWindow::cancelKeepsTheRowsFoundAndAsksNoMore()
{
    TMainF &w = *m_window;
    w.BusSearch1Click();
    BusSearchWindow *search = w.BusSearch_F;
    m_sim->clearRequests();
    bool pressed = false;
    // Each module shows as it is found: the table is painted with rows in
    // the middle of the search (when no timer fires).
    int paintsWithRows = 0;
    int paintsWhenCancelled = 0;
    EventCounter paints(search->found_G->viewport(), QEvent::Paint, [search, &paintsWithRows] {
        paintsWithRows += search->found_G->rowCount() > 0 ? 1 : 0;
    });
    WhenInLoop(
        [] {
            auto *box = qobject_cast<TMessageBoxF *>(QApplication::activeModalWidget());
            return box && box->ProgressBar1->value() >= 20;
        },
        [&] {
            paintsWhenCancelled = paintsWithRows;
            auto *box = qobject_cast<TMessageBoxF *>(QApplication::activeModalWidget());
            QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {},
                              box->cancel_B->geometry().center());
            pressed = box->Cancelled();
        });
    search->search_BClick();

    QVERIFY(pressed);
    QVERIFY(paintsWhenCancelled > 0);
    QCOMPARE(AccessibleRows(search->found_G),
             (QStringList{QStringLiteral("3|TAV RTD|3.11|60 Hz|not in configuration"),
                          QStringLiteral("17|TAV RTD|3.11|60 Hz|not in configuration")}));
    QCOMPARE(search->summary_L->text(),
             QStringLiteral("Search cancelled at address 20: 2 modules found so far."));
    QCOMPARE(HighestAddressAsked(*m_sim), 19);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestBusSearchWindow::refusedWhileThePortIsOwned_data()
{
    QTest::addColumn<bool>("metering");
    QTest::newRow("metering") << true;
    QTest::newRow("debug page polling") << false;
}

// The window is open from before. While metering runs or the debug page
// polls, the menu item is disabled, the handler shows nothing, Search asks
// nothing and says why, and Add changes nothing while metering. Once the
// other side stops, the item is back.
void TestBusSearchWindow::refusedWhileThePortIsOwned()
{
    QFETCH(bool, metering);
    TMainF &w = *m_window;
    w.BusSearch1Click();
    BusSearchWindow *search = w.BusSearch_F;
    QVERIFY(search->isVisible());
    search->hide();
    if (metering) {
        configure(3, kPt100);
        w.PageControl1->setCurrentWidget(w.Metering_Tab);
        w.Metering_F1->start_B->click();
        QVERIFY(w.table.metering_on);
        w.Read_Timer->stop();
    } else {
        w.RTDModuleType1->trigger();
        w.Selection_Page->vrx_RB->setChecked(true);
        w.Selection_Page->view_B->click();
        w.VRX_RTD_F1->Poller().SetModuleState(1, kMarkOn);
        w.VRX_RTD_F1->Poller().SetInputType(1, 1, 1);
        w.VRX_RTD_F1->enable_Btn->click();
        QVERIFY(w.VRX_RTD_F1->Polling());
        w.VRX_Read_Timer->stop();
    }
    QVERIFY(!w.BusSearch1->isEnabled());
    w.BusSearch1Click();
    QVERIFY(!search->isVisible());

    const qsizetype requests = m_sim->requests().size();
    search->search_BClick();
    QCOMPARE(m_sim->requests().size(), requests);
    QCOMPARE(search->found_G->rowCount(), 0);
    QCOMPARE(search->summary_L->text(),
             QStringLiteral("The bus is in use while metering runs or the VRX-RTD page polls; "
                            "stop it to search."));

    if (metering) {
        const auto states = w.table.module_state;
        const auto groups = w.table.group_state;
        w.AddFoundModulesToConfiguration({17, 63});
        QCOMPARE(w.table.module_state, states);
        QCOMPARE(w.table.group_state, groups);
        w.Metering_F1->stop_B->click();
    } else {
        w.VRX_RTD_F1->disable_Btn->click();
    }
    QVERIFY(w.BusSearch1->isEnabled());
}

QTEST_MAIN(TestBusSearchWindow)
#include "tst_bussearchwindow.moc"

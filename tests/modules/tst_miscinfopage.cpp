// The Miscellaneous Info page in the main window, offscreen, on the bus
// simulator through a pseudo-terminal: what selecting the page lists, what
// Scan and Set Frequency show, ask and send. Every modal box is answered from
// here, and the simulator's request log is the bus traffic.

#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "config/tmessageboxf.h"
#include "modules/miscinfopage.h"
#include "sim/bussimulator.h"
#include "sim/simconsole.h"
#include "support/modal.h"
#include "support/windowenvironment.h"
#include "widgets/statuspanel.h"
#include "widgets/stringgrid.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

namespace {

// The warning, written out again as the modules' maker words it: a change
// of this text is a change the user reads.
const QString kWarning = QStringLiteral(
    "\nAny changes to the notch filter frequency may require the module supply voltage to be "
    "cycled before new readings can be taken.\n\nIt is recommended to match the notch filter "
    "frequency to the system frequency (usually 50 or 60 Hz).  If the system frequency varies "
    "(e.g. VFD's) or is not 50 or 60 Hz, the 10 Hz notch filter setting should be selected.  The "
    "module will operate at reduced speed when a 10 Hz notch filter is selected.  To be able to "
    "modify the notch filter frequency, the unit must have firmware version 3.11 or greater.\n\n"
    "The following are default settings:\n\nModule Type\tFactory Default\nVRX-RTD\t10 Hz\n"
    "TAV-RTD\t60 Hz\n\n\nAll viewable units will have their frequency changed!");

const QStringList kHeading{QString(), QStringLiteral("Device Type"),
                           QStringLiteral("Firmware Version"),
                           QStringLiteral("Notch Filter Frequency")};

// Every modal box shown while it lives, in order: its caption, label texts
// and memo text; each is answered by the next action queued, or with OK.
class ModalLog : public QObject
{
public:
    struct Seen
    {
        QString caption;
        QString label;
        QString memo;
    };
    using Action = std::function<void(QWidget *)>;

    ModalLog()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalLog::poll);
        m_timer.start();
    }

    void queue(Action action) { m_actions.push_back(std::move(action)); }
    QStringList captions() const
    {
        QStringList list;
        for (const Seen &s : seen)
            list << s.caption;
        return list;
    }

    QList<Seen> seen;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_last)
            return;
        m_last = modal;
        Seen s;
        s.caption = modal->windowTitle();
        QStringList labels;
        for (const QLabel *label : modal->findChildren<QLabel *>()) {
            if (label->isVisible() && !label->text().isEmpty())
                labels << label->text();
        }
        s.label = labels.join(QLatin1Char('\n'));
        if (const auto *memo = modal->findChild<QTextEdit *>(); memo && memo->isVisible())
            s.memo = memo->toPlainText();
        seen.append(s);
        Action act = [](QWidget *w) { PressButton(w, QStringLiteral("OK")); };
        if (!m_actions.empty()) {
            act = std::move(m_actions.front());
            m_actions.pop_front();
        }
        act(modal);
    }

    QTimer m_timer;
    QPointer<QWidget> m_last;
    std::deque<Action> m_actions;
};

// The progress boxes put over the window: caption, maximum of the bar and
// the positions it takes after it is shown.
class ProgressLog : public QObject
{
public:
    struct Box
    {
        QString caption;
        int maximum = -1;
        QList<int> positions;
        int requestsWhenShown = 0;
    };

    ProgressLog(QWidget *window, const BusSimulator &sim) : m_sim(sim)
    {
        window->installEventFilter(this);
    }

    QStringList captions() const
    {
        QStringList list;
        for (const Box &b : boxes)
            list << b.caption;
        return list;
    }

    QList<Box> boxes;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::ChildPolished)
            return false;
        auto *box = qobject_cast<TMessageBoxF *>(static_cast<QChildEvent *>(event)->child());
        if (!box || !box->ProgressBar1->isVisibleTo(box))
            return false;
        const qsizetype index = boxes.size();
        boxes.append(
            {box->windowTitle(), box->ProgressBar1->maximum(), {}, int(m_sim.requests().size())});
        connect(box->ProgressBar1, &QProgressBar::valueChanged, this,
                [this, index](int value) { boxes[index].positions.append(value); });
        return false;
    }

private:
    const BusSimulator &m_sim;
};

} // namespace

class TestMiscInfoPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void selectingThePageListsTheActiveModules();
    void headingOnlyWithAModuleListed_data();
    void headingOnlyWithAModuleListed();
    void scanFillsTheRowsUntilThePageIsSelectedAgain();
    void scanWithNoModuleListedAsksNothing();
    void cellsArePaintedAsTiles();
    void setFrequencyOpensTheMenuAtTheButton();
    void warningRefusedSendsNothing_data();
    void warningRefusedSendsNothing();
    void frequencyGoesToEveryListedModuleThenScan_data();
    void frequencyGoesToEveryListedModuleThenScan();
    void frequencyChangeWithNoModuleListedStillTells();
    void assistiveTechnologyReadsThePage();
    void scanOnAPortThatIsNotThereSaysWhyOnThePanel();
    void listFollowsANewOrLoadedConfigurationWhileShown_data();
    void listFollowsANewOrLoadedConfigurationWhileShown();
    void scanWhileMeteringTakesTheBusBetweenTwoTicks();
    void frequencyChangeWhileMeteringTakesTheBusBetweenTwoTicks();

private:
    // Module m selected, its group expanded and every input type; as on the
    // Configuration page.
    void configure(int m, int type = kPt100);
    void selectPage();
    QStringList row(int r) const;
    // The modules the requests on the line went to, each once, in order.
    QList<int> addressed() const;
    // Metering modules 2, 5 and 9 with the Miscellaneous Info page showing,
    // its timer ticking far faster than once a second, so that a tick is
    // due at every moment the thread could give one.
    void meterWithThePageShowing();

    std::unique_ptr<WindowEnvironment> m_env;
    std::unique_ptr<BusSimulator> m_sim;
    std::unique_ptr<TMainF> m_window;
    MiscInfoPage *m_page = nullptr;
};

void TestMiscInfoPage::initTestCase()
{
    // Firmware texts take the locale's decimal point; these are in C's.
    QLocale::setDefault(QLocale::c());
}

// On the line: module 2 answering as a device of another kind (201), module
// 5 with firmware 65535 and a notch register of 0, module 9 factory-new but
// with old firmware (3.00). Nothing answers at 40.
void TestMiscInfoPage::init()
{
    m_env = std::make_unique<WindowEnvironment>();

    m_sim = std::make_unique<BusSimulator>(m_env->path(QStringLiteral("ttyBUS")));
    for (int m : {2, 5, 9})
        QVERIFY(m_sim->addModule(m));
    SimConsole console(*m_sim);
    for (const char *line :
         {"set 2 device 201", "set 5 firmware 65535", "set 5 notch 0", "set 9 firmware 300"})
        QVERIFY(console.execute(QString::fromLatin1(line)).ok());
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));

    m_env->writeStore("Comport=" + m_sim->linkPath().toUtf8() + "\n");

    m_window = std::make_unique<TMainF>();
    m_page = m_window->Misc_Page;
    QVERIFY(m_page);
    QCOMPARE(m_window->m_comport.Port(), m_sim->linkPath());
}

void TestMiscInfoPage::cleanup()
{
    m_window.reset();
    m_sim.reset();
    m_env.reset();
}

void TestMiscInfoPage::configure(int m, int type)
{
    TMainF &w = *m_window;
    w.Config_Page->Config_Tree->topLevelItem(ModuleTable::GroupOf(m) - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = type;
}

// As the user does it: another page, then "Miscellaneous Info".
void TestMiscInfoPage::selectPage()
{
    m_window->PageControl1->setCurrentWidget(m_window->Config_Tab);
    m_window->PageControl1->setCurrentWidget(m_window->Misc_Tab);
}

// The six cells of grid row r.
QStringList TestMiscInfoPage::row(int r) const
{
    QStringList cells;
    for (int c = 0; c < 6; ++c)
        cells << m_page->Freq_Grid->Cell(c, r);
    return cells;
}

// Only the modules the configuration makes active are listed, in address
// order: selected, group expanded and at least one input in use. Module 20
// has its inputs in use but its group is collapsed; module 7 is selected in
// an expanded group but uses no input.
void TestMiscInfoPage::selectingThePageListsTheActiveModules()
{
    configure(9);
    configure(2, k4to20mA);
    configure(7, kNotUsed);
    for (int k = 1; k <= kInputCount; ++k)
        m_window->table.input_type[size_t(k)][20] = kPt100; // group 2 stays collapsed
    m_window->table.module_state[3] = kMarkOff;
    m_window->table.input_type[1][3] = kPt100; // deselected
    QVERIFY(m_page->Freq_Grid->Cell(0, 1).isEmpty());

    m_window->PageControl1->setCurrentWidget(m_window->Misc_Tab);

    QCOMPARE(m_page->freq_T->topLevelItemCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const QTreeWidgetItem *node = m_page->freq_T->topLevelItem(i);
        const int m = i == 0 ? 2 : 9;
        QCOMPARE(node->text(0), QStringLiteral("Module %1").arg(m));
        QCOMPARE(node->data(0, Qt::UserRole).toInt(), m);
        QVERIFY(!node->icon(0).isNull());
    }
    QCOMPARE(m_page->Freq_Grid->RowCount(), 3);
    QCOMPARE(m_page->Freq_Grid->FixedRows(), 1);
    QCOMPARE(row(0), (kHeading + QStringList{QString(), QString()}));
    QCOMPARE(row(1), (QStringList{QStringLiteral("Module 2"), QString(), QString(), QString(),
                                  QStringLiteral("2"), QStringLiteral("0")}));
    QCOMPARE(row(2), (QStringList{QStringLiteral("Module 9"), QString(), QString(), QString(),
                                  QStringLiteral("9"), QStringLiteral("0")}));
    QCOMPARE(m_page->GridAddresses(), (QList<int>{2, 9}));
    // Listing asks the bus nothing.
    QVERIFY(m_sim->requests().isEmpty());

    // The group of module 20 opened on the Configuration page: listed at the
    // next visit.
    configure(20);
    selectPage();
    QCOMPARE(m_page->GridAddresses(), (QList<int>{2, 9, 20}));
    QCOMPARE(m_page->freq_T->topLevelItem(2)->text(0), QStringLiteral("Module 20"));
}

// The heading stands, as a fixed row, only above module rows; a page that
// lists nothing has one empty ordinary row, also after it listed modules.
void TestMiscInfoPage::headingOnlyWithAModuleListed_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("modules");
    QTest::newRow("none") << QList<int>{} << QList<int>{};
    QTest::newRow("none after two") << QList<int>{2, 9} << QList<int>{};
    QTest::newRow("one") << QList<int>{} << QList<int>{63};
    QTest::newRow("one after two") << QList<int>{2, 9} << QList<int>{40};
    QList<int> all;
    for (int m = 1; m <= 63; ++m)
        all << m;
    QTest::newRow("all 63") << QList<int>{} << all;
}

void TestMiscInfoPage::headingOnlyWithAModuleListed()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, modules);
    for (int m : before)
        configure(m);
    selectPage();
    m_window->NewConfiguration1Click();
    for (int m : modules)
        configure(m);
    selectPage();

    StringGrid *grid = m_page->Freq_Grid;
    QCOMPARE(grid->RowCount(), int(modules.size()) + 1);
    QCOMPARE(m_page->GridAddresses(), modules);
    QCOMPARE(m_page->freq_T->topLevelItemCount(), int(modules.size()));
    if (modules.isEmpty()) {
        QCOMPARE(grid->FixedRows(), 0);
        QCOMPARE(row(0), QStringList(6, QString()));
    } else {
        QCOMPARE(grid->FixedRows(), 1);
        QCOMPARE(row(0).mid(0, 4), kHeading);
    }
}

// The three reads of each module fill its row: a device of another kind
// still shows its firmware and notch; firmware is unsigned; a notch register
// of 0 is unknown; a module that does not answer shows "----" three times.
// Selecting the page again empties the texts and keeps the rows.
void TestMiscInfoPage::scanFillsTheRowsUntilThePageIsSelectedAgain()
{
    for (int m : {2, 5, 9, 40})
        configure(m);
    QVERIFY(m_sim->setRegisterFault(9, 7, Fault::Exception));
    selectPage();
    ProgressLog progress(m_window.get(), *m_sim);

    m_page->scan_B->click();

    QCOMPARE(row(1).mid(0, 4), (QStringList{QStringLiteral("Module 2"), QStringLiteral("UNKNOWN"),
                                            QStringLiteral("3.11"), QStringLiteral("60 Hz")}));
    QCOMPARE(row(2).mid(0, 4), (QStringList{QStringLiteral("Module 5"), QStringLiteral("TAV RTD"),
                                            QStringLiteral("655.35"), QStringLiteral("UNKNOWN")}));
    QCOMPARE(row(3).mid(0, 4), (QStringList{QStringLiteral("Module 9"), QStringLiteral("TAV RTD"),
                                            QStringLiteral("3.00"), QStringLiteral("----")}));
    QCOMPARE(row(4).mid(0, 4), (QStringList{QStringLiteral("Module 40"), QStringLiteral("----"),
                                            QStringLiteral("----"), QStringLiteral("----")}));
    QCOMPARE(row(4).mid(4), (QStringList{QStringLiteral("40"), QStringLiteral("0")}));
    QCOMPARE(row(0).mid(0, 4), kHeading);

    QCOMPARE(progress.captions(), QStringList{QStringLiteral("Scanning Modules")});
    QCOMPARE(progress.boxes[0].maximum, 4);
    QCOMPARE(progress.boxes[0].positions, (QList<int>{1, 2, 3, 4}));
    QVERIFY(m_window->findChildren<TMessageBoxF *>().isEmpty());
    // Reads only: two registers from 4, 5 and 7 of each module in turn.
    QList<int> order;
    for (const SimRequest &request : m_sim->requests()) {
        QCOMPARE(request.function, 3);
        QCOMPARE(request.count, 2);
        if (order.isEmpty() || order.last() != request.address)
            order << request.address;
    }
    QCOMPARE(order, (QList<int>{2, 5, 9, 40}));
    // Nothing read goes into the table.
    QCOMPARE(m_window->table.module_active[40], kMarkOn);

    selectPage();
    QCOMPARE(m_page->Freq_Grid->RowCount(), 5);
    for (int r = 1; r <= 4; ++r)
        QCOMPARE(row(r).mid(1, 3), QStringList(3, QString()));
    QCOMPARE(m_page->GridAddresses(), (QList<int>{2, 5, 9, 40}));
}

void TestMiscInfoPage::scanWithNoModuleListedAsksNothing()
{
    selectPage();
    ProgressLog progress(m_window.get(), *m_sim);
    m_page->scan_BClick();

    QCOMPARE(progress.captions(), QStringList{QStringLiteral("Scanning Modules")});
    // A maximum of 0: an empty bar that never moves.
    QCOMPARE(progress.boxes[0].positions, QList<int>{});
    QCOMPARE(m_window->findChild<TMessageBoxF *>(), nullptr);
    QVERIFY(m_sim->requests().isEmpty());
    QCOMPARE(m_page->Freq_Grid->RowCount(), 1);
    QCOMPARE(m_page->Freq_Grid->FixedRows(), 0);
    QCOMPARE(row(0), QStringList(6, QString()));
}

// Heading cells and column 0 sky blue, the module rows' texts on silver,
// black text, the grid's grey in the 3-pixel gaps between tiles.
void TestMiscInfoPage::cellsArePaintedAsTiles()
{
    configure(2);
    selectPage();
    m_page->scan_BClick();
    StringGrid *grid = m_page->Freq_Grid;
    grid->clearFocus();
    const QImage image = grid->grab().toImage();
    const auto colourAt = [&](int col, int r, int dx) {
        const QRect cell = grid->CellRect(col, r);
        // Left of the cell's right edge by dx, halfway down: past any text.
        return QColor(image.pixel(cell.right() - dx, cell.center().y()));
    };
    const QColor skyBlue(166, 202, 240);
    const QColor silver(192, 192, 192);
    const QColor grey(160, 160, 164);
    QCOMPARE(colourAt(1, 0, 4), skyBlue);
    QCOMPARE(colourAt(0, 1, 4), skyBlue);
    QCOMPARE(colourAt(0, 0, 4), skyBlue);
    QCOMPARE(colourAt(2, 1, 4), silver);
    QCOMPARE(colourAt(3, 1, 4), silver);
    QCOMPARE(colourAt(2, 1, 0), grey); // the gap at the right of a tile

    // Somewhere in the text of "UNKNOWN" a pixel is dark.
    const QRect text = grid->CellRect(1, 1).adjusted(2, 2, -30, -4);
    bool dark = false;
    for (int x = text.left(); x <= text.right() && !dark; ++x) {
        for (int y = text.top(); y <= text.bottom() && !dark; ++y)
            dark = QColor(image.pixel(x, y)).lightness() < 80;
    }
    QVERIFY(dark);
}

void TestMiscInfoPage::setFrequencyOpensTheMenuAtTheButton()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->PageControl1->setCurrentWidget(m_window->Misc_Tab);
    QCOMPARE(m_page->freq_B->text(), QStringLiteral("Set Frequency"));
    QCOMPARE(m_page->scan_B->text(), QStringLiteral("Scan"));
    QCOMPARE(m_page->freq_B->geometry(), QRect(372, 8, 100, 25));
    QCOMPARE(m_page->scan_B->geometry(), QRect(135, 8, 100, 25));

    m_page->freq_B->click();
    QVERIFY(m_page->Freq_Menu->isVisible());
    QCOMPARE(m_page->Freq_Menu->pos(), m_page->freq_B->mapToGlobal(QPoint(0, 0)));
    QStringList captions;
    for (const QAction *item : m_page->Freq_Menu->actions())
        captions << item->text();
    QCOMPARE(captions, (QStringList{QStringLiteral("Set &10Hz"), QStringLiteral("Set &50Hz"),
                                    QStringLiteral("Set &60Hz")}));

    // From the keyboard: 6 picks "Set 60Hz", whose warning is refused here.
    ModalLog modals;
    modals.queue([](QWidget *box) { PressButton(box, QStringLiteral("Cancel")); });
    QTest::keyClick(m_page->Freq_Menu, Qt::Key_6);
    QVERIFY(!m_page->Freq_Menu->isVisible());
    QCOMPARE(modals.captions(), QStringList{QStringLiteral("Please Read Carefully")});
    QVERIFY(m_sim->requests().isEmpty());
}

void TestMiscInfoPage::warningRefusedSendsNothing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

// The warning is the memo box "Please Read Carefully" with OK and Cancel.
// Refused, nothing is written, nothing is scanned and nothing more is shown.
void TestMiscInfoPage::warningRefusedSendsNothing()
{
    QFETCH(bool, escape);
    for (int m : {2, 5})
        configure(m);
    selectPage();
    ProgressLog progress(m_window.get(), *m_sim);
    ModalLog modals;
    QStringList buttons;
    modals.queue([&](QWidget *box) {
        for (const QPushButton *b : box->findChildren<QPushButton *>()) {
            if (b->isVisible())
                buttons << b->text().remove(QLatin1Char('&'));
        }
        if (escape)
            PressKey(box, Qt::Key_Escape);
        else
            PressButton(box, QStringLiteral("Cancel"));
    });

    m_page->Set50Hz1->trigger();

    QCOMPARE(modals.captions(), QStringList{QStringLiteral("Please Read Carefully")});
    QCOMPARE(modals.seen[0].label, QStringLiteral("Warning!"));
    QCOMPARE(modals.seen[0].memo, kWarning);
    QCOMPARE(buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    QVERIFY(progress.boxes.isEmpty());
    QVERIFY(m_sim->requests().isEmpty());
    QCOMPARE(m_sim->moduleState(2)->notchHz, 60);
    QCOMPARE(row(1).mid(1, 3), QStringList(3, QString()));
}

void TestMiscInfoPage::frequencyGoesToEveryListedModuleThenScan_data()
{
    QTest::addColumn<int>("item"); // 0, 1, 2: Set10Hz1, Set50Hz1, Set60Hz1
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Set 10Hz") << 0 << 266 << QStringLiteral("10 Hz");
    QTest::newRow("Set 50Hz") << 1 << 306 << QStringLiteral("50 Hz");
    QTest::newRow("Set 60Hz") << 2 << 316 << QStringLiteral("60 Hz");
}

// Confirmed: 256 + Hz and 0 from register 46252 to every listed module in
// address order (module 9, whose firmware is older than 3.11, too; module 40
// does not answer and is tried twice), under "Setting Frequency"; then the
// scan under its own box shows the new notch; then "Frequency Change".
void TestMiscInfoPage::frequencyGoesToEveryListedModuleThenScan()
{
    QFETCH(int, item);
    QFETCH(int, command);
    QFETCH(QString, shown);
    for (int m : {40, 9, 5, 2})
        configure(m);
    selectPage();
    ProgressLog progress(m_window.get(), *m_sim);
    ModalLog modals;

    m_page->Freq_Menu->actions().at(item)->trigger();

    QCOMPARE(modals.captions(), (QStringList{QStringLiteral("Please Read Carefully"),
                                             QStringLiteral("Frequency Change")}));
    QCOMPARE(modals.seen[1].label,
             QStringLiteral("Module may have to be powered down\nto complete configuration."));
    QCOMPARE(progress.captions(), (QStringList{QStringLiteral("Setting Frequency"),
                                               QStringLiteral("Scanning Modules")}));
    QCOMPARE(progress.boxes[0].maximum, 4);
    QCOMPARE(progress.boxes[0].positions, (QList<int>{1, 2, 3, 4}));
    QCOMPARE(progress.boxes[0].requestsWhenShown, 0);

    const auto write = [command](int address) {
        return SimRequest{address, 16, 46252, 2, {quint16(command), 0}};
    };
    const QList<SimRequest> all = m_sim->requests();
    QCOMPARE(all.mid(0, 5),
             (QList<SimRequest>{write(2), write(5), write(9), write(40), write(40)}));
    // Every write before the scan's box, and only reads after it.
    QCOMPARE(progress.boxes[1].requestsWhenShown, 5);
    for (const SimRequest &request : all.mid(5))
        QCOMPARE(request.function, 3);

    for (int m : {2, 5, 9})
        QCOMPARE(m_sim->moduleState(m)->notchHz, command - 256);
    QCOMPARE(row(1).mid(0, 4), (QStringList{QStringLiteral("Module 2"), QStringLiteral("UNKNOWN"),
                                            QStringLiteral("3.11"), shown}));
    QCOMPARE(row(2)[3], shown);
    QCOMPARE(row(3)[3], shown);
    QCOMPARE(row(4).mid(1, 3), QStringList(3, QStringLiteral("----")));
    QVERIFY(m_window->findChildren<TMessageBoxF *>().isEmpty());
}

// With nothing listed the command still runs its course: an empty box, no
// write, a scan that asks nothing, and the message.
void TestMiscInfoPage::frequencyChangeWithNoModuleListedStillTells()
{
    selectPage();
    ProgressLog progress(m_window.get(), *m_sim);
    ModalLog modals;
    m_page->Set10Hz1Click();

    QCOMPARE(modals.captions(), (QStringList{QStringLiteral("Please Read Carefully"),
                                             QStringLiteral("Frequency Change")}));
    QCOMPARE(progress.captions(), (QStringList{QStringLiteral("Setting Frequency"),
                                               QStringLiteral("Scanning Modules")}));
    QCOMPARE(progress.boxes[0].positions, QList<int>{});
    QVERIFY(m_sim->requests().isEmpty());
}

// A screen reader reads the grid as a table of the four shown columns with
// the heading as column header (the hidden address columns are not told),
// the buttons by their captions, and the menu items without the mnemonic
// marks.
void TestMiscInfoPage::assistiveTechnologyReadsThePage()
{
    for (int m : {2, 5})
        configure(m);
    selectPage();
    m_page->scan_BClick();

    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(m_page->Freq_Grid);
    QVERIFY(grid);
    QCOMPARE(grid->text(QAccessible::Name), QStringLiteral("Module information"));
    QAccessibleTableInterface *table = grid->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->rowCount(), 2);
    for (int c = 1; c < 4; ++c)
        QCOMPARE(table->columnDescription(c), kHeading[c]);
    QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("Module 2"));
    QCOMPARE(table->cellAt(0, 1)->text(QAccessible::Name), QStringLiteral("UNKNOWN"));
    QCOMPARE(table->cellAt(1, 2)->text(QAccessible::Name), QStringLiteral("655.35"));
    QCOMPARE(table->cellAt(1, 3)->text(QAccessible::Name), QStringLiteral("UNKNOWN"));

    for (QPushButton *button : {m_page->scan_B, m_page->freq_B}) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Name), button->text());
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
        QCOMPARE(button->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    }

    QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(m_page->Freq_Menu);
    QVERIFY(menu);
    QCOMPARE(menu->childCount(), 3);
    QStringList names;
    for (int i = 0; i < 3; ++i)
        names << menu->child(i)->text(QAccessible::Name);
    QCOMPARE(names, (QStringList{QStringLiteral("Set 10Hz"), QStringLiteral("Set 50Hz"),
                                 QStringLiteral("Set 60Hz")}));
}

// The Comport panel says why the bus port cannot be opened after a scan, as
// it does after a metering tick, and takes it back once a scan opens it.
void TestMiscInfoPage::scanOnAPortThatIsNotThereSaysWhyOnThePanel()
{
    configure(2);
    selectPage();
    const QString linkPath = m_sim->linkPath();
    m_window->m_comport.SetPort(m_env->path(QStringLiteral("ttyGONE")));
    m_page->scan_BClick();
    QVERIFY2(m_window->com_P->toolTip().contains(QStringLiteral("no such port")),
             qPrintable(m_window->com_P->toolTip()));
    QCOMPARE(row(1).mid(1, 3), QStringList(3, QStringLiteral("----")));

    m_window->m_comport.SetPort(linkPath);
    m_page->scan_BClick();
    QCOMPARE(row(1).at(1), QStringLiteral("UNKNOWN"));
    QVERIFY2(!m_window->com_P->toolTip().contains(QStringLiteral("cannot be opened")),
             qPrintable(m_window->com_P->toolTip()));
}

QList<int> TestMiscInfoPage::addressed() const
{
    QList<int> order;
    for (const SimRequest &request : m_sim->requests()) {
        if (order.isEmpty() || order.last() != request.address)
            order << request.address;
    }
    return order;
}

void TestMiscInfoPage::listFollowsANewOrLoadedConfigurationWhileShown_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("listed");
    QTest::newRow("New Configuration") << "new" << QList<int>{};
    QTest::newRow("Load Configuration") << "load" << QList<int>{5, 9};
    // Refused, it leaves a new configuration.
    QTest::newRow("Load Configuration of a damaged file") << "damaged" << QList<int>{};
    // Nothing replaced: the list and what the scan read stay.
    QTest::newRow("Load Configuration cancelled") << "cancel" << QList<int>{2};
}

// File, New and Load Configuration work from every page (Ctrl+N, Ctrl+O).
// While this page shows, its list used to stay as it was, so Scan and Set
// Frequency went on asking and writing to the modules of the configuration
// before; the list now follows the new one.
void TestMiscInfoPage::listFollowsANewOrLoadedConfigurationWhileShown()
{
    QFETCH(QString, command);
    QFETCH(QList<int>, listed);
    TMainF &w = *m_window;
    const QString saved = m_env->path(QStringLiteral("five-nine.cfg"));
    configure(5);
    configure(9);
    QVERIFY(w.Config_Page->SaveConfigFile(saved, 10));
    const QString damaged = m_env->path(QStringLiteral("damaged.cfg"));
    {
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("cfg"), 3);
    }
    w.NewConfiguration1Click();
    configure(2);
    selectPage();
    QCOMPARE(m_page->GridAddresses(), QList<int>{2});
    m_page->scan_BClick();
    QCOMPARE(row(1)[1], QStringLiteral("UNKNOWN"));

    ModalLog modals; // the damaged file's box, then the notch boxes: OK
    if (command == QStringLiteral("new")) {
        w.NewConfiguration1->trigger();
    } else {
        const QString name = command == QStringLiteral("load")      ? saved
                             : command == QStringLiteral("damaged") ? damaged
                                                                    : QString();
        w.ChooseConfigFile = [name](bool, const QString &) { return name; };
        if (command == QStringLiteral("damaged"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^Configuration refused")));
        w.LoadConfig1->trigger();
    }
    QCOMPARE(w.PageControl1->currentWidget(), w.Misc_Tab);
    QCOMPARE(m_page->GridAddresses(), listed);
    QCOMPARE(m_page->freq_T->topLevelItemCount(), int(listed.size()));
    QCOMPARE(m_page->Freq_Grid->FixedRows(), listed.isEmpty() ? 0 : 1);
    if (command == QStringLiteral("cancel"))
        QCOMPARE(row(1)[1], QStringLiteral("UNKNOWN"));
    else {
        for (int r = 1; r <= int(listed.size()); ++r)
            QCOMPARE(row(r).mid(1, 3), QStringList(3, QString())); // not scanned yet
    }

    m_sim->clearRequests();
    m_page->scan_BClick();
    QCOMPARE(addressed(), listed);

    m_sim->clearRequests();
    m_page->Set50Hz1->trigger();
    QList<int> written;
    for (const SimRequest &request : m_sim->requests()) {
        if (request.function == 16)
            written << request.address;
    }
    QCOMPARE(written, listed);
    QCOMPARE(m_sim->moduleState(2)->notchHz, listed.contains(2) ? 50 : 60);
}

namespace {

bool IsMeteringRead(const SimRequest &request)
{
    return request.function == 3 && request.first == 16 && request.count == 8;
}

// The three identity reads of each module, as the scan makes them.
QList<SimRequest> ScanReads(const QList<int> &modules)
{
    QList<SimRequest> reads;
    for (int m : modules) {
        for (int first : {4, 5, 7})
            reads.append({m, 3, first, 2, {}});
    }
    return reads;
}

} // namespace

void TestMiscInfoPage::meterWithThePageShowing()
{
    TMainF &w = *m_window;
    for (int m : {2, 5, 9})
        configure(m);
    w.PageControl1->setCurrentWidget(w.Metering_Tab);
    w.Metering_F1start_BClick();
    QVERIFY(w.table.metering_on);
    w.Read_Timer->start(5);
    QTRY_VERIFY(std::any_of(m_sim->requests().cbegin(), m_sim->requests().cend(), IsMeteringRead));
    // The buttons stay enabled while metering runs.
    w.PageControl1->setCurrentWidget(w.Misc_Tab);
    QCOMPARE(m_page->GridAddresses(), (QList<int>{2, 5, 9}));
    QVERIFY(m_page->scan_B->isEnabled() && m_page->freq_B->isEnabled());
}

// Metering may run while the user scans: the scan takes the thread between
// two ticks, and its nine reads go out back to back, no metering read among
// them; metering goes on after it.
void TestMiscInfoPage::scanWhileMeteringTakesTheBusBetweenTwoTicks()
{
    meterWithThePageShowing();
    TMainF &w = *m_window;
    m_sim->clearRequests();
    m_page->scan_B->click();
    QCOMPARE(m_sim->requests(), ScanReads({2, 5, 9}));
    QCOMPARE(row(1).mid(1, 3), (QStringList{QStringLiteral("UNKNOWN"), QStringLiteral("3.11"),
                                            QStringLiteral("60 Hz")}));
    QCOMPARE(row(3).mid(1, 3), (QStringList{QStringLiteral("TAV RTD"), QStringLiteral("3.00"),
                                            QStringLiteral("60 Hz")}));
    QVERIFY(w.table.metering_on);
    QTRY_VERIFY(IsMeteringRead(m_sim->requests().last()));
    w.Metering_F1stop_BClick();
}

// The same for a notch change: while its warning is open metering goes on
// (the box waits for the user, not the bus); once confirmed, the three
// writes and the nine reads of the scan after them go out back to back;
// metering goes on while the closing message is open and after it.
void TestMiscInfoPage::frequencyChangeWhileMeteringTakesTheBusBetweenTwoTicks()
{
    meterWithThePageShowing();
    TMainF &w = *m_window;
    m_sim->clearRequests();
    ModalLog modals;
    // Each box is answered once a tick has had its turn behind it (or
    // never will: answered all the same, so that the test goes on).
    const auto answerAfterATick = [this](qsizetype &before, bool &ticked) {
        return [this, &before, &ticked](QWidget *box) {
            before = m_sim->requests().size();
            ticked = QTest::qWaitFor([&] { return m_sim->requests().size() > before; });
            PressButton(box, QStringLiteral("OK"));
        };
    };
    qsizetype beforeWarning = -1;
    qsizetype beforeMessage = -1;
    bool tickedBehindWarning = false;
    bool tickedBehindMessage = false;
    modals.queue(answerAfterATick(beforeWarning, tickedBehindWarning));
    modals.queue(answerAfterATick(beforeMessage, tickedBehindMessage));

    m_page->Set50Hz1->trigger();

    QCOMPARE(modals.captions(), (QStringList{QStringLiteral("Please Read Carefully"),
                                             QStringLiteral("Frequency Change")}));
    QVERIFY(tickedBehindWarning);
    QVERIFY(tickedBehindMessage);
    const QList<SimRequest> all = m_sim->requests();
    const auto write = [](int address) { return SimRequest{address, 16, 46252, 2, {306, 0}}; };
    const qsizetype first = all.indexOf(write(2));
    QVERIFY(first > beforeWarning);
    for (const SimRequest &request : all.mid(0, first))
        QVERIFY(IsMeteringRead(request)); // behind the warning
    QCOMPARE(all.mid(first, 12),
             (QList<SimRequest>{write(2), write(5), write(9)} + ScanReads({2, 5, 9})));
    QVERIFY(beforeMessage >= first + 12);
    for (const SimRequest &request : all.mid(first + 12))
        QVERIFY(IsMeteringRead(request)); // behind the message
    for (int r = 1; r <= 3; ++r)
        QCOMPARE(row(r)[3], QStringLiteral("50 Hz"));
    QVERIFY(w.table.metering_on);
    w.Metering_F1stop_BClick();
}

QTEST_MAIN(TestMiscInfoPage)
#include "tst_miscinfopage.moc"

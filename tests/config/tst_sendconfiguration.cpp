// Sending the configuration from the page through the real Modbus master to
// the bus simulator on a pseudo-terminal.

#include "config/configpage.h"
#include "config/configtree.h"
#include "config/tmessageboxf.h"
#include "link/tcomport.h"
#include "modules/moduletable.h"
#include "sim/bussimulator.h"

#include <QDialog>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestSendConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesListedModulesWithInputsInUse();
    void emptyGridSendsNothing();

private:
    QTemporaryDir m_dir;
};

namespace {

// The page on a table whose port is the simulator's line.
struct SendFixture
{
    ModuleTable table;
    TComPort port;
    QWidget mainWindow;
    std::unique_ptr<ConfigPage> page;

    explicit SendFixture(const QString &line)
    {
        port.SetPort(line);
        table.bus_target.port = &port;
        page = std::make_unique<ConfigPage>(table, &mainWindow);
        page->BuildConfigTree();
    }
    void Expand(int group)
    {
        QTreeWidgetItem *node = page->Config_Tree->topLevelItem(group - 1);
        node->setExpanded(true); // through Config_TreeExpanding
    }
};

// Watches the window for the progress box the page puts over it, and records
// the box's caption, maximum and every position its bar takes.
class ProgressWatch : public QObject
{
public:
    explicit ProgressWatch(QWidget *window) { window->installEventFilter(this); }

    int boxes = 0;
    QString caption;
    int maximum = -1;
    QList<int> positions;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            auto *added = static_cast<QChildEvent *>(event)->child();
            if (auto *box = qobject_cast<TMessageBoxF *>(added)) {
                ++boxes;
                caption = box->windowTitle();
                maximum = box->ProgressBar1->maximum();
                QObject::connect(box->ProgressBar1, &QProgressBar::valueChanged, this,
                                 [this](int value) { positions.append(value); });
            }
        }
        return false;
    }
};

QList<SimRequest> Writes(const BusSimulator &sim)
{
    QList<SimRequest> writes;
    for (const SimRequest &request : sim.requests()) {
        if (request.function == 16)
            writes.append(request);
    }
    return writes;
}

} // namespace

void TestSendConfiguration::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestSendConfiguration::writesListedModulesWithInputsInUse()
{
    BusSimulator sim(m_dir.filePath(QStringLiteral("ttyBUS")));
    for (int m : {3, 5, 7, 9, 12, 40})
        QVERIFY(sim.addModule(m));
    QVERIFY(sim.setFault(7, Fault::Silent));
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));

    SendFixture f(sim.linkPath());
    f.Expand(1);
    const int example[8] = {1, 0, 2, 3, 4, 5, 0, 1};
    for (int k = 1; k <= 8; ++k)
        f.table.input_type[k][5] = example[k - 1];
    f.table.input_type[1][3] = 4;
    f.table.input_type[8][7] = 5; // does not answer
    f.table.input_type[2][9] = 2;
    f.table.input_type[3][12] = 1;
    f.table.module_state[12] = 2;  // deselected: not listed
    f.table.input_type[4][40] = 3; // group 3 collapsed: not listed
    f.page->RefreshConfigGrid();

    ProgressWatch watch(&f.mainWindow);
    f.page->SendConfiguration(&f.mainWindow);

    // The page's box over the window: one step per listed module (1-16),
    // each told before that module's turn, skipped modules included.
    QCOMPARE(watch.boxes, 1);
    QCOMPARE(watch.caption, QStringLiteral("Sending Configuration"));
    QCOMPARE(watch.maximum, 15); // module 12 is deselected
    QList<int> steps;
    for (int i = 1; i <= 15; ++i)
        steps.append(i);
    QCOMPARE(watch.positions, steps);

    const QList<SimRequest> writes = Writes(sim);
    QList<int> addresses;
    for (const SimRequest &w : writes)
        addresses.append(w.address);
    // Module 7 is tried twice and passed over; 12 and 40 are not listed and
    // every other listed module has no input in use.
    QCOMPARE(addresses, (QList<int>{3, 5, 7, 7, 9}));
    const SimRequest &module5 = writes[1];
    QCOMPARE(module5.first, 0);
    QCOMPARE(module5.count, 4);
    QCOMPARE(module5.values, (QList<quint16>{256, 515, 1029, 1}));

    QCOMPARE(sim.moduleState(3)->inputTypes, (SimInputTypes{4, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(sim.moduleState(9)->inputTypes, (SimInputTypes{0, 2, 0, 0, 0, 0, 0, 0}));
    QVERIFY(!sim.moduleState(12)->configured);
    QVERIFY(!sim.moduleState(40)->configured);
    QVERIFY(f.mainWindow.findChildren<QDialog *>().isEmpty());
    sim.stop();
}

void TestSendConfiguration::emptyGridSendsNothing()
{
    BusSimulator sim(m_dir.filePath(QStringLiteral("ttyBUS2")));
    QVERIFY(sim.addModule(1));
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));

    SendFixture f(sim.linkPath());
    for (int k = 1; k <= 8; ++k)
        f.table.input_type[k][1] = 1; // in use, but group 1 is collapsed
    f.page->RefreshConfigGrid();
    f.page->SendConfiguration(&f.mainWindow);

    QVERIFY(sim.requests().isEmpty());
    QVERIFY(f.mainWindow.findChildren<QDialog *>().isEmpty());
    sim.stop();
}

QTEST_MAIN(TestSendConfiguration)
#include "tst_sendconfiguration.moc"

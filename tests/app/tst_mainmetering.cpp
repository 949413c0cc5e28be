#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "metering/busstatuswindow.h"
#include "metering/tmetering_f.h"
#include "support/modal.h"
#include "support/windowenvironment.h"
#include "widgets/piegauge.h"
#include "widgets/stateimages.h"
#include "widgets/statuspanel.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// The main window's side of metering, datalogging and configuration files:
// what its handlers do to the table, the pages, the menu, the status panels,
// the preferences and the files. The bus is a path where no port is, so every
// read fails at once and shows "----"; the cycle's arithmetic against real
// answers has its own suite.
class TestMainMetering : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void meteringPagePreparesOnlyWhileStopped();
    void preparingRaisesThePeriodToTwiceTheActiveModules_data();
    void preparingRaisesThePeriodToTwiceTheActiveModules();
    void startLocksTheSettingsAndStopFreesThem();
    void startClosesAnOpenTypeSelector();
    void busStatusCountsFromTheStartAndMarksASilentPeriod();
    void ticksShowLogAndMoveTheGauge();
    void logRowsFollowTheDayAcrossMidnight();
    void unwritableLogFolderDropsRowsWhileMeteringGoesOn();
    void datalogDialogSavesAndShowsTheStatus_data();
    void datalogDialogSavesAndShowsTheStatus();
    void saveThenLoadRestoresTypesAndPeriod();
    void loadRevealsSelectedModulesInTheTree();
    void rejectedFileIsReportedAndKeepsThePeriod();
    void unopenableFileChangesNothingButItsName();
    void cancelledLoadStillPreparesAndSaves();
    void failedSaveIsReportedAndKeepsTheName();
    void autoStartLoadsTheFileAndMeters();
    void autoStartWithAMissingFileMetersNothing();

private:
    std::unique_ptr<WindowEnvironment> m_env;
};

namespace {

// Group g expanded and inputs 1..8 of module m set to type, as a user does
// it on the Configuration page.
void configure(TMainF &w, int m, int type)
{
    const int g = ModuleTable::GroupOf(m);
    w.Config_Page->Config_Tree->topLevelItem(g - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = type;
    w.Config_Page->RefreshConfigGrid();
}

// A configuration file as its bytes lie on disk: header 0..5, the period,
// 63 blocks of eight type codes, trailer 0..5, 33 bytes of filler.
QByteArray cfgImage(int period, const QMap<int, QByteArray> &blocks)
{
    QByteArray bytes("\x00\x01\x02\x03\x04\x05", 6);
    bytes.append(char(period));
    for (int m = 1; m <= 63; ++m)
        bytes.append(blocks.value(m, QByteArray(8, '\0')));
    bytes.append(QByteArray("\x00\x01\x02\x03\x04\x05", 6));
    bytes.append(QByteArray(33, '\0'));
    return bytes;
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestMainMetering::init()
{
    m_env = std::make_unique<WindowEnvironment>();
    // No port is there: every bus exchange fails at once.
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() + "\n");
}

void TestMainMetering::cleanup()
{
    m_env.reset();
}

void TestMainMetering::meteringPagePreparesOnlyWhileStopped()
{
    TMainF w;
    configure(w, 2, kPt100);
    w.PageControl1->setCurrentWidget(w.Metering_Tab);
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 2);
    QVERIFY(w.Metering_F1->start_B->isEnabled());
    QCOMPARE(w.Config_Page->Config_Grid->toolTip(),
             QStringLiteral("Configuration cannot be changed while metering"));

    // While metering runs, a visit to the page changes neither the module
    // list nor the period.
    w.Metering_F1start_BClick();
    w.PageControl1->setCurrentWidget(w.Config_Tab);
    w.table.input_type[1][3] = kPt100;
    w.table.module_state[3] = kMarkOn;
    w.PrefInfo.Period = 1;
    w.PageControl1->setCurrentWidget(w.Metering_Tab);
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 2);
    QCOMPARE(w.PrefInfo.Period, 1);
    w.Metering_F1stop_BClick();
}

void TestMainMetering::preparingRaisesThePeriodToTwiceTheActiveModules_data()
{
    QTest::addColumn<int>("modules");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("prepared");
    QTest::newRow("40 modules raise 63 to 80") << 40 << 63 << 80;
    QTest::newRow("40 modules leave 100") << 40 << 100 << 100;
    QTest::newRow("no module leaves 63") << 0 << 63 << 63;
}

void TestMainMetering::preparingRaisesThePeriodToTwiceTheActiveModules()
{
    QFETCH(int, modules);
    QFETCH(int, period);
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nPeriod=" + QByteArray::number(period) + "\n");
    TMainF w;
    for (int m = 1; m <= modules; ++m)
        configure(w, m, kNi100);
    w.PrepareMetering();
    QTEST(w.PrefInfo.Period, "prepared");
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: %1").arg(w.PrefInfo.Period));
    QCOMPARE(w.Metering_F1->CGauge1->MaxValue(), w.PrefInfo.Period);
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), modules + 1);
    QCOMPARE(w.Metering_F1->start_B->isEnabled(), modules > 0);
    // Only in memory: the store keeps what it had until the next save.
    QCOMPARE(m_env->storedValue(QStringLiteral("Period")), QString::number(period));
}

void TestMainMetering::startLocksTheSettingsAndStopFreesThem()
{
    TMainF w;
    configure(w, 5, kPt100);
    w.PrepareMetering();
    const QList<QAction *> items{w.Comport1,      w.Datalogging1,   w.TempDisplay1,
                                 w.SamplePeriod1, w.RTDModuleType1, w.NewConfiguration1,
                                 w.LoadConfig1,   w.SaveConfig1,    w.SendConfig1};
    const QList<StatusPanel *> panels{w.config_file_P, w.datalog_file_P, w.datalog_P,
                                      w.com_P,         w.period_P,       w.temp_P};

    w.Metering_F1->start_B->click();
    QVERIFY(w.table.metering_on);
    QVERIFY(w.Read_Timer->isActive());
    QCOMPARE(w.Read_Timer->interval(), 1000);
    QCOMPARE(w.Read_Timer->timerType(), Qt::PreciseTimer);
    QCOMPARE(w.cycle.tick_count, 0);
    QCOMPARE(w.cycle.read_cursor, 0);
    for (const QAction *item : items)
        QVERIFY2(!item->isEnabled(), qPrintable(item->objectName()));
    for (const StatusPanel *panel : panels)
        QVERIFY2(!panel->isEnabled(), qPrintable(panel->objectName()));
    QVERIFY(w.Config_Page->options_P->isHidden());
    QVERIFY(w.IsTabVisible(w.Plot_Tab));
    QVERIFY(w.Metering_F1->start_B->isHidden());
    QVERIFY(!w.Metering_F1->CGauge1->isHidden());
    // The menu item the Configuration page leaves alone stays usable.
    QVERIFY(w.About1->isEnabled());

    w.Metering_F1->stop_B->click();
    QVERIFY(!w.table.metering_on);
    QVERIFY(!w.Read_Timer->isActive());
    for (const QAction *item : items)
        QVERIFY2(item->isEnabled(), qPrintable(item->objectName()));
    for (const StatusPanel *panel : panels)
        QVERIFY2(panel->isEnabled(), qPrintable(panel->objectName()));
    QVERIFY(!w.Config_Page->options_P->isHidden());
    QVERIFY(w.Config_Page->Config_Grid->toolTip().isEmpty());
    // The plot page stays, and so do the last texts.
    QVERIFY(w.IsTabVisible(w.Plot_Tab));
}

// The window counts reads from each start of metering and marks a module
// that answered nothing in a whole period in the Metering page's tree, and
// Diagnostics, Bus Status (F6) lists the configured modules.
// The records the test appends stand for reads of the module (before the
// start: of an earlier run). The bus has no port, so whatever the bus layer
// itself records of the ticks' reads fails as well and changes nothing here.
void TestMainMetering::busStatusCountsFromTheStartAndMarksASilentPeriod()
{
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() + "\nPeriod=2\n");
    TMainF w;
    configure(w, 2, kPt100);
    w.PrepareMetering();
    ExchangeRecord read;
    read.address = 2;
    read.function = 3;
    read.first_register = 16;
    read.count = 8;
    read.outcome = ExchangeOutcome::NoAnswer;
    w.bus_log.Append(read);
    QCOMPARE(w.bus_status.Module(2).reads_failed, 1);

    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    const ModuleBusStatus &module = w.bus_status.Module(2);
    QCOMPARE(module.reads_answered + module.reads_failed, 0);

    const auto picture = [&w] {
        return w.Metering_F1->metering_T->topLevelItem(0)->icon(0).pixmap(16, 16).toImage();
    };
    const QImage green = StateIcon(kMarkOn).pixmap(16, 16).toImage();
    const QImage crossed = StateIcon(kStateNotAnswering).pixmap(16, 16).toImage();
    // Period 2: tick 0 reads module 2, ticks 1 and 2 are idle, and the next
    // tick 0 ends the period.
    w.Read_TimerTimer();
    w.bus_log.Append(read);
    w.Read_TimerTimer();
    w.Read_TimerTimer();
    QCOMPARE(picture(), green);
    w.Read_TimerTimer();
    QCOMPARE(picture(), crossed);
    const QString hint = w.Metering_F1->metering_T->topLevelItem(0)->toolTip(0);
    QVERIFY2(hint.startsWith(QStringLiteral("Module 2: not answering for a whole period, ")),
             qPrintable(hint));
    QCOMPARE(w.Metering_F1->RowHeaderHint(1), hint);

    // An answer brings the green dot back at once.
    read.outcome = ExchangeOutcome::Answered;
    w.bus_log.Append(read);
    w.Read_TimerTimer();
    QCOMPARE(picture(), green);

    QCOMPARE(w.BusStatus1->shortcut(), QKeySequence(Qt::Key_F6));
    w.BusStatus1->trigger();
    QVERIFY(w.BusStatus_F && w.BusStatus_F->isVisible());
    QVERIFY(!w.BusStatus_F->isModal());
    QCOMPARE(w.BusStatus_F->Status_Table->rowCount(), 1);
    QCOMPARE(w.BusStatus_F->Status_Table->item(0, 0)->text(), QStringLiteral("2"));
    w.Metering_F1stop_BClick();
}

// A type selector left open on the Configuration page stayed usable after
// START: it showed a newly picked type that the page then silently refused.
// Starting closes it, and it cannot be opened again while metering runs.
void TestMainMetering::startClosesAnOpenTypeSelector()
{
    TMainF w;
    configure(w, 5, kPt100);
    w.PageControl1->setCurrentWidget(w.Config_Tab);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Config_Page->Config_GridSelectCell(2, 1);
    QVERIFY(w.Config_Page->setting_CB->isVisible());

    w.PrepareMetering();
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    QVERIFY(!w.Config_Page->setting_CB->isVisible());
    w.Config_Page->Config_GridSelectCell(3, 1);
    QVERIFY(!w.Config_Page->setting_CB->isVisible());
    QCOMPARE(w.table.input_type[2][5], int(kPt100));
    w.Metering_F1stop_BClick();
}

void TestMainMetering::ticksShowLogAndMoveTheGauge()
{
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nDatalog=1\nDataFile=" + m_env->path(QStringLiteral("plant")).toUtf8() +
                      "\n");
    TMainF w;
    w.Now = [] { return QDateTime(QDate(2026, 3, 4), QTime(14, 3, 7)); };
    configure(w, 2, kPt100);
    configure(w, 7, kCu10);
    w.PrepareMetering();
    QCOMPARE(w.PrefInfo.Period, 63);
    w.Metering_F1start_BClick();
    w.Read_Timer->stop(); // the test ticks

    w.Read_TimerTimer(); // module 2
    w.Read_TimerTimer(); // module 7
    w.Read_TimerTimer(); // idle
    const StringGrid *grid = w.Metering_F1->Metering_Grid;
    QCOMPARE(grid->Cell(1, 1), QStringLiteral("----"));
    QCOMPARE(grid->Cell(8, 2), QStringLiteral("----"));
    QCOMPARE(grid->Cell(10, 2), QStringLiteral("0")); // the idle tick turned it black
    QCOMPARE(w.Metering_F1->CGauge1->Progress(), 2);
    QCOMPARE(w.cycle.tick_count, 3);

    const QByteArray dashes =
        "\t  ----\t  ----\t  ----\t  ----\t  ----\t  ----\t  ----\t  ----\r\n";
    QCOMPARE(readFile(m_env->path(QStringLiteral("plant_0304.csv"))),
             "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r\n"
             "14:03:07\tRTD Module 2" +
                 dashes + "14:03:07\tRTD Module 7" + dashes);
    QCOMPARE(w.datalog_file_P->text(), QStringLiteral("Datalog To: plant_0304.csv"));
    w.Metering_F1stop_BClick();
}

void TestMainMetering::logRowsFollowTheDayAcrossMidnight()
{
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nDatalog=1\nDataFile=" + m_env->path(QStringLiteral("rtd_data")).toUtf8() +
                      "\n");
    TMainF w;
    QDateTime now(QDate(2026, 12, 31), QTime(23, 59, 59));
    w.Now = [&now] { return now; };
    configure(w, 1, kPt100);
    w.PrepareMetering();
    w.PrefInfo.Period = 0; // every tick reads module 1
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    w.Read_TimerTimer();
    now = QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0));
    w.Read_TimerTimer();

    const QByteArray header =
        "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r\n";
    const QByteArray old = readFile(m_env->path(QStringLiteral("rtd_data_1231.csv")));
    const QByteArray next = readFile(m_env->path(QStringLiteral("rtd_data_0101.csv")));
    QVERIFY(old.startsWith(header + "23:59:59\tRTD Module 1\t"));
    QCOMPARE(old.count('\n'), 2);
    QVERIFY(next.startsWith(header + "00:00:00\tRTD Module 1\t"));
    QCOMPARE(next.count('\n'), 2);
    QCOMPARE(w.datalog_file_P->text(), QStringLiteral("Datalog To: rtd_data_0101.csv"));
    w.Metering_F1stop_BClick();
}

void TestMainMetering::unwritableLogFolderDropsRowsWhileMeteringGoesOn()
{
    const QString folder = m_env->path(QStringLiteral("gone"));
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nPeriod=4\nDatalog=1\nDataFile=" + folder.toUtf8() + "/plant\n");
    TMainF w;
    w.Now = [] { return QDateTime(QDate(2026, 3, 4), QTime(9, 0, 0)); };
    configure(w, 4, kNi120);
    configure(w, 6, kNi120);
    w.PrepareMetering();
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    // The user is not told, but the warning log says which file and why,
    // once for a reason that stays the same.
    const QString file = QDir::toNativeSeparators(folder + QStringLiteral("/plant_0304.csv"));
    QTest::ignoreMessage(QtWarningMsg,
                         qUtf8Printable(QStringLiteral("Datalog row dropped: %1 cannot be opened: "
                                                       "No such file or directory.")
                                            .arg(file)));
    w.Read_TimerTimer(); // module 4: the folder is missing, the row is dropped
    QVERIFY(w.table.metering_on);
    QCOMPARE(w.Metering_F1->Metering_Grid->Cell(10, 1), QStringLiteral("1"));
    w.Read_TimerTimer(); // module 6: dropped for the same reason, not logged again
    w.Read_TimerTimer(); // three idle ticks end the period of 4 s
    w.Read_TimerTimer();
    w.Read_TimerTimer();
    QVERIFY(QDir().mkpath(folder));
    w.Read_TimerTimer(); // module 4 again: the next row tries again
    const QByteArray log = readFile(folder + QStringLiteral("/plant_0304.csv"));
    QVERIFY(!log.contains("RTD Module 6"));
    QCOMPARE(log.count("09:00:00\tRTD Module 4\t"), 1);
    w.Metering_F1stop_BClick();
}

void TestMainMetering::datalogDialogSavesAndShowsTheStatus_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("ok") << true;
    QTest::newRow("cancel") << false;
}

void TestMainMetering::datalogDialogSavesAndShowsTheStatus()
{
    QFETCH(bool, ok);
    TMainF w;
    w.Now = [] { return QDateTime(QDate(2026, 3, 14), QTime(8, 0, 0)); };
    w.RunDatalogDialog = [ok](bool &autoStart, QString &dataFile, bool &datalog) {
        if (!ok)
            return;
        datalog = true;
        autoStart = true;
        dataFile = QStringLiteral("/logs/boiler");
    };
    w.Datalogging1->trigger();
    // Saved after OK and after Cancel alike.
    QCOMPARE(m_env->storedValue(QStringLiteral("Datalog")),
             ok ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(m_env->storedValue(QStringLiteral("DataFile")),
             ok ? QStringLiteral("/logs/boiler") : QStringLiteral("rtd_data"));
    QCOMPARE(w.datalog_P->text(),
             ok ? QStringLiteral("Datalogging: ON") : QStringLiteral("Datalogging: OFF"));
    QCOMPARE(w.datalog_file_P->text(),
             ok ? QStringLiteral("Datalog To: boiler_0314.csv") : QString());
}

void TestMainMetering::saveThenLoadRestoresTypesAndPeriod()
{
    const QString file = m_env->path(QStringLiteral("plant.cfg"));
    {
        TMainF w;
        configure(w, 5, kPt100);
        w.table.input_type[2][5] = kNotUsed;
        configure(w, 40, k4to20mA);
        w.PrefInfo.Period = 300; // kept as its low eight bits: 44
        w.ChooseConfigFile = [&](bool save, const QString &) { return save ? file : QString(); };
        w.SaveConfig1Click();
        QCOMPARE(w.config_file_P->text(), QStringLiteral("Config File: plant.cfg"));
        QCOMPARE(m_env->storedValue(QStringLiteral("Config_File")), file);
    }
    QMap<int, QByteArray> blocks;
    blocks[5] = QByteArray("\x01\x00\x01\x01\x01\x01\x01\x01", 8);
    blocks[40] = QByteArray(8, '\x05');
    QCOMPARE(readFile(file), cfgImage(44, blocks));

    TMainF w;
    w.ChooseConfigFile = [&](bool save, const QString &initial) {
        return save ? QString() : (initial == file ? file : QString());
    };
    w.LoadConfig1Click();
    QCOMPARE(w.table.input_type[1][5], int(kPt100));
    QCOMPARE(w.table.input_type[2][5], int(kNotUsed));
    QCOMPARE(w.table.input_type[8][40], int(k4to20mA));
    QCOMPARE(w.table.module_state[6], kMarkOff);
    // Two modules to read: 44 stands.
    QCOMPARE(w.PrefInfo.Period, 44);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 44"));
    QCOMPARE(w.Config_Page->GridAddresses(), (QList<int>{5, 40}));
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 3);
}

void TestMainMetering::loadRevealsSelectedModulesInTheTree()
{
    const QString file = m_env->path(QStringLiteral("two.cfg"));
    QMap<int, QByteArray> blocks;
    blocks[20] = QByteArray("\x02\x00\x00\x00\x00\x00\x00\x00", 8);
    writeFile(file, cfgImage(10, blocks));

    TMainF w;
    // Group 1 open before the load: it keeps its expansion, all crosses.
    ConfigTree *tree = w.Config_Page->Config_Tree;
    tree->topLevelItem(0)->setExpanded(true);
    w.ChooseConfigFile = [&](bool, const QString &) { return file; };
    w.LoadConfig1Click();

    QTreeWidgetItem *group1 = tree->topLevelItem(0);
    QTreeWidgetItem *group2 = tree->topLevelItem(1);
    QVERIFY(group2->isExpanded());
    QCOMPARE(ConfigPage::NodeStateIndex(group2), 0);
    QCOMPARE(ConfigPage::NodeStateIndex(group2->child(3)), kMarkOn); // module 20
    QCOMPARE(ConfigPage::NodeStateIndex(group2->child(4)), kMarkOff);
    QVERIFY(group1->isExpanded());
    QCOMPARE(w.table.group_state[1], kMarkOff);
    QCOMPARE(ConfigPage::NodeStateIndex(group1->child(0)), kMarkOff);
    QVERIFY(!tree->topLevelItem(2)->isExpanded());
    QCOMPARE(w.Config_Page->GridAddresses(), QList<int>{20});
}

// The period byte of a file that fails its checks used to become the period.
void TestMainMetering::rejectedFileIsReportedAndKeepsThePeriod()
{
    const QString file = m_env->path(QStringLiteral("bad.cfg"));
    QMap<int, QByteArray> blocks;
    blocks[3] = QByteArray("\x01\x06\x00\x00\x00\x00\x00\x00", 8); // a code of 6
    writeFile(file, cfgImage(200, blocks));

    TMainF w;
    configure(w, 9, kPt100);
    w.ChooseConfigFile = [&](bool, const QString &) { return file; };
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    // The box says only that the file is wrong; the warning log says what.
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^Configuration refused: .*bad\\.cfg.*")));
    w.LoadConfig1Click();

    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("File Error"));
    QCOMPARE(seen->text, QStringLiteral("Error in Configuration File."));
    QCOMPARE(w.PrefInfo.Period, 63);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 63"));
    // A new configuration, and the rejected file named for the next dialog.
    QCOMPARE(w.table.input_type[1][9], int(kNotUsed));
    QCOMPARE(w.table.group_state[1], kMarkOff);
    QVERIFY(w.config_file_P->text().isEmpty());
    QCOMPARE(w.PrefInfo.Config_File, file);
    QCOMPARE(m_env->storedValue(QStringLiteral("Config_File")), file);
}

void TestMainMetering::unopenableFileChangesNothingButItsName()
{
    TMainF w;
    configure(w, 9, kPt100);
    const QString file = m_env->path(QStringLiteral("missing.cfg"));
    w.ChooseConfigFile = [&](bool, const QString &) { return file; };
    w.LoadConfig1Click();
    QCOMPARE(w.table.input_type[1][9], int(kPt100));
    QCOMPARE(w.PrefInfo.Config_File, file);
    QVERIFY(w.config_file_P->text().isEmpty());
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 2); // prepared
}

void TestMainMetering::cancelledLoadStillPreparesAndSaves()
{
    TMainF w;
    for (int m = 1; m <= 40; ++m)
        configure(w, m, kPt100);
    w.ChooseConfigFile = [](bool, const QString &) { return QString(); };
    w.LoadConfig1Click();
    QCOMPARE(w.PrefInfo.Period, 80);
    QCOMPARE(m_env->storedValue(QStringLiteral("Period")), QStringLiteral("80"));
    QCOMPARE(m_env->storedValue(QStringLiteral("Config_File")), QStringLiteral("rtd.cfg"));
}

// A save that could not write looked like success: no message, and the
// status panel named a file that did not hold the configuration.
void TestMainMetering::failedSaveIsReportedAndKeepsTheName()
{
    const QString file = m_env->path(QStringLiteral("nofolder/plant.cfg"));
    TMainF w;
    configure(w, 5, kPt100);
    w.ChooseConfigFile = [&](bool, const QString &) { return file; };
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    w.SaveConfig1Click();
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("File Error"));
    QVERIFY2(seen->text.contains(QStringLiteral("plant.cfg")), qPrintable(seen->text));
    QCOMPARE(w.PrefInfo.Config_File, QStringLiteral("rtd.cfg"));
    QVERIFY(w.config_file_P->text().isEmpty());
    QVERIFY(!QFile::exists(file));
}

void TestMainMetering::autoStartLoadsTheFileAndMeters()
{
    const QString file = m_env->path(QStringLiteral("auto.cfg"));
    QMap<int, QByteArray> blocks;
    blocks[2] = QByteArray(8, '\x01');
    blocks[7] = QByteArray(8, '\x03');
    writeFile(file, cfgImage(6, blocks));
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nAutoStart=1\nDatalog=1\nConfig_File=" + file.toUtf8() + "\n");
    TMainF w;
    QVERIFY(w.table.metering_on);
    QCOMPARE(w.PageControl1->currentWidget(), w.Metering_Tab);
    QVERIFY(w.Read_Timer->isActive());
    QCOMPARE(w.PrefInfo.Period, 6);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 6"));
    QCOMPARE(w.config_file_P->text(), QStringLiteral("Config File: auto.cfg"));
    QCOMPARE(w.Config_Page->GridAddresses(), (QList<int>{2, 7}));
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 3);
    QVERIFY(w.PrefInfo.AutoStart);
    w.Metering_F1stop_BClick();
}

void TestMainMetering::autoStartWithAMissingFileMetersNothing()
{
    m_env->writeStore(
        "Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
        "\nAutoStart=1\nConfig_File=" + m_env->path(QStringLiteral("none.cfg")).toUtf8() + "\n");
    TMainF w;
    QVERIFY(w.table.metering_on);
    QCOMPARE(w.PageControl1->currentWidget(), w.Metering_Tab);
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 1);
    QVERIFY(w.PrefInfo.AutoStart);
    w.Read_Timer->stop();
    w.Read_TimerTimer(); // idle
    QCOMPARE(w.cycle.read_cursor, 64);
    w.Metering_F1stop_BClick();
}

QTEST_MAIN(TestMainMetering)
#include "tst_mainmetering.moc"

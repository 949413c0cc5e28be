#include "app/helpfile.h"
#include "app/moduleselectionpage.h"
#include "app/taboutbox.h"
#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "link/protocol.h"
#include "metering/datalogfile.h"
#include "metering/tmetering_f.h"
#include "sim/bussimulator.h"
#include "support/linesettings.h"
#include "support/modal.h"
#include "support/pty.h"
#include "support/windowenvironment.h"
#include "widgets/stateimages.h"
#include "widgets/statuspanel.h"
#include "widgets/stringgrid.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

// Each test starts the main window on an empty settings folder and in an
// empty working directory of its own.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartShowsDefaults();
    void pagesInTabOrder();
    void menuItems_data();
    void menuItems();
    void statusPanelLayout();
    void statusPanelClicks_data();
    void statusPanelClicks();
    void storedPlacement_data();
    void storedPlacement();
    void junkPreferencesStartWithDefaults();
    void datalogStatusAtStart_data();
    void datalogStatusAtStart();
    void closingSavesPlacementAndStopsTimers();
    void unwritablePreferencesAreReported();
    void busPortsTakeTheirLineSettings();
    void storedNetworkPortNamesBothPortsWithoutConnecting();
    void miscPageComputesActiveSet();
    void help_data();
    void help();
    void helpIsLookedForNextToTheProgramNotInTheCurrentFolder();
    void aboutBox();
    void stateImages();
    void configurationPageAtStart();
    void newConfigurationFromTheMenu();
    void sendConfigurationFromTheMenu();
    void storedUnitInAnotherCaseStillShowsReadings_data();
    void storedUnitInAnotherCaseStillShowsReadings();
    void placeOnNoScreenOpensCentredAndIsNotStoredAgain();
    void unreadablePreferencesAreReportedAndKeptAtClose_data();
    void unreadablePreferencesAreReportedAndKeptAtClose();
    void closingClosesOpenPorts();

private:
    std::unique_ptr<WindowEnvironment> m_env;
};

void TestMainWindow::init()
{
    m_env = std::make_unique<WindowEnvironment>();
}

void TestMainWindow::cleanup()
{
    m_env.reset();
}

void TestMainWindow::firstStartShowsDefaults()
{
    TMainF w;
    QCOMPARE(w.windowTitle(), QStringLiteral("KELVORA"));
    // The program's icon, on the window and on the about box it owns.
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.AboutBox->windowIcon().cacheKey(), w.windowIcon().cacheKey());
    QCOMPARE(w.width(), 800);
    QCOMPARE(w.height(), 550);
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.datalog_P->text(), QStringLiteral("Datalogging: OFF"));
    QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ttyS0"));
    QCOMPARE(w.temp_P->text(), QStringLiteral("Temperature: Celsius"));
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 63"));
    QVERIFY(w.config_file_P->text().isEmpty());
    QVERIFY(w.datalog_file_P->text().isEmpty());
    QCOMPARE(w.m_comport.Port(), QStringLiteral("ttyS0"));
    QCOMPARE(w.vrx_comport.Port(), QStringLiteral("ttyS0"));
    QCOMPARE(w.table.bus_target.port, &w.m_comport);
    QVERIFY(!w.Read_Timer->isActive());
    QVERIFY(!w.VRX_Read_Timer->isActive());
    QCOMPARE(w.VRX_Read_Timer->interval(), 1200);
    QVERIFY(!w.table.metering_on);
    QCOMPARE(w.cycle.tick_count, 0);
    QCOMPARE(w.cycle.read_cursor, 0);
    QCOMPARE(w.table.UpdateActiveModules(), 0);
    // The defaults were written on first start.
    QSettings raw(m_env->storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("63"));
    QCOMPARE(raw.value(QStringLiteral("Preferences/Comport")).toString(), QStringLiteral("ttyS0"));
}

void TestMainWindow::pagesInTabOrder()
{
    TMainF w;
    const QList<std::tuple<QWidget *, QString, bool>> pages = {
        {w.Metering_Tab, QStringLiteral("Metering"), true},
        {w.Config_Tab, QStringLiteral("Configuration"), true},
        {w.Misc_Tab, QStringLiteral("Miscellaneous Info"), true},
        {w.VRX_Tab, QStringLiteral("VRX-RTD"), false},
        {w.Selection_Tab, QStringLiteral("RTD Module Selections"), false},
        {w.Plot_Tab, QStringLiteral("Temperature Plotting"), false},
    };
    QCOMPARE(w.PageControl1->count(), 6);
    for (int i = 0; i < pages.size(); ++i) {
        const auto &[page, caption, visible] = pages[i];
        QCOMPARE(w.PageControl1->widget(i), page);
        QCOMPARE(w.PageControl1->tabText(i), caption);
        QCOMPARE(w.IsTabVisible(page), visible);
    }
    QCOMPARE(w.PageControl1->currentWidget(), w.Config_Tab);
    const ModuleSelectionPage *selection = w.Selection_Page;
    QCOMPARE(selection->parentWidget(), w.Selection_Tab);
    QCOMPARE(selection->selections_P->geometry(), QRect(227, 126, 330, 177));
    QCOMPARE(selection->selections_P->palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(selection->tav_RB->isChecked());
    QVERIFY(!selection->vrx_RB->isChecked());
    QCOMPARE(selection->tav_RB->text(), QStringLiteral("TAV-RTD (Standard Use)"));
    QCOMPARE(selection->vrx_RB->text(), QStringLiteral("VRX-RTD (DEBUG only)"));
    QCOMPARE(selection->view_B->text(), QStringLiteral("VIEW"));
    QCOMPARE(selection->view_B->geometry(), QRect(127, 117, 75, 25));
}

void TestMainWindow::menuItems_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::newRow("NewConfiguration1") << "&File"
                                       << "NewConfiguration1"
                                       << "&New Configuration"
                                       << "Clear all data and start new configuration";
    QTest::newRow("LoadConfig1") << "&File"
                                 << "LoadConfig1"
                                 << "&Load Configuration"
                                 << "Load Configuration from File";
    QTest::newRow("SaveConfig1") << "&File"
                                 << "SaveConfig1"
                                 << "&Save Configuration"
                                 << "Save Configuration to File";
    QTest::newRow("SendConfig1") << "&File"
                                 << "SendConfig1"
                                 << "Sen&d Configuration"
                                 << "Send Configuration to Modules";
    QTest::newRow("Comport1") << "&Options"
                              << "Comport1"
                              << "&Change Comport"
                              << "";
    QTest::newRow("Datalogging1") << "&Options"
                                  << "Datalogging1"
                                  << "&Datalogging Options"
                                  << "";
    QTest::newRow("TempDisplay1") << "&Options"
                                  << "TempDisplay1"
                                  << "&Temperature Display"
                                  << "";
    QTest::newRow("SamplePeriod1") << "&Options"
                                   << "SamplePeriod1"
                                   << "&Sample Period"
                                   << "";
    QTest::newRow("RTDModuleType1") << "&Options"
                                    << "RTDModuleType1"
                                    << "&RTD Module Type"
                                    << "";
    QTest::newRow("Contents1") << "&Help"
                               << "Contents1"
                               << "&Contents"
                               << "";
    QTest::newRow("About1") << "&Help"
                            << "About1"
                            << "&About"
                            << "";
}

void TestMainWindow::menuItems()
{
    QFETCH(QString, menu);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);

    TMainF w;
    QMenu *found = nullptr;
    for (QAction *top : w.menuBar()->actions()) {
        if (top->text() == menu)
            found = top->menu();
    }
    QVERIFY(found);
    QAction *item = nullptr;
    for (QAction *a : found->actions()) {
        if (a->objectName() == name)
            item = a;
    }
    QVERIFY(item);
    QCOMPARE(item->text(), caption);
    QCOMPARE(item->statusTip(), hint);
}

void TestMainWindow::statusPanelLayout()
{
    TMainF w;
    QCOMPARE(w.config_file_P->geometry(), QRect(4, 2, 394, 22));
    QCOMPARE(w.datalog_file_P->geometry(), QRect(402, 2, 394, 22));
    QCOMPARE(w.datalog_P->geometry(), QRect(4, 2, 194, 22));
    QCOMPARE(w.com_P->geometry(), QRect(202, 2, 196, 22));
    QCOMPARE(w.temp_P->geometry(), QRect(402, 2, 196, 22));
    QCOMPARE(w.period_P->geometry(), QRect(602, 2, 194, 22));
    QCOMPARE(w.datalog_P->palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(w.datalog_P->font().bold());
}

void TestMainWindow::statusPanelClicks_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("item");
    QTest::newRow("datalog_file_P") << "datalog_file_P"
                                    << "Datalogging1";
    QTest::newRow("datalog_P") << "datalog_P"
                               << "Datalogging1";
    QTest::newRow("com_P") << "com_P"
                           << "Comport1";
    QTest::newRow("temp_P") << "temp_P"
                            << "TempDisplay1";
    QTest::newRow("period_P") << "period_P"
                              << "SamplePeriod1";
    QTest::newRow("config_file_P has no action") << "config_file_P"
                                                 << "";
}

void TestMainWindow::statusPanelClicks()
{
    QFETCH(QString, panel);
    QFETCH(QString, item);
    TMainF w;
    // The panels' dialogs are not this test's business: the datalogging one
    // does not run, the others are cancelled.
    w.RunDatalogDialog = [](bool &, QString &, bool &) {};
    w.ListPorts = [] { return QStringList(); };
    auto dialog = std::make_shared<ModalSeen>();
    const bool modal = !item.isEmpty() && item != QLatin1String("Datalogging1");
    if (modal)
        AnswerNextModal(dialog, [](QWidget *box) { PressButton(box, QStringLiteral("Cancel")); });
    w.show();
    QList<QAction *> actions = w.findChildren<QAction *>();
    QMap<QString, int> triggered;
    for (QAction *a : actions)
        connect(a, &QAction::triggered, &w, [&triggered, a] { ++triggered[a->objectName()]; });
    auto *p = w.findChild<StatusPanel *>(panel);
    QVERIFY(p);
    // Every panel shows the hand, also the one without an action.
    QCOMPARE(p->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(p, Qt::LeftButton);
    QCOMPARE(triggered.size(), item.isEmpty() ? 0 : 1);
    if (!item.isEmpty())
        QCOMPARE(triggered.value(item), 1);
    QCOMPARE(dialog->seen, modal);
    // A disabled panel does nothing (the panels are disabled while metering).
    triggered.clear();
    p->setEnabled(false);
    QTest::mouseClick(p, Qt::LeftButton);
    QVERIFY(triggered.isEmpty());
}

void TestMainWindow::storedPlacement_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("zeros") << QByteArray("Top=0\nLeft=0\nHeight=0\nWidth=0\n")
                           << QRect(0, 0, 800, 550);
    QTest::newRow("wider than 800")
        << QByteArray("Top=40\nLeft=30\nHeight=600\nWidth=1200\n") << QRect(30, 40, 800, 600);
    QTest::newRow("too low") << QByteArray("Top=5\nLeft=7\nHeight=300\nWidth=640\n")
                             << QRect(7, 5, 800, 550);
    // The offscreen screen is 800 x 800.
    QTest::newRow("higher than the screen")
        << QByteArray("Top=0\nLeft=0\nHeight=100000\nWidth=800\n") << QRect(0, 0, 800, 800);
}

void TestMainWindow::storedPlacement()
{
    QFETCH(QByteArray, ini);
    QFETCH(QRect, expected);
    m_env->writeStore(ini);
    TMainF w;
    QCOMPARE(QRect(w.pos(), w.size()), expected);
}

void TestMainWindow::junkPreferencesStartWithDefaults()
{
    m_env->writeStore("Period=soon\nTemperature=Fahrenheit\nAutoStart=maybe\nHeight=tall\n");
    TMainF w;
    QCOMPARE(w.PrefInfo.Period, 63);
    QCOMPARE(w.PrefInfo.AutoStart, false);
    QCOMPARE(w.height(), 550);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 63"));
    QCOMPARE(w.temp_P->text(), QStringLiteral("Temperature: Fahrenheit"));
}

void TestMainWindow::datalogStatusAtStart_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("file");
    const QString today = QDate::currentDate().toString(QStringLiteral("MMdd"));
    QTest::newRow("off") << QByteArray("Datalog=0\n") << "Datalogging: OFF"
                         << "";
    QTest::newRow("on, default name") << QByteArray("Datalog=1\n") << "Datalogging: ON"
                                      << QStringLiteral("Datalog To: rtd_data_%1.csv").arg(today);
    QTest::newRow("on, path") << QByteArray("Datalog=1\nDataFile=/var/log/plant line\n")
                              << "Datalogging: ON"
                              << QStringLiteral("Datalog To: plant line_%1.csv").arg(today);
    QTest::newRow("on, name with percent signs")
        << QByteArray("Datalog=1\nDataFile=line%2 %1\n") << "Datalogging: ON"
        << QStringLiteral("Datalog To: line%2 %1_") + today + QStringLiteral(".csv");
}

void TestMainWindow::datalogStatusAtStart()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, panel);
    QFETCH(QString, file);
    m_env->writeStore(ini);
    TMainF w;
    QCOMPARE(w.datalog_P->text(), panel);
    QCOMPARE(w.datalog_file_P->text(), file);
}

void TestMainWindow::closingSavesPlacementAndStopsTimers()
{
    {
        TMainF w;
        w.show();
        w.move(50, 60);
        w.resize(800, 640);
        w.PrefInfo.Period = 80; // raised in memory by another handler
        w.Read_Timer->start();
        w.VRX_Read_Timer->start();
        QVERIFY(w.close());
        QVERIFY(!w.Read_Timer->isActive());
        QVERIFY(!w.VRX_Read_Timer->isActive());
    }
    QSettings raw(m_env->storeFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Preferences"));
    QCOMPARE(raw.value(QStringLiteral("Left")).toString(), QStringLiteral("50"));
    QCOMPARE(raw.value(QStringLiteral("Top")).toString(), QStringLiteral("60"));
    QCOMPARE(raw.value(QStringLiteral("Height")).toString(), QStringLiteral("640"));
    QCOMPARE(raw.value(QStringLiteral("Width")).toString(), QStringLiteral("800"));
    QCOMPARE(raw.value(QStringLiteral("Period")).toString(), QStringLiteral("80"));
    raw.endGroup();

    // The next start opens where the last one closed.
    TMainF again;
    QCOMPARE(QRect(again.pos(), again.size()), QRect(50, 60, 800, 640));
}

// A store that cannot be written (here its folder is taken by a plain file,
// which stops root as well) is reported rather than lost in silence: at the
// first start, when the defaults cannot be written, and at close. The window
// runs on the defaults, and the close report comes once the timers are
// stopped and the ports closed.
void TestMainWindow::unwritablePreferencesAreReported()
{
    QFile blocker(m_env->configPath() + QStringLiteral("/Quelmar"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    auto atStart = std::make_shared<ModalSeen>();
    AnswerNextModal(atStart, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    TMainF w;
    QVERIFY(atStart->seen);
    QCOMPARE(atStart->caption, QStringLiteral("Kelvora"));
    QVERIFY2(atStart->text.contains(m_env->storeFile()), qPrintable(atStart->text));
    QCOMPARE(w.PrefInfo.Period, 63);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 63"));

    w.show();
    w.Read_Timer->start();
    w.VRX_Read_Timer->start();
    auto atClose = std::make_shared<ModalSeen>();
    bool timersStopped = false;
    AnswerNextModal(atClose, [&](QWidget *box) {
        timersStopped = !w.Read_Timer->isActive() && !w.VRX_Read_Timer->isActive();
        PressButton(box, QStringLiteral("OK"));
    });
    QVERIFY(w.close());
    QVERIFY(atClose->seen);
    QCOMPARE(atClose->caption, QStringLiteral("Kelvora"));
    QVERIFY2(atClose->text.contains(m_env->storeFile()), qPrintable(atClose->text));
    QVERIFY(timersStopped);
}

// The Modbus port talks at 19200 baud, 8 data bits, no parity; the relay
// port starts at 57600 baud with mark parity. Checked on the objects and, as
// the pty keeps them, on the line: the one a guarded read of the main
// window's bus target really opened, and the relay port opened on it.
void TestMainWindow::busPortsTakeTheirLineSettings()
{
    Pty pty;
    QVERIFY(pty.Valid());
    m_env->writeStore("Comport=" + pty.Path().toUtf8() + "\n");
    TMainF w;
    QCOMPARE(w.m_comport.BaudRate(), 19200);
    QCOMPARE(w.m_comport.Parity(), ParityBits::None);
    QCOMPARE(w.vrx_comport.BaudRate(), 57600);
    QCOMPARE(w.vrx_comport.Parity(), ParityBits::Mark);

    // Nothing answers on the pty; only the settings the read left on it count.
    w.table.bus_target.address = 1;
    uint16_t values[8] = {};
    QVERIFY(!Protocol().ReadRegisters(w.table.bus_target, 16, 8, values));
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("19200 8N1 raw"));
    // Both tries went out: 01 03 00 10 00 08 and the CRC 45 C9.
    const QByteArray request = QByteArray::fromHex("01030010000845C9");
    QCOMPARE(pty.ReadMaster(16), request + request);

    QCOMPARE(w.vrx_comport.Port(), pty.Path());
    w.vrx_comport.Open();
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8M1 raw"));
    w.vrx_comport.Close();
}

// A Comport that names a network port makes both port objects network ports
// with their own line settings. Start-up only names the port: nothing
// connects before the first exchange, so a server that is down cannot hold
// the window up (port 9 of the loopback address refuses at once anyway).
void TestMainWindow::storedNetworkPortNamesBothPortsWithoutConnecting()
{
    m_env->writeStore("Comport=rfc2217://127.0.0.1:9\n");
    TMainF w;
    for (BusPort *port : {&w.m_comport, &w.vrx_comport}) {
        QVERIFY(port->IsNetwork());
        QCOMPARE(port->Port(), QStringLiteral("rfc2217://127.0.0.1:9"));
        QVERIFY(!port->Connected());
        QVERIFY(!port->Network().Linked());
        QCOMPARE(port->LastOpenError(), 0);
    }
    QCOMPARE(w.m_comport.BaudRate(), 19200);
    QCOMPARE(w.m_comport.Parity(), ParityBits::None);
    QCOMPARE(w.vrx_comport.BaudRate(), 57600);
    QCOMPARE(w.vrx_comport.Parity(), ParityBits::Mark);
    QCOMPARE(w.com_P->text(), QStringLiteral("Comport: rfc2217://127.0.0.1:9"));
}

void TestMainWindow::miscPageComputesActiveSet()
{
    TMainF w;
    w.table.group_state[1] = 3;
    w.table.input_type[2][7] = 1;
    w.PageControl1->setCurrentWidget(w.Misc_Tab);
    QCOMPARE(w.table.module_active[7], 3);
    QCOMPARE(w.table.module_active[8], 2);
}

void TestMainWindow::help_data()
{
    QTest::addColumn<bool>("makeFolder");
    QTest::addColumn<bool>("makeFile");
    QTest::addColumn<bool>("browserOpens");
    QTest::addColumn<bool>("browserAsked");
    QTest::addColumn<QString>("message");

    // The texts as the user reads them (result 2 and result 31).
    const QString notFound =
        QStringLiteral("The help file that is distributed with KELVORA was not found.\n"
                       "It may not have been installed or may have been erased.  KELVORA\n"
                       "may have to be reinstalled to have access to these files.");
    const QString noBrowser =
        QStringLiteral("An error occured openning a web browser to view the help file.\n"
                       "A web browser must be present to view these files.  To view the\n"
                       "files manually, open \"help/index.html\" in KELVORAs installation\n"
                       "directory.");
    QTest::newRow("opens") << true << true << true << true << "";
    QTest::newRow("no help folder: nothing shown") << false << false << true << false << "";
    QTest::newRow("file missing") << true << false << true << false << notFound;
    QTest::newRow("no browser") << true << true << false << true << noBrowser;
}

void TestMainWindow::help()
{
    QFETCH(bool, makeFolder);
    QFETCH(bool, makeFile);
    QFETCH(bool, browserOpens);
    QFETCH(bool, browserAsked);
    QFETCH(QString, message);

    if (makeFolder)
        QVERIFY(QDir().mkdir(QStringLiteral("help")));
    if (makeFile) {
        QFile file(QStringLiteral("help/index.html"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html></html>");
    }
    TMainF w;
    // Where the document is looked for is tst_helpfile's; here it is the
    // test's own folder.
    w.help_path = m_env->path(QStringLiteral("help/index.html"));
    QUrl asked;
    w.OpenDocument = [&](const QUrl &url) {
        asked = url;
        return browserOpens;
    };
    auto seen = std::make_shared<ModalSeen>();
    if (!message.isEmpty())
        AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    w.Contents1Click();
    QCOMPARE(!asked.isEmpty(), browserAsked);
    if (browserAsked)
        QCOMPARE(asked.toLocalFile(),
                 QDir(m_env->workPath()).filePath(QStringLiteral("help/index.html")));
    QCOMPARE(seen->seen, !message.isEmpty());
    if (seen->seen) {
        QCOMPARE(seen->caption, QStringLiteral("Help File Open Error"));
        QCOMPARE(seen->text, message);
    }
}

// The help was looked for under the folder Kelvora was started in, so F1
// did nothing when it was started from anywhere but the checkout. It is
// looked for next to the program (here the test's own folder, which holds
// no help), never in the current folder, even when that has one.
void TestMainWindow::helpIsLookedForNextToTheProgramNotInTheCurrentFolder()
{
    QVERIFY(QDir().mkdir(QStringLiteral("help")));
    QFile file(QStringLiteral("help/index.html"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
    file.close();
    TMainF w;
    QCOMPARE(
        w.help_path,
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help/index.html")));
}

void TestMainWindow::aboutBox()
{
    TMainF w;
    QCOMPARE(w.AboutBox->windowTitle(), QStringLiteral("About"));
    QCOMPARE(w.AboutBox->ProductName->text(), QStringLiteral("Kelvora"));
    QCOMPARE(w.AboutBox->Version->text(), QStringLiteral("Version 3.1"));
    // Centred on the screen, not over the window that owns it.
    w.show();
    w.move(20, 30);
    const QRect area = w.AboutBox->screen()->availableGeometry();
    const QPoint centred = area.center() - QPoint(371 / 2, 317 / 2);
    auto seen = std::make_shared<ModalSeen>();
    QWidget *focused = nullptr;
    QPoint shownAt;
    QSize picture;
    AnswerNextModal(seen, [&focused, &shownAt, &picture, &w](QWidget *box) {
        focused = box->focusWidget();
        shownAt = box->pos();
        // Painted for the box's first showing, not at start-up.
        picture = w.AboutBox->Image1->pixmap().size();
        PressKey(box, Qt::Key_Return);
    });
    w.About1Click();
    QVERIFY(seen->seen);
    QCOMPARE(focused, w.AboutBox->OKButton);
    QCOMPARE(shownAt, centred);
    QCOMPARE(picture, QSize(357, 177));
    QCOMPARE(seen->caption, QStringLiteral("About"));
    QVERIFY(!w.AboutBox->isVisible());
}

void TestMainWindow::stateImages()
{
    const QImage dot = StateImage(3).toImage();
    const QImage cross = StateImage(2).toImage();
    QCOMPARE(dot.size(), QSize(16, 16));
    QCOMPARE(dot.pixelColor(8, 8), QColor(0, 255, 0));
    QCOMPARE(dot.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(dot.pixelColor(14, 8).alpha(), 0);
    QCOMPARE(cross.pixelColor(5, 5), QColor(Qt::black));
    QCOMPARE(cross.pixelColor(10, 5), QColor(Qt::black));
    QCOMPARE(cross.pixelColor(8, 3).alpha(), 0);
    QVERIFY(StateIcon(0).isNull());
    QVERIFY(!StateIcon(1).isNull());
}

void TestMainWindow::configurationPageAtStart()
{
    TMainF w;
    ConfigPage *page = w.Config_Page;
    QCOMPARE(page->Config_Tree->topLevelItemCount(), 4);
    const QStringList groups = {
        QStringLiteral("RTD Modules 1-16"), QStringLiteral("RTD Modules 17-32"),
        QStringLiteral("RTD Modules 33-48"), QStringLiteral("RTD Modules 49-63")};
    int modules = 0;
    for (int g = 0; g < 4; ++g) {
        QTreeWidgetItem *group = page->Config_Tree->topLevelItem(g);
        QCOMPARE(group->text(0), groups[g]);
        QCOMPARE(ConfigPage::NodeStateIndex(group), 1);
        for (int i = 0; i < group->childCount(); ++i) {
            QCOMPARE(ConfigPage::NodeStateIndex(group->child(i)), 3);
            ++modules;
        }
    }
    QCOMPARE(modules, 63);
    QCOMPARE(page->Config_Grid->RowCount(), 1);
    QCOMPARE(page->Config_Grid->FixedRows(), 0);
    QVERIFY(page->setting_CB->isHidden());
    QCOMPARE(page->Config_Grid->toolTip(),
             QStringLiteral("Configuration cannot be changed while metering"));
}

void TestMainWindow::newConfigurationFromTheMenu()
{
    TMainF w;
    ConfigPage *page = w.Config_Page;
    page->Config_Tree->topLevelItem(0)->setExpanded(true);
    page->Config_TreeClick();
    w.table.input_type[3][2] = 4;
    page->RefreshConfigGrid();
    QCOMPARE(page->Config_Grid->RowCount(), 17);

    w.NewConfiguration1->trigger();
    QCOMPARE(page->Config_Grid->RowCount(), 1);
    QCOMPARE(w.table.input_type[3][2], 0);
    QCOMPARE(w.table.group_state[1], 2);
    QCOMPARE(ConfigPage::NodeStateIndex(page->Config_Tree->topLevelItem(0)), 1);
}

void TestMainWindow::sendConfigurationFromTheMenu()
{
    BusSimulator sim(m_env->workPath() + QStringLiteral("/ttySIM"));
    sim.addModule(5);
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));
    m_env->writeStore("Comport=" + sim.linkPath().toUtf8() + "\n");

    TMainF w;
    QCOMPARE(w.m_comport.Port(), sim.linkPath());
    w.Config_Page->Config_Tree->topLevelItem(0)->setExpanded(true);
    w.Config_Page->Config_TreeClick();
    const int types[8] = {1, 0, 2, 3, 4, 5, 0, 1};
    for (int k = 1; k <= 8; ++k)
        w.table.input_type[k][5] = types[k - 1];
    w.Config_Page->RefreshConfigGrid();

    w.SendConfig1->trigger();

    const QList<SimRequest> log = sim.requests();
    QCOMPARE(log.size(), 1); // module 5 only: the other listed modules use no input
    QCOMPARE(log[0].address, 5);
    QCOMPARE(log[0].function, 16);
    QCOMPARE(log[0].first, 0);
    QCOMPARE(log[0].values, (QList<quint16>{256, 515, 1029, 1}));
    QVERIFY(!w.m_comport.Connected());
}

// "Temperature=celsius" typed into the preferences file left every reading
// blank, in the grid, the plot and the datalog, without a word. The unit is
// read without regard to case; another unit stays as it is (and leaves the
// readings blank, as ever).
void TestMainWindow::storedUnitInAnotherCaseStillShowsReadings_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("reading"); // 23.5 degrees Celsius on input 1
    QTest::newRow("lower case") << QByteArray("celsius") << "Celsius"
                                << "23.5";
    QTest::newRow("upper case") << QByteArray("FAHRENHEIT") << "Fahrenheit"
                                << "74.3";
    QTest::newRow("another unit") << QByteArray("Kelvin") << "Kelvin"
                                  << "";
}

void TestMainWindow::storedUnitInAnotherCaseStillShowsReadings()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, unit);
    QFETCH(QString, reading);
    BusSimulator sim(m_env->path(QStringLiteral("ttySIM")));
    sim.addModule(5);
    QVERIFY(sim.setReading(5, 1, 235));
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));
    m_env->writeStore("Comport=" + sim.linkPath().toUtf8() + "\nTemperature=" + stored + "\n");

    TMainF w;
    QCOMPARE(w.temp_P->text(), QStringLiteral("Temperature: ") + unit);
    w.Config_Page->Config_Tree->topLevelItem(0)->setExpanded(true);
    w.table.module_state[5] = kMarkOn;
    w.table.input_type[1][5] = kPt100;
    w.PrepareMetering();
    w.Metering_F1start_BClick(); // sends the configuration
    w.Read_Timer->stop();        // the test ticks
    w.Read_TimerTimer();
    QCOMPARE(w.Metering_F1->Metering_Grid->Cell(1, 1), reading);
    w.Metering_F1stop_BClick();
}

// Left 99999, Top -5000 opened the window where no screen shows it, and the
// close stored that place again, so every later start was invisible too.
void TestMainWindow::placeOnNoScreenOpensCentredAndIsNotStoredAgain()
{
    m_env->writeStore("Left=99999\nTop=-5000\nHeight=600\nWidth=800\n");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centred(area.left() + (area.width() - 800) / 2,
                         area.top() + (area.height() - 600) / 2);
    {
        TMainF w;
        QCOMPARE(QRect(w.pos(), w.size()), QRect(centred, QSize(800, 600)));
        w.show();
        QVERIFY(w.close());
    }
    QSettings raw(m_env->storeFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Preferences"));
    QCOMPARE(raw.value(QStringLiteral("Left")).toString(), QString::number(centred.x()));
    QCOMPARE(raw.value(QStringLiteral("Top")).toString(), QString::number(centred.y()));
}

// Binary junk in the settings file was reported as a file that "could not
// be written". The report names the file and says that the defaults are used;
// the window runs on them, and the close keeps the file, whole, under the
// name the report gave, and writes a clean one in its place without a word.
// The close used to write over a damaged file instead: QSettings had told
// only start-up's settings object that the file was damaged, and the save
// asked a fresh one. A FIFO held start-up in open() for good.
void TestMainWindow::unreadablePreferencesAreReportedAndKeptAtClose_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("fifo");
    QByteArray junk(2048, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 151 + 7) % 256);
    QTest::newRow("binary junk") << junk << false;
    QTest::newRow("a group line without its bracket")
        << QByteArray("[Preferences\nPeriod=5\nComport=ttyUSB3\n") << false;
    QTest::newRow("FIFO") << QByteArray() << true;
}

void TestMainWindow::unreadablePreferencesAreReportedAndKeptAtClose()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, fifo);
    m_env->writeStore({}); // makes the folder
    const QString kept = m_env->storeFile() + QStringLiteral(".unreadable");
    if (fifo) {
        QVERIFY(QFile::remove(m_env->storeFile()));
        QCOMPARE(::mkfifo(QFile::encodeName(m_env->storeFile()).constData(), 0600), 0);
    } else {
        QFile file(m_env->storeFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    auto atStart = std::make_shared<ModalSeen>();
    AnswerNextModal(atStart, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    {
        TMainF w;
        QVERIFY(atStart->seen);
        QCOMPARE(atStart->caption, QStringLiteral("Kelvora"));
        QVERIFY2(atStart->text.contains(QStringLiteral("could not be read")),
                 qPrintable(atStart->text));
        QVERIFY2(atStart->text.contains(QStringLiteral("default preferences")),
                 qPrintable(atStart->text));
        QVERIFY2(atStart->text.contains(kept), qPrintable(atStart->text));
        QVERIFY2(!atStart->text.contains(QStringLiteral("written")), qPrintable(atStart->text));
        QCOMPARE(w.period_P->text(), QStringLiteral("Period: 63"));
        QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ttyS0"));

        w.show();
        // One look, from inside the box's own loop should the close show one;
        // spent before the next case, so it cannot answer that case's box.
        auto atClose = std::make_shared<ModalSeen>();
        AnswerNextModal(
            atClose, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); }, 0);
        QVERIFY(w.close());
        QTest::qWait(50);
        QVERIFY2(!atClose->seen, qPrintable(atClose->text));
    }
    if (fifo) {
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(kept).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    } else {
        QFile file(kept);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    QSettings raw(m_env->storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.status(), QSettings::NoError);
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("63"));

    // The next start finds a sound file.
    QCOMPARE(ExaminePreferencesFile(), PreferencesFile::Sound);
}

// Closing the window closes both ports. Each port object holds a pty of its
// own; once the window has closed, another TComPort can take each line again
// (an open port keeps it exclusive).
void TestMainWindow::closingClosesOpenPorts()
{
    Pty bus;
    Pty relay;
    QVERIFY(bus.Valid() && relay.Valid());
    TMainF w;
    w.m_comport.SetPort(bus.Path());
    w.vrx_comport.SetPort(relay.Path());
    w.m_comport.Open();
    w.vrx_comport.Open();
    QVERIFY(w.m_comport.Connected());
    QVERIFY(w.vrx_comport.Connected());
    TComPort other;
    other.SetPort(bus.Path());
    QVERIFY_THROWS_EXCEPTION(EComPortError, other.Open());

    w.show();
    QVERIFY(w.close());
    QVERIFY(!w.m_comport.Connected());
    QVERIFY(!w.vrx_comport.Connected());
    for (const QString &line : {bus.Path(), relay.Path()}) {
        TComPort again;
        again.SetPort(line);
        again.Open();
        QVERIFY(again.Connected());
        again.Close();
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

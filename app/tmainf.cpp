#include "app/tmainf.h"

#include "app/helpfile.h"
#include "app/moduleselectionpage.h"
#include "app/startup.h"
#include "app/taboutbox.h"
#include "app/windowplacement.h"
#include "config/configpage.h"
#include "config/tmessageboxf.h"
#include "debug/tvrx_rtd_f.h"
#include "debug/vrxprotocol.h"
#include "link/mbprotocol.h"
#include "link/protocol.h"
#include "metering/busstatuswindow.h"
#include "metering/datalogfile.h"
#include "metering/tdatalogf.h"
#include "metering/tmetering_f.h"
#include "modules/bussearch.h"
#include "modules/bussearchwindow.h"
#include "modules/miscinfopage.h"
#include "plot/tplot_f.h"
#include "print/printchart.h"
#include "widgets/filedialogs.h"
#include "widgets/pagetabs.h"
#include "widgets/palette.h"
#include "widgets/statuspanel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QMargins>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kWindowWidth = 800;
constexpr int kMinWindowHeight = 550;
constexpr int kStatusRowHeight = 26;
// A network port connection unused this long is ended.
constexpr int kPortIdleMs = 10000;
// Qt's tab sheet in the 800 x 550 window is 796 x 451, 10 pixels wider and
// 12 higher than the sheet the plot page was drawn for. A margin of the
// sheet's grey keeps the page 786 x 439 there, with its selection list 360
// high and its charts 784 x 356, and the page grows with the window.
constexpr QMargins kPlotPageMargins{5, 6, 5, 6};

QWidget *addPage(QTabWidget *tabs, const QString &name, const QString &caption)
{
    auto *page = new QWidget;
    page->setObjectName(name);
    SetBackground(page, kMediumGrey);
    tabs->addTab(page, caption);
    return page;
}

// A page whose whole area, inside margins, is one frame.
void fillPage(QWidget *page, QWidget *frame, const QMargins &margins = {})
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(margins);
    layout->addWidget(frame);
}

QAction *addItem(QMenu *menu, const QString &name, const QString &caption, const QString &hint = {})
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    if (!hint.isEmpty()) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
    return action;
}

} // namespace

// Start-up, in the order the window has always been built in: the window,
// a new configuration, the preferences, the placement, the status texts, the
// help path, the run state, the ports, the page set, the automatic start
// (with AutoStart on), the settings shown in the bottom row and the status
// panels' geometry.
TMainF::TMainF(QWidget *parent)
    : QMainWindow(parent),
      cycle(table,
            [](const BusTarget &target, int first, int count, uint16_t *values) {
                return Protocol(&TMessageBoxF::ProcessWindowEvents)
                    .ReadRegisters(target, first, count, values);
            },
            {.showProgress =
                 [this](int tick) {
                     if (tick == 0)
                         bus_status.PeriodStarted();
                     Metering_F1->Set_Gauge_Progress(tick);
                 },
             .showReadings = [this](int m,
                                    const ReadingTexts &r) { Metering_F1->Show_Readings(m, r); },
             .plotReadings = [this](int m, const ReadingTexts &r) { Plot_F1->Plot_Readings(m, r); },
             .logReadings = [this](int m, const ReadingTexts &r) { Log_Readings(m, r); },
             // The timer waits while the configuration goes out, and its
             // next tick comes a whole interval after.
             .resend =
                 [this] {
                     Read_Timer->stop();
                     SendConfiguration();
                     Read_Timer->start();
                 }})
{
    buildWindow();
    Config_Page->BuildConfigTree();
    loadPreferences();
    placeWindow();
    showStatusTexts();
    help_path = FindHelpDocument(HelpFolders(QCoreApplication::applicationDirPath()));
    resetRunState();
    assignPorts();
    VRX_RTD_F1->Set_Unit_Name(PrefInfo.Temperature);
    showStandardPageSet();
    if (PrefInfo.AutoStart)
        autoStart();
    // Only now: no page handler runs while the window is being built.
    connect(PageControl1, &PageTabs::pageChanged, this, &TMainF::PageControl1Change);
    showSettings();
    layoutStatusPanels();
    AboutBox = new TAboutBox(this);
}

TMainF::~TMainF()
{
    // Before the status and table it reads go.
    delete BusStatus_F;
}

void TMainF::buildWindow()
{
    setObjectName(QStringLiteral("MainF"));
    setWindowTitle(QStringLiteral("KELVORA"));
    setWindowIcon(ProgramIcon()); // the about box and message boxes it owns show it too
    setAttribute(Qt::WA_AlwaysShowToolTips);
    OpenDocument = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    ChooseConfigFile = [this](bool save, const QString &initial) {
        return ChooseFileWithDialog(this,
                                    {.title = save ? QStringLiteral("Save Configuration File")
                                                   : QStringLiteral("Load Configuration File"),
                                     .initial = initial,
                                     .kind = QStringLiteral("Configuration File"),
                                     .extension = QStringLiteral("cfg"),
                                     .save = save});
    };
    RunDatalogDialog = [this](bool &autoStart, QString &dataFile, bool &datalog) {
        TDatalogF dialog(autoStart, dataFile, datalog, this);
        dialog.exec();
    };
    Now = [] { return QDateTime::currentDateTime(); };
    PrintDialog1 = [this](QPrinter &printer) { return RunPrintDialog(printer, this); };
    RunPrintJob = PrintPagePicture;

    Read_Timer = new QTimer(this);
    Read_Timer->setObjectName(QStringLiteral("Read_Timer"));
    Read_Timer->setInterval(1000);
    // A tick a second, kept to the millisecond: the datalog's times and the
    // gauge follow it.
    Read_Timer->setTimerType(Qt::PreciseTimer);
    connect(Read_Timer, &QTimer::timeout, this, &TMainF::Read_TimerTimer);
    VRX_Read_Timer = new QTimer(this);
    VRX_Read_Timer->setObjectName(QStringLiteral("VRX_Read_Timer"));
    VRX_Read_Timer->setInterval(1200);
    connect(VRX_Read_Timer, &QTimer::timeout, this, &TMainF::VRX_Read_TimerTimer);
    PortIdle_Timer = new QTimer(this);
    PortIdle_Timer->setObjectName(QStringLiteral("PortIdle_Timer"));
    PortIdle_Timer->setInterval(kPortIdleMs);
    connect(PortIdle_Timer, &QTimer::timeout, this, [this] {
        for (BusPort *port : {&m_comport, &vrx_comport})
            port->Network().ReleaseIfIdle(std::chrono::milliseconds(kPortIdleMs));
    });
    PortIdle_Timer->start();
    // The Modbus bus runs at 19200 baud, 8 data bits, no parity, one stop bit.
    // The relay-module port starts at 57600 baud with mark parity, ready for
    // the address byte of its first poll.
    m_comport.SetBaudRate(MBProtocol::kBaudRate);
    m_comport.SetParity(ParityBits::None);
    vrx_comport.SetBaudRate(VRXProtocol::kBaudRate);
    vrx_comport.SetParity(ParityBits::Mark);
    m_comport.SetExchangeLog(&bus_log);
    vrx_comport.SetExchangeLog(&bus_log);

    buildMenu();
    buildPages();
    buildStatusRows();
}

void TMainF::loadPreferences()
{
    // The defaults are written on first start. A store that cannot be read or
    // written is reported, and the program runs on the defaults. What was
    // found here is kept for the run: an unreadable file stays as it is until
    // the first save keeps it aside and writes a new one.
    m_preferencesFile = ExaminePreferencesFile();
    const Result<> readable = CheckPreferencesReadable(m_preferencesFile);
    if (!readable) {
        ShowErrorReport(readable.error(), this);
        return;
    }
    const std::unique_ptr<QSettings> store = OpenPreferencesStore();
    if (!PreferencesExist(*store)) {
        const Result<> written = Write_Default_Preferences(*store);
        if (!written)
            ShowErrorReport(written.error(), this);
    }
    Load_Preferences(*store, PrefInfo);
    recent_netports = LoadRecentNetPorts(*store);
}

void TMainF::showStatusTexts()
{
    for (StatusPanel *panel : {config_file_P, datalog_file_P, datalog_P, com_P, temp_P, period_P})
        panel->clear();
    Show_Datalog_Status();
}

void TMainF::resetRunState()
{
    // No cell chosen on the Configuration page; metering off, at tick 0.
    Config_Page->CloseSelector();
    cycle.Start();
    table.metering_on = false;
}

void TMainF::assignPorts()
{
    // Both port objects take the chosen port; the bus target names the
    // Modbus port.
    m_comport.SetPort(PrefInfo.Comport);
    vrx_comport.SetPort(PrefInfo.Comport);
    table.bus_target.port = &m_comport;
}

void TMainF::showStandardPageSet()
{
    SetTabVisible(Metering_Tab, true);
    SetTabVisible(Config_Tab, true);
    SetTabVisible(Misc_Tab, true);
    SetTabVisible(VRX_Tab, false);
    SetTabVisible(Selection_Tab, false);
    SetTabVisible(Plot_Tab, false);
    PageControl1->setCurrentWidget(Config_Tab);
}

void TMainF::showSettings()
{
    showComport();
    showTemperature();
    showPeriod();
}

void TMainF::buildMenu()
{
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setToolTipsVisible(true);
    NewConfiguration1 =
        addItem(FileMenu, QStringLiteral("NewConfiguration1"), QStringLiteral("&New Configuration"),
                QStringLiteral("Clear all data and start new configuration"));
    LoadConfig1 =
        addItem(FileMenu, QStringLiteral("LoadConfig1"), QStringLiteral("&Load Configuration"),
                QStringLiteral("Load Configuration from File"));
    SaveConfig1 =
        addItem(FileMenu, QStringLiteral("SaveConfig1"), QStringLiteral("&Save Configuration"),
                QStringLiteral("Save Configuration to File"));
    SendConfig1 =
        addItem(FileMenu, QStringLiteral("SendConfig1"), QStringLiteral("Sen&d Configuration"),
                QStringLiteral("Send Configuration to Modules"));

    OptionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    Comport1 = addItem(OptionsMenu, QStringLiteral("Comport1"), QStringLiteral("&Change Comport"));
    Datalogging1 = addItem(OptionsMenu, QStringLiteral("Datalogging1"),
                           QStringLiteral("&Datalogging Options"));
    TempDisplay1 = addItem(OptionsMenu, QStringLiteral("TempDisplay1"),
                           QStringLiteral("&Temperature Display"));
    SamplePeriod1 =
        addItem(OptionsMenu, QStringLiteral("SamplePeriod1"), QStringLiteral("&Sample Period"));
    N1 = OptionsMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    RTDModuleType1 =
        addItem(OptionsMenu, QStringLiteral("RTDModuleType1"), QStringLiteral("&RTD Module Type"));

    // What the bus did, beside the described menus: the status, traffic and
    // search windows add their items here.
    DiagnosticsMenu = menuBar()->addMenu(QStringLiteral("&Diagnostics"));
    DiagnosticsMenu->setObjectName(QStringLiteral("DiagnosticsMenu"));
    DiagnosticsMenu->setToolTipsVisible(true);
    BusStatus1 =
        addItem(DiagnosticsMenu, QStringLiteral("BusStatus1"), QStringLiteral("Bus &Status..."),
                QStringLiteral("How each configured module answers"));
    BusStatus1->setShortcut(QKeySequence(Qt::Key_F6));
    connect(BusStatus1, &QAction::triggered, this, &TMainF::BusStatus1Click);
    BusTraffic1 =
        addItem(DiagnosticsMenu, QStringLiteral("BusTraffic1"), QStringLiteral("Bus &Traffic..."),
                QStringLiteral("List the exchanges on the bus as they happen"));
    BusTraffic1->setShortcut(QKeySequence(Qt::Key_F7));
    connect(BusTraffic1, &QAction::triggered, this, &TMainF::BusTraffic1Click);
    BusSearch1 =
        addItem(DiagnosticsMenu, QStringLiteral("BusSearch1"), QStringLiteral("Bus S&earch..."),
                QStringLiteral("Find which addresses answer on the bus"));
    BusSearch1->setShortcut(QKeySequence(Qt::Key_F8));
    connect(BusSearch1, &QAction::triggered, this, &TMainF::BusSearch1Click);

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = addItem(HelpMenu, QStringLiteral("Contents1"), QStringLiteral("&Contents"));
    About1 = addItem(HelpMenu, QStringLiteral("About1"), QStringLiteral("&About"));
    connect(NewConfiguration1, &QAction::triggered, this, &TMainF::NewConfiguration1Click);
    connect(LoadConfig1, &QAction::triggered, this, &TMainF::LoadConfig1Click);
    connect(SaveConfig1, &QAction::triggered, this, &TMainF::SaveConfig1Click);
    connect(Datalogging1, &QAction::triggered, this, &TMainF::Datalogging1Click);
    connect(SendConfig1, &QAction::triggered, this, &TMainF::SendConfig1Click);
    connect(Contents1, &QAction::triggered, this, &TMainF::Contents1Click);
    connect(About1, &QAction::triggered, this, &TMainF::About1Click);
    // The usual keys for the commands the menus have.
    NewConfiguration1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    LoadConfig1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveConfig1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    connect(Comport1, &QAction::triggered, this, &TMainF::Comport1Click);
    connect(TempDisplay1, &QAction::triggered, this, &TMainF::temp_PClick);
    connect(SamplePeriod1, &QAction::triggered, this, &TMainF::period_PClick);
    connect(RTDModuleType1, &QAction::triggered, this, &TMainF::RTDModuleType1Click);
}

void TMainF::buildPages()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainF_Client"));
    SetBackground(central, kMediumGrey);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    PageControl1 = new PageTabs(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setMinimumHeight(464);
    column->addWidget(PageControl1, 1);

    Metering_Tab =
        addPage(PageControl1, QStringLiteral("Metering_Tab"), QStringLiteral("Metering"));
    Metering_F1 = new TMetering_F(Metering_Tab);
    fillPage(Metering_Tab, Metering_F1);
    connect(Metering_F1->start_B, &QPushButton::clicked, this, &TMainF::Metering_F1start_BClick);
    connect(Metering_F1->stop_B, &QPushButton::clicked, this, &TMainF::Metering_F1stop_BClick);

    Config_Tab =
        addPage(PageControl1, QStringLiteral("Config_Tab"), QStringLiteral("Configuration"));
    Config_Page = new ConfigPage(table, Config_Tab);
    fillPage(Config_Tab, Config_Page);

    Misc_Tab =
        addPage(PageControl1, QStringLiteral("Misc_Tab"), QStringLiteral("Miscellaneous Info"));
    Misc_Page = new MiscInfoPage(table, Misc_Tab);
    connect(Misc_Page, &MiscInfoPage::scanned, this, &TMainF::showComportProblem);
    fillPage(Misc_Tab, Misc_Page);

    VRX_Tab = addPage(PageControl1, QStringLiteral("VRX_Tab"), QStringLiteral("VRX-RTD"));
    // Every poll on a new VRXProtocol bound to vrx_comport.
    VRX_RTD_F1 = new TVRX_RTD_F(
        [this](int module, const VrxTypes &types, VrxResult &result) {
            return VRXProtocol(&vrx_comport).PollModule(module, types, result);
        },
        VRX_Tab);
    fillPage(VRX_Tab, VRX_RTD_F1);
    connect(VRX_RTD_F1->enable_Btn, &QPushButton::clicked, this,
            &TMainF::VRX_RTD_F1enable_BtnClick);
    connect(VRX_RTD_F1->disable_Btn, &QPushButton::clicked, this,
            &TMainF::VRX_RTD_F1disable_BtnClick);

    Selection_Tab = addPage(PageControl1, QStringLiteral("Selection_Tab"),
                            QStringLiteral("RTD Module Selections"));
    Selection_Page = new ModuleSelectionPage(Selection_Tab);
    fillPage(Selection_Tab, Selection_Page);
    connect(Selection_Page->view_B, &QPushButton::clicked, this, &TMainF::view_BClick);

    Plot_Tab =
        addPage(PageControl1, QStringLiteral("Plot_Tab"), QStringLiteral("Temperature Plotting"));
    Plot_F1 = new TPlot_F(Plot_Tab);
    fillPage(Plot_Tab, Plot_F1, kPlotPageMargins);
    connect(Plot_F1->Button1, &QPushButton::clicked, this, &TMainF::Plot_F1Button1Click);

    BusSearch_F = new BusSearchWindow(
        table,
        {.busFree = [this] { return BusSearchAllowed(); },
         .addModules = [this](const QList<int> &m) { AddFoundModulesToConfiguration(m); }},
        this);
    connect(BusSearch_F, &BusSearchWindow::searched, this, &TMainF::showComportProblem);

    setCentralWidget(central);
}

void TMainF::buildStatusRows()
{
    auto *column = qobject_cast<QVBoxLayout *>(centralWidget()->layout());
    const auto makeRow = [&](const QString &name) {
        auto *row = new QFrame(centralWidget());
        row->setObjectName(name);
        row->setFixedHeight(kStatusRowHeight);
        SetBackground(row, kMediumGrey);
        column->addWidget(row);
        return row;
    };
    Status_top_P = makeRow(QStringLiteral("Status_top_P"));
    Status_bottom_P = makeRow(QStringLiteral("Status_bottom_P"));

    config_file_P = new StatusPanel(QStringLiteral("config_file_P"), Status_top_P);
    datalog_file_P = new StatusPanel(QStringLiteral("datalog_file_P"), Status_top_P);
    datalog_P = new StatusPanel(QStringLiteral("datalog_P"), Status_bottom_P);
    com_P = new StatusPanel(QStringLiteral("com_P"), Status_bottom_P);
    temp_P = new StatusPanel(QStringLiteral("temp_P"), Status_bottom_P);
    period_P = new StatusPanel(QStringLiteral("period_P"), Status_bottom_P);

    // A click on a panel does what the menu item of its setting does.
    connect(datalog_file_P, &StatusPanel::clicked, Datalogging1, &QAction::trigger);
    connect(datalog_P, &StatusPanel::clicked, Datalogging1, &QAction::trigger);
    connect(com_P, &StatusPanel::clicked, Comport1, &QAction::trigger);
    connect(temp_P, &StatusPanel::clicked, TempDisplay1, &QAction::trigger);
    connect(period_P, &StatusPanel::clicked, SamplePeriod1, &QAction::trigger);
}

void TMainF::layoutStatusPanels()
{
    // The rows span the client area, whose width the window fixes at 800.
    const int w = kWindowWidth;
    const int v = kWindowWidth;
    const int top = 2;
    const int h = 22;
    config_file_P->setGeometry(4, top, w / 2 - 6, h);
    datalog_file_P->setGeometry(w / 2 + 2, top, w / 2 - 6, h);
    datalog_P->setGeometry(4, top, v / 4 - 6, h);
    com_P->setGeometry(v / 4 + 2, top, v / 4 - 4, h);
    temp_P->setGeometry((v / 4) * 2 + 2, top, v / 4 - 4, h);
    period_P->setGeometry((v / 4) * 3 + 2, top, v / 4 - 6, h);
}

void TMainF::placeWindow()
{
    // Always 800 wide and at least 550 high, whatever the store says.
    setMinimumWidth(kWindowWidth);
    setMaximumWidth(kWindowWidth);
    setMinimumHeight(kMinWindowHeight);
    // At the stored place, unless that is on no screen (a screen unplugged
    // since, or a hand-edited Left of 99999), and no higher than the screen.
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    const QScreen *primary = QGuiApplication::primaryScreen();
    const QRect area = primary ? primary->availableGeometry() : QRect();
    const QRect stored = StoredWindowRect(PrefInfo.Left, PrefInfo.Top, kWindowWidth,
                                          PrefInfo.Height, kMinWindowHeight, area);
    resize(stored.size());
    move(PlaceWindow(stored, screens, area));
}

void TMainF::Show_Datalog_Status()
{
    if (PrefInfo.Datalog) {
        datalog_P->setText(QStringLiteral("Datalogging: ON"));
        showDatalogFile(Now().date());
    } else {
        datalog_P->setText(QStringLiteral("Datalogging: OFF"));
        datalog_file_P->clear();
    }
}

void TMainF::SetTabVisible(QWidget *page, bool visible)
{
    PageControl1->SetPageVisible(page, visible);
}

bool TMainF::IsTabVisible(QWidget *page) const
{
    return PageControl1->IsPageVisible(page);
}

void TMainF::PageControl1Change(int index)
{
    QWidget *page = PageControl1->widget(index);
    if (page == Metering_Tab && !table.metering_on)
        PrepareMetering();
    else if (page == Misc_Tab)
        listModuleInfo();
}

void TMainF::listModuleInfo()
{
    table.UpdateActiveModules();
    Misc_Page->RefreshModuleTree();
    Misc_Page->RefreshModuleInfoGrid();
}

void TMainF::configurationReplaced()
{
    if (PageControl1->currentWidget() == Misc_Tab)
        listModuleInfo();
}

void TMainF::NewConfiguration1Click()
{
    Config_Page->NewConfiguration1Click();
    configurationReplaced();
}

void TMainF::SendConfig1Click()
{
    SendConfiguration();
}

void TMainF::SendConfiguration()
{
    Config_Page->SendConfiguration(this);
    showComportProblem();
}

void TMainF::autoStart()
{
    // One guarded step: whatever goes wrong in it turns the automatic start
    // off (and the save at close keeps it off). A missing or rejected file is
    // not such an error: metering starts on what the table then holds.
    try {
        LoadConfigFile(PrefInfo.Config_File);
        Config_Page->RefreshConfigGrid();
        AutoStartMetering();
    } catch (const std::exception &) {
        PrefInfo.AutoStart = false;
    }
}

void TMainF::LoadConfigFile(const QString &name)
{
    const Result<int> period = Config_Page->LoadConfigFile(name);
    if (!period)
        return;
    PrefInfo.Period = *period;
    showPeriod();
    showConfigFileName(name);
}

void TMainF::showComport()
{
    com_P->setText(QStringLiteral("Comport: ") + PrefInfo.Comport);
}

void TMainF::showTemperature()
{
    temp_P->setText(QStringLiteral("Temperature: ") + PrefInfo.Temperature);
}

void TMainF::showPeriod()
{
    period_P->setText(QStringLiteral("Period: ") + QString::number(PrefInfo.Period));
}

void TMainF::showDatalogFile(const QDate &date)
{
    datalog_file_P->setText(QStringLiteral("Datalog To: ") +
                            FileNamePart(DatalogFileName(PrefInfo.DataFile, date)));
}

void TMainF::showConfigFileName(const QString &name)
{
    config_file_P->setText(QStringLiteral("Config File: ") + FileNamePart(name));
}

void TMainF::LoadConfig1Click()
{
    const QString name = ChooseConfigFile(false, PrefInfo.Config_File);
    if (!name.isEmpty()) {
        LoadConfigFile(name);
        // Named last whether it loaded, was rejected or could not be opened.
        PrefInfo.Config_File = name;
    }
    Config_Page->RefreshConfigGrid();
    PrepareMetering();
    if (!name.isEmpty())
        configurationReplaced();
    SavePreferences();
}

void TMainF::SaveConfig1Click()
{
    const QString name = ChooseConfigFile(true, PrefInfo.Config_File);
    if (name.isEmpty()) {
        SavePreferences();
        return;
    }
    const Result<> saved = Config_Page->SaveConfigFile(name, PrefInfo.Period);
    if (!saved) {
        // The file that was there is unchanged, and so is Config_File.
        ShowMessageBox(this, saved.error(), QStringLiteral("File Error"), 0);
        return;
    }
    PrefInfo.Config_File = name;
    showConfigFileName(name);
    SavePreferences();
}

void TMainF::Datalogging1Click()
{
    RunDatalogDialog(PrefInfo.AutoStart, PrefInfo.DataFile, PrefInfo.Datalog);
    SavePreferences();
    Show_Datalog_Status();
}

void TMainF::PrepareMetering()
{
    const int n = table.UpdateActiveModules();
    Metering_F1->Fill_Metering_Page(table.module_active);
    PrefInfo.Period = MeteringCycle::PreparedPeriod(PrefInfo.Period, n);
    showPeriod();
    Metering_F1->Set_Gauge_Range(PrefInfo.Period);
    Config_Page->SetMeteringHint(true);
    m_comport.SetBaudRate(MBProtocol::kBaudRate);
}

void TMainF::AutoStartMetering()
{
    PageControl1->setCurrentWidget(Metering_Tab);
    PrepareMetering();
    Metering_F1start_BClick();
}

void TMainF::EnableSettings(bool on)
{
    for (QAction *item : {Comport1, Datalogging1, TempDisplay1, SamplePeriod1, NewConfiguration1,
                          LoadConfig1, SaveConfig1, SendConfig1})
        item->setEnabled(on);
    RTDModuleType1->setEnabled(on && !VRX_RTD_F1->Polling());
    BusSearch1->setEnabled(on && !VRX_RTD_F1->Polling());
    for (StatusPanel *panel : {config_file_P, datalog_file_P, datalog_P, com_P, period_P, temp_P})
        panel->setEnabled(on);
}

void TMainF::Metering_F1start_BClick()
{
    // The debug link holds the port while it polls; the two never share it.
    if (VRX_RTD_F1->Polling())
        return;
    Metering_F1->start_BClick();
    EnableSettings(false);
    Config_Page->LockForMetering(true);
    Read_Timer->setInterval(1000);
    cycle.Start();
    bus_status.Reset();
    Metering_F1->Show_Bus_Status(bus_status);
    table.metering_on = true;
    SendConfiguration();
    SetTabVisible(Plot_Tab, true);
    Plot_F1->Prepare_Plot(table.module_active, PrefInfo.Temperature);
    Read_Timer->start();
}

void TMainF::Metering_F1stop_BClick()
{
    Metering_F1->stop_BClick();
    EnableSettings(true);
    Config_Page->LockForMetering(false);
    Read_Timer->stop();
    table.metering_on = false;
    // A network port's connection ends too, so that another program may use
    // the device server while metering is off.
    try {
        m_comport.Release();
    } catch (const EComPortError &) {
    }
}

void TMainF::Read_TimerTimer()
{
    cycle.Tick(
        {.period = PrefInfo.Period, .unit = PrefInfo.Temperature, .datalog = PrefInfo.Datalog});
    Metering_F1->Show_Bus_Status(bus_status);
    showComportProblem();
}

void TMainF::Plot_F1Button1Click()
{
    PrintPlotPage(this, Plot_F1, m_printer, PrintDialog1, RunPrintJob);
}

void TMainF::VRX_RTD_F1enable_BtnClick()
{
    // Metering owns the port while it runs: polling would turn every reading
    // into "----".
    if (table.metering_on)
        return;
    // With nothing to poll, nothing else changes.
    if (!VRX_RTD_F1->enable_BtnClick())
        return;
    // A network port's connection left by a scan or send goes: the poll
    // connects on its own, and a device server may take one at a time.
    try {
        m_comport.Release();
    } catch (const EComPortError &) {
    }
    RTDModuleType1->setEnabled(false);
    BusSearch1->setEnabled(false);
    VRX_Read_Timer->start(1200);
}

void TMainF::VRX_RTD_F1disable_BtnClick()
{
    // Metering, too, keeps the module type as it is.
    RTDModuleType1->setEnabled(!table.metering_on);
    BusSearch1->setEnabled(!table.metering_on);
    VRX_RTD_F1->disable_BtnClick();
    VRX_Read_Timer->stop();
    try {
        vrx_comport.Release();
    } catch (const EComPortError &) {
    }
}

void TMainF::VRX_Read_TimerTimer()
{
    VRX_RTD_F1->Poll_Next_Module();
    showComportProblem();
}

bool TMainF::BusSearchAllowed() const
{
    // The same two owners of the port as for the module type.
    return ModuleTypeChangeable();
}

void TMainF::BusSearch1Click()
{
    if (!BusSearchAllowed())
        return;
    BusSearch_F->show();
    BusSearch_F->raise();
    BusSearch_F->activateWindow();
}

void TMainF::AddFoundModulesToConfiguration(const QList<int> &addresses)
{
    if (AddFoundModules(table, addresses).isEmpty())
        return;
    Config_Page->ShowModuleStatesInTree();
    Config_Page->RefreshConfigGrid();
    configurationReplaced();
}

void TMainF::Log_Readings(int m, const ReadingTexts &readings)
{
    // One reading of the clock for both, so that a row near midnight goes to
    // the file the panel names.
    const QDateTime when = Now();
    showDatalogFile(when.date());
    // A row that cannot be written is dropped; the next one tries again. The
    // warning log says why, once for each new reason rather than every tick.
    const Result<> added = AppendDatalogRow(PrefInfo.DataFile, when, m, readings);
    if (!added && added.error() != m_datalogFailure)
        qWarning("Datalog row dropped: %s", qUtf8Printable(added.error()));
    m_datalogFailure = added ? QString() : added.error();
}

void TMainF::SavePreferences()
{
    const Result<> saved = storePreferences();
    if (!saved)
        ShowErrorReport(saved.error(), this);
}

Result<> TMainF::storePreferences()
{
    return Save_Preferences(PrefInfo, recent_netports, m_preferencesFile);
}

void TMainF::Contents1Click()
{
    const int result = OpenHelpDocument(help_path, OpenDocument);
    const QString text = HelpOpenErrorText(result);
    if (!text.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Help File Open Error"), text);
}

void TMainF::About1Click()
{
    AboutBox->exec();
}

void TMainF::BusStatus1Click()
{
    if (!BusStatus_F)
        BusStatus_F = new BusStatusWindow(bus_status, table, this, [this] {
            const QString tip = m_comport.Tip();
            return tip.isEmpty() ? QStringLiteral("Comport %1.").arg(m_comport.Port()) : tip;
        });
    BusStatus_F->show();
    BusStatus_F->raise();
    BusStatus_F->activateWindow();
}

void TMainF::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainF::FormClose()
{
    PrefInfo.Top = y();
    PrefInfo.Left = x();
    PrefInfo.Height = height();
    PrefInfo.Width = width();
    const Result<> saved = storePreferences();
    Read_Timer->stop();
    VRX_Read_Timer->stop();
    // A port that fails to close is of no concern any more: the program ends.
    for (BusPort *port : {&m_comport, &vrx_comport}) {
        try {
            port->Release();
        } catch (const EComPortError &) {
        }
    }
    // Told last, so that no tick runs behind the box while the window closes.
    if (!saved)
        ShowErrorReport(saved.error(), this);
}

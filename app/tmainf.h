#pragma once

#include "app/preferences.h"
#include "link/busport.h"
#include "link/exchangelog.h"
#include "metering/busstatus.h"
#include "metering/meteringcycle.h"
#include "modules/moduletable.h"
#include "result/result.h"
#include "widgets/pagetabs.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QFrame;
class QMenu;
class QPrinter;
class QTimer;
class QUrl;
class StatusPanel;
class BusStatusWindow;
class BusSearchWindow;
class ConfigPage;
class MiscInfoPage;
class ModuleSelectionPage;
class TAboutBox;
class TMetering_F;
class TPlot_F;
class TrafficWindow;
class TVRX_RTD_F;
struct PagePicture;
struct PrintSettings;

// The one main window. It owns everything for the whole run: the module
// table, the preferences record, both serial port objects, both timers, the
// six pages and the status panels, and hands them to the pages. Each page's
// behaviour lives with the page; this class builds, wires and tears down.
class TMainF : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainF(QWidget *parent = nullptr);
    ~TMainF() override;

    // --- state owned for the whole run -----------------------------------
    ModuleTable table;
    PrefInfoType PrefInfo;
    // The network ports chosen before in "Comport Options", most recent
    // first; saved with PrefInfo, in a group of their own.
    QStringList recent_netports;
    // The help document, chosen once at start-up (FindHelpDocument).
    QString help_path;
    // Every attempt on either line, newest 100,000; declared before the
    // lines that point at it.
    ExchangeLog bus_log;
    // What each module did with its reads, configuration sends and notch
    // commands, from bus_log; counted afresh at each start of metering.
    BusStatus bus_status{bus_log};
    // The Modbus port and the debug link's port: each a local serial port
    // or a network one, as the name in PrefInfo.Comport says (BusPort).
    BusPort m_comport;
    BusPort vrx_comport;
    QTimer *Read_Timer = nullptr;
    QTimer *VRX_Read_Timer = nullptr;
    // Ends a network port's connection that no page has used for a while
    // (after a scan or a send outside metering), so that the device server
    // is free for another program.
    QTimer *PortIdle_Timer = nullptr;
    // The metering cycle; it holds tick_count and read_cursor.
    MeteringCycle cycle;

    // --- pages --------------------------------------------------------------
    // A hidden page is out of reach of every key, click and call.
    PageTabs *PageControl1 = nullptr;
    QWidget *Metering_Tab = nullptr;
    QWidget *Config_Tab = nullptr;
    QWidget *Misc_Tab = nullptr;
    QWidget *VRX_Tab = nullptr;
    QWidget *Selection_Tab = nullptr;
    QWidget *Plot_Tab = nullptr;
    ConfigPage *Config_Page = nullptr;
    MiscInfoPage *Misc_Page = nullptr; // freq_T, Freq_Grid, freq_P, Freq_Menu
    TMetering_F *Metering_F1 = nullptr;
    TVRX_RTD_F *VRX_RTD_F1 = nullptr;
    TPlot_F *Plot_F1 = nullptr;
    ModuleSelectionPage *Selection_Page = nullptr; // selections_P, tav_RB, vrx_RB, view_B
    // The window of Diagnostics, Bus Search (modules/bussearchwindow.h).
    BusSearchWindow *BusSearch_F = nullptr;

    // --- status rows --------------------------------------------------------
    QFrame *Status_top_P = nullptr;
    QFrame *Status_bottom_P = nullptr;
    StatusPanel *config_file_P = nullptr;
    StatusPanel *datalog_file_P = nullptr;
    StatusPanel *datalog_P = nullptr;
    StatusPanel *com_P = nullptr;
    StatusPanel *temp_P = nullptr;
    StatusPanel *period_P = nullptr;

    // --- menu ---------------------------------------------------------------
    QMenu *FileMenu = nullptr;
    QMenu *OptionsMenu = nullptr;
    QMenu *DiagnosticsMenu = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *NewConfiguration1 = nullptr;
    QAction *LoadConfig1 = nullptr;
    QAction *SaveConfig1 = nullptr;
    QAction *SendConfig1 = nullptr;
    QAction *Comport1 = nullptr;
    QAction *Datalogging1 = nullptr;
    QAction *TempDisplay1 = nullptr;
    QAction *SamplePeriod1 = nullptr;
    QAction *N1 = nullptr;
    QAction *RTDModuleType1 = nullptr;
    QAction *BusSearch1 = nullptr;
    QAction *Contents1 = nullptr;
    QAction *About1 = nullptr;
    QAction *BusStatus1 = nullptr;  // Diagnostics, "Bus Status...", F6
    QAction *BusTraffic1 = nullptr; // Diagnostics, "Bus Traffic..." (F7)

    TAboutBox *AboutBox = nullptr;
    // Made at its first opening; not modal.
    BusStatusWindow *BusStatus_F = nullptr;
    // The traffic window while it is open; closing it deletes it.
    QPointer<TrafficWindow> Traffic_Window;

    // Opens a document in the user's browser; QDesktopServices::openUrl unless
    // a test puts something else here.
    std::function<bool(const QUrl &)> OpenDocument;
    // Asks for a configuration file to load (save false) or save (save true),
    // starting from initial; an empty text when the user cancels. The file
    // dialogs unless a test puts something else here.
    std::function<QString(bool save, const QString &initial)> ChooseConfigFile;
    // Runs the datalogging dialog on the three preferences; a modal TDatalogF
    // unless a test puts something else here.
    std::function<void(bool &AutoStart, QString &DataFile, bool &Datalog)> RunDatalogDialog;
    // The local date and time of a datalog row; the system clock unless a
    // test puts something else here.
    std::function<QDateTime()> Now;
    // The print dialog of Print Chart: QPrintDialog on the printer unless a
    // test puts something else here; true when the user confirms.
    std::function<bool(QPrinter &printer)> PrintDialog1;
    // The print job of Print Chart, run off the window's thread: the page
    // printed on a device of its own (PrintPagePicture) unless a test puts
    // something else here.
    std::function<Result<>(const PagePicture &page, const PrintSettings &settings)> RunPrintJob;

    // --- handlers -----------------------------------------------------------
    void PageControl1Change(int index);
    void NewConfiguration1Click();
    void LoadConfig1Click();
    void SaveConfig1Click();
    void Datalogging1Click();
    void SendConfig1Click();
    void Contents1Click();
    void About1Click();
    // Shows the Bus Status window (metering/busstatuswindow.h) and raises it.
    void BusStatus1Click();
    // Opens the traffic window (app/trafficwindow.h) on bus_log, or raises
    // the one that is open.
    void BusTraffic1Click();

    // Writes the input types of the listed modules to them under the progress
    // box "Sending Configuration" (ConfigPage::SendConfiguration): for "Send
    // Configuration", the start of metering and the metering resend, which
    // stops Read_Timer around it.
    void SendConfiguration();

    // Loads the named configuration file into the table and the tree; an
    // accepted file also sets Period and the panels period_P and
    // config_file_P. Silent when the file cannot be opened; a rejected file is
    // reported and leaves a new configuration.
    void LoadConfigFile(const QString &name);

    // --- metering -----------------------------------------------------------
    // Recomputes the active modules, lists them on the Metering page, raises
    // Period to twice their number when below, and sets the gauge's range.
    void PrepareMetering();
    // At start-up with AutoStart: the Metering page, prepared, then started.
    void AutoStartMetering();
    // Starts metering; nothing while the debug page polls, which holds the
    // port then.
    void Metering_F1start_BClick();
    void Metering_F1stop_BClick();
    // One tick of Read_Timer: one module read, or an idle tick.
    void Read_TimerTimer();
    // Print Chart on the plot page (print/printchart.h).
    void Plot_F1Button1Click();
    // --- VRX-RTD debug page --------------------------------------------------
    // Enable: the page lists what it polls; with something to poll, the menu
    // item "RTD Module Type" is disabled and VRX_Read_Timer runs (1200 ms).
    // Nothing at all while metering runs, which owns the port then.
    void VRX_RTD_F1enable_BtnClick();
    // Disable: the menu item back (unless metering runs), the page editable,
    // the timer stopped and vrx_comport closed.
    void VRX_RTD_F1disable_BtnClick();
    // One tick of VRX_Read_Timer: the page polls its next module.
    void VRX_Read_TimerTimer();

    // Appends the row of module m to the day's datalog file and names that
    // file in datalog_file_P. A row that cannot be written is dropped.
    void Log_Readings(int m, const ReadingTexts &readings);

    // Writes the whole preferences record to the store; a store that cannot
    // be written is reported in the error report.
    void SavePreferences();
    // Texts of datalog_P and datalog_file_P from Datalog and DataFile.
    void Show_Datalog_Status();

    // --- option dialogs and module type (tmainf_options.cpp) ---------------
    // The ports that "Comport Options" offers; ListSerialPorts unless a test
    // puts something else here.
    std::function<QStringList()> ListPorts = [] {
        QStringList ports;
        ListSerialPorts(ports);
        return ports;
    };
    void Comport1Click();
    void temp_PClick();
    void period_PClick();
    // The page sets switch only while neither metering runs nor the debug
    // page polls: the two never share the port, and a page set that is
    // shown is the one whose work goes on. RTDModuleType1Click and
    // view_BClick do nothing otherwise.
    bool ModuleTypeChangeable() const;
    void RTDModuleType1Click();
    void view_BClick();

    // --- bus search (modules/bussearchwindow.h) ----------------------------
    // Diagnostics, "Bus Search..." (F8): shows the window. The item is
    // disabled, and the handler and the window's Search do nothing, while
    // metering runs or the debug page polls: they own the port then.
    bool BusSearchAllowed() const;
    void BusSearch1Click();
    // The window's Add to Configuration: lists the addresses on the
    // Configuration page (AddFoundModules), its tree and grid shown again,
    // and the Miscellaneous Info page's list where it shows. Nothing while
    // metering runs.
    void AddFoundModulesToConfiguration(const QList<int> &addresses);

    // Shows or hides one page's tab.
    void SetTabVisible(QWidget *page, bool visible);
    bool IsTabVisible(QWidget *page) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The start-up steps, in the order the constructor takes them.
    void buildWindow();
    void loadPreferences();
    void placeWindow();
    void showStatusTexts();
    void resetRunState();
    void assignPorts();
    void showStandardPageSet();
    void showSettings();
    void layoutStatusPanels();

    // Lists the active modules on the Miscellaneous Info page, its scan
    // texts emptied: when the page is chosen, and when the configuration
    // is replaced while it shows (File, New and Load Configuration work
    // from every page), so that Scan and Set Frequency reach the modules
    // of the configuration in force.
    void listModuleInfo();
    void configurationReplaced();

    void buildMenu();
    void buildPages();
    void buildStatusRows();
    void autoStart();
    void FormClose();
    // The settings and commands that must not change while metering runs:
    // option items, the panels that open them, and the file commands.
    void EnableSettings(bool on);
    // The status panels' texts, each made in one place: "Comport: ",
    // "Temperature: " and "Period: " with the preference, "Datalog To: " with
    // the file name part of the day's datalog file, "Config File: " with a
    // configuration file's name part.
    void showComport();
    void showTemperature();
    void showPeriod();
    void showDatalogFile(const QDate &date);
    void showConfigFileName(const QString &name);
    // Writes the record to the store.
    Result<> storePreferences();
    // The Comport panel's tip after bus work: why the bus port could not be
    // opened, gone once it opens.
    void showComportProblem();

    // What start-up found in the place of the preferences file; the saves go
    // by it.
    PreferencesFile m_preferencesFile = PreferencesFile::Sound;
    // Why the last datalog row was dropped (empty after a row went in).
    QString m_datalogFailure;
    // The user's choices of Print Chart's print dialog, made at the first
    // print and kept for the next.
    std::unique_ptr<QPrinter> m_printer;
};

#pragma once

#include "app/preferences.h"
#include "link/tcomport.h"
#include "modules/moduletable.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QFrame;
class QMenu;
class QTabWidget;
class QTimer;
class QUrl;
class StatusPanel;
class ConfigPage;
class ModuleSelectionPage;
class TAboutBox;
class TMetering_F;
class TPlot_F;
class TVRX_RTD_F;

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
    QString help_path;
    TComPort m_comport;
    TComPort vrx_comport;
    QTimer *Read_Timer = nullptr;
    QTimer *VRX_Read_Timer = nullptr;
    int tick_count = 0;
    int read_cursor = 0;

    // --- pages --------------------------------------------------------------
    QTabWidget *PageControl1 = nullptr;
    QWidget *Metering_Tab = nullptr;
    QWidget *Config_Tab = nullptr;
    QWidget *Misc_Tab = nullptr;
    QWidget *VRX_Tab = nullptr;
    QWidget *Selection_Tab = nullptr;
    QWidget *Plot_Tab = nullptr;
    ConfigPage *Config_Page = nullptr;
    TMetering_F *Metering_F1 = nullptr;
    TVRX_RTD_F *VRX_RTD_F1 = nullptr;
    TPlot_F *Plot_F1 = nullptr;
    ModuleSelectionPage *Selection_Page = nullptr; // selections_P, tav_RB, vrx_RB, view_B

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
    QAction *Contents1 = nullptr;
    QAction *About1 = nullptr;

    TAboutBox *AboutBox = nullptr;

    // Opens a document in the user's browser; QDesktopServices::openUrl unless
    // a test puts something else here.
    std::function<bool(const QUrl &)> OpenDocument;

    // --- handlers -----------------------------------------------------------
    void PageControl1Change(int index);
    void NewConfiguration1Click();
    void SendConfig1Click();
    void Contents1Click();
    void About1Click();

    // Writes the input types of the listed modules to them under the progress
    // box "Sending Configuration" (ConfigPage::SendConfiguration): for "Send
    // Configuration", the start of metering and the metering resend, which
    // stops Read_Timer around it.
    void SendConfiguration();

    // Writes the whole preferences record to the store; a store that cannot
    // be written is reported in the error report.
    void SavePreferences();
    // Texts of datalog_P and datalog_file_P from Datalog and DataFile.
    void Show_Datalog_Status();

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

    void buildMenu();
    void buildPages();
    void buildStatusRows();
    void FormClose();
    // Writes the record; returns the store's file when it could not be
    // written, else an empty text.
    QString storePreferences();
    void reportPreferencesNotSaved(const QString &file);
};

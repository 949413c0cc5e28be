// The main window's option dialogs and module type selection: the handlers of
// the Options menu's port, temperature and period items (and of the status
// panels that open them), of "RTD Module Type" and of VIEW. Each runs its
// dialog, saves the preferences and shows the setting again; the dialogs and
// the rules they follow live in their own files.

#include "app/comportoptions.h"
#include "app/moduleselectionpage.h"
#include "app/portproblemtip.h"
#include "app/tcomportf.h"
#include "app/tmainf.h"
#include "app/tperiodf.h"
#include "app/ttemperaturef.h"
#include "debug/tvrx_rtd_f.h"
#include "widgets/statuspanel.h"

#include <QAction>
#include <QRadioButton>
#include <QTabWidget>

void TMainF::Comport1Click()
{
    {
        TComportF dialog(PrefInfo.Comport, recent_netports, ListPorts(), this);
        dialog.exec();
    }
    SavePreferences();
    // The debug link's port may be open (it stays open while its page
    // polls); it then reopens on the new name, which may fail like any open.
    // Its next poll fails quietly then, as on a port that went away.
    for (BusPort *port : {&m_comport, &vrx_comport}) {
        try {
            port->SetPort(PrefInfo.Comport);
        } catch (const EComPortError &) {
        }
    }
    showComport();
    showComportProblem();
}

void TMainF::showComportProblem()
{
    // The port in use says how it stands: the debug link's while its page
    // polls, else the bus's.
    const BusPort &port = VRX_RTD_F1->Polling() ? vrx_comport : m_comport;
    ShowPortProblem(com_P, port.Tip());
}

void TMainF::temp_PClick()
{
    {
        TTemperatureF dialog(PrefInfo.Temperature, this);
        dialog.exec();
    }
    SavePreferences();
    VRX_RTD_F1->Set_Unit_Name(PrefInfo.Temperature);
    showTemperature();
}

void TMainF::period_PClick()
{
    const int n = table.UpdateActiveModules();
    {
        TPeriodF dialog(PrefInfo.Period, n, this);
        dialog.exec();
    }
    SavePreferences();
    showPeriod();
}

// Each page set is switched by first showing the page that is to be current
// and making it so; only then do the others go. A current tab that is hidden
// hands its place to a neighbour, and the Metering page taking it, even for a
// moment, would prepare metering (PageControl1Change) and raise Period.

bool TMainF::ModuleTypeChangeable() const
{
    return !table.metering_on && !VRX_RTD_F1->Polling();
}

void TMainF::RTDModuleType1Click()
{
    // Its menu item is disabled meanwhile; a call refuses just the same.
    if (!ModuleTypeChangeable())
        return;
    SetTabVisible(Selection_Tab, true);
    PageControl1->setCurrentWidget(Selection_Tab);
    // The plot page keeps its state.
    for (QWidget *page : {Metering_Tab, Config_Tab, Misc_Tab, VRX_Tab})
        SetTabVisible(page, false);
    // The keyboard starts at the choice made last.
    QRadioButton *chosen =
        Selection_Page->vrx_RB->isChecked() ? Selection_Page->vrx_RB : Selection_Page->tav_RB;
    chosen->setFocus(Qt::OtherFocusReason);
}

void TMainF::view_BClick()
{
    if (!ModuleTypeChangeable())
        return;
    if (Selection_Page->tav_RB->isChecked()) {
        SetTabVisible(Config_Tab, true);
        PageControl1->setCurrentWidget(Config_Tab);
        for (QWidget *page : {Selection_Tab, VRX_Tab, Plot_Tab})
            SetTabVisible(page, false);
        SetTabVisible(Metering_Tab, true);
        SetTabVisible(Misc_Tab, true);
        Show_Datalog_Status();
        // Written again by the next PrepareMetering or period dialog.
        period_P->clear();
        for (StatusPanel *panel : {config_file_P, datalog_file_P})
            panel->show();
        Datalogging1->setEnabled(true);
        SamplePeriod1->setEnabled(true);
        for (StatusPanel *panel : {config_file_P, datalog_file_P, datalog_P, period_P})
            panel->setEnabled(true);
    } else if (Selection_Page->vrx_RB->isChecked()) {
        SetTabVisible(VRX_Tab, true);
        PageControl1->setCurrentWidget(VRX_Tab);
        for (QWidget *page : {Selection_Tab, Metering_Tab, Config_Tab, Misc_Tab, Plot_Tab})
            SetTabVisible(page, false);
        // Kept in memory only; the next save stores it.
        PrefInfo.AutoStart = false;
        for (StatusPanel *panel : {config_file_P, datalog_file_P}) {
            panel->setEnabled(false);
            panel->hide();
        }
        // The Datalog preference itself stays as it is.
        datalog_P->setText(QStringLiteral("Datalogging: OFF"));
        period_P->clear();
        Datalogging1->setEnabled(false);
        SamplePeriod1->setEnabled(false);
        datalog_P->setEnabled(false);
        period_P->setEnabled(false);
    }
}

// The main window's option dialogs: the handlers of the Options menu's port,
// temperature and period items (and of the status panels that open them).
// Each runs its dialog, saves the preferences and shows the setting again;
// the dialogs and the rules they follow live in their own files.

#include "app/comportoptions.h"
#include "app/portproblemtip.h"
#include "app/tcomportf.h"
#include "app/tmainf.h"
#include "app/tperiodf.h"
#include "app/ttemperaturef.h"
#include "debug/tvrx_rtd_f.h"

void TMainF::Comport1Click()
{
    {
        TComportF dialog(PrefInfo.Comport, ListPorts(), this);
        dialog.exec();
    }
    SavePreferences();
    // The debug link's port may be open (it stays open while its page
    // polls); it then reopens on the new name, which may fail like any open.
    // Its next poll fails quietly then, as on a port that went away.
    for (TComPort *port : {&m_comport, &vrx_comport}) {
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
    ShowPortProblem(com_P, PortOpenProblem(m_comport.Port(), m_comport.LastOpenError()));
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

#pragma once

#include "app/comportoptions.h"
#include "app/optiondialog.h"
#include "link/tcomport.h"

class QComboBox;
class QLabel;

// "Comport Options": chooses the port of the bus.
//
// Opening it lists the ports given (ListSerialPorts) in cport_CB, each probed
// with ComPort1 and marked "  (in use)" when it cannot be opened and closed
// again, a port this program holds open included (comportoptions.h). The
// item of the port named Comport is chosen, marked or not, else the first
// (ChosenPortIndex). Each item keeps its bare port name as item data: OK
// stores that name in Comport, without the mark, or an empty name when the
// list is empty. Cancel leaves Comport as it was.
//
// After the serial ports come the network ports of RecentNetPorts, never
// probed (ComportItems); a current network port is among them and chosen.
// The box also takes a typed name, as a user types an address he has not
// used before: OK resolves the text (PortOfTypedText) and, when the text
// names no port, shows why in a message box and stays open. A network port
// chosen with OK goes first in RecentNetPorts (RememberNetPort); Cancel
// changes neither.
class TComportF : public OptionDialog
{
    Q_OBJECT

public:
    TComportF(QString &Comport, QStringList &RecentNetPorts, const QStringList &ports,
              QWidget *owner = nullptr);

    void ok_BClick() override;

    QLabel *cport_L = nullptr;
    QComboBox *cport_CB = nullptr;
    // Used only to try each port; the bus's own line settings.
    TComPort ComPort1;

private:
    QString &m_comport;
    QStringList &m_recentNetPorts;
    QList<PortChoice> m_items;
};

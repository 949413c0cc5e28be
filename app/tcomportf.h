#pragma once

#include "app/optiondialog.h"
#include "link/tcomport.h"

class QComboBox;
class QLabel;

// "Comport Options": chooses the serial port of the bus.
//
// Opening it lists the ports given (ListSerialPorts) in cport_CB, each probed
// with ComPort1 and marked "  (in use)" when it cannot be opened and closed
// again, a port this program holds open included (comportoptions.h). The
// item of the port named Comport is chosen, marked or not, else the first
// (ChosenPortIndex). Each item keeps its bare port name as item data: OK
// stores that name in Comport, without the mark, or an empty name when the
// list is empty. Cancel leaves Comport as it was.
class TComportF : public OptionDialog
{
    Q_OBJECT

public:
    TComportF(QString &Comport, const QStringList &ports, QWidget *owner = nullptr);

    void ok_BClick() override;

    QLabel *cport_L = nullptr;
    QComboBox *cport_CB = nullptr;
    // Used only to try each port; the bus's own line settings.
    TComPort ComPort1;

private:
    QString &m_comport;
};

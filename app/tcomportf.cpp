#include "app/tcomportf.h"

#include "app/comportoptions.h"
#include "link/mbprotocol.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>

#include <algorithm>

TComportF::TComportF(QString &Comport, const QStringList &ports, QWidget *owner)
    : OptionDialog(owner, QStringLiteral("ComportF"), QStringLiteral("Comport Options")),
      m_comport(Comport)
{
    ComPort1.SetBaudRate(MBProtocol::kBaudRate);
    ComPort1.SetParity(ParityBits::None);

    cport_CB = AddDropDownList(QStringLiteral("cport_CB"), {112, 16}, 100);
    cport_L = AddLabel(QStringLiteral("cport_L"), QStringLiteral("COM Port"), {20, 18}, cport_CB);
    AddButtons({12, 56}, {137, 56});

    const QList<PortChoice> choices = ProbePorts(ports, ComPort1);
    for (const PortChoice &choice : choices) {
        cport_CB->addItem(choice.Text(), choice.name);
        cport_CB->setItemData(cport_CB->count() - 1, choice.Text(), Qt::ToolTipRole);
    }
    cport_CB->setCurrentIndex(ChosenPortIndex(choices, Comport));
    // A stable name is far wider than the list: the open list is as wide as
    // its widest item, and the chosen one shows whole as the list's tip.
    cport_CB->view()->setMinimumWidth(
        std::max(cport_CB->width(), cport_CB->view()->sizeHintForColumn(0) + 8));
    const auto showWhole = [this] { cport_CB->setToolTip(cport_CB->currentText()); };
    showWhole();
    connect(cport_CB, &QComboBox::currentIndexChanged, this, showWhole);
}

void TComportF::ok_BClick()
{
    m_comport = cport_CB->currentData().toString();
    accept();
}

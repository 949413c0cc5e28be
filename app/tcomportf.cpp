#include "app/tcomportf.h"

#include "config/tmessageboxf.h"
#include "link/mbprotocol.h"
#include "link/netportname.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>

#include <algorithm>

TComportF::TComportF(QString &Comport, QStringList &RecentNetPorts, const QStringList &ports,
                     QWidget *owner)
    : OptionDialog(owner, QStringLiteral("ComportF"), QStringLiteral("Comport Options")),
      m_comport(Comport), m_recentNetPorts(RecentNetPorts)
{
    ComPort1.SetBaudRate(MBProtocol::kBaudRate);
    ComPort1.SetParity(ParityBits::None);

    cport_CB = AddDropDownList(QStringLiteral("cport_CB"), {112, 16}, 100);
    // Typing is how a network port that is not listed yet is named. Typed
    // text never becomes an item: OK resolves it, and only a port chosen
    // with OK is remembered.
    cport_CB->setEditable(true);
    cport_CB->setInsertPolicy(QComboBox::NoInsert);
    cport_L = AddLabel(QStringLiteral("cport_L"), QStringLiteral("COM Port"), {20, 18}, cport_CB);
    AddButtons({12, 56}, {137, 56});

    m_items = ComportItems(ProbePorts(ports, ComPort1), RecentNetPorts, Comport);
    for (const PortChoice &choice : m_items) {
        cport_CB->addItem(choice.Text(), choice.name);
        cport_CB->setItemData(cport_CB->count() - 1, choice.Text(), Qt::ToolTipRole);
    }
    cport_CB->setCurrentIndex(ChosenPortIndex(m_items, PortNameAsListed(Comport)));
    // A stable name is far wider than the list: the open list is as wide as
    // its widest item, and the chosen or typed one shows whole as the list's
    // tip.
    cport_CB->view()->setMinimumWidth(
        std::max(cport_CB->width(), cport_CB->view()->sizeHintForColumn(0) + 8));
    const auto showWhole = [this] { cport_CB->setToolTip(cport_CB->currentText()); };
    showWhole();
    connect(cport_CB, &QComboBox::currentTextChanged, this, showWhole);
}

void TComportF::ok_BClick()
{
    const Result<QString> port = PortOfTypedText(m_items, cport_CB->currentText());
    if (!port) {
        ShowMessageBox(this, port.error(), QStringLiteral("Comport Options"), 0);
        return;
    }
    m_comport = *port;
    if (LooksLikeNetPortName(*port))
        m_recentNetPorts = RememberNetPort(m_recentNetPorts, *port);
    accept();
}

#include "link/busport.h"

#include "link/netportname.h"
#include "link/portproblem.h"

void BusPort::SetPort(const QString &name)
{
    const bool network = LooksLikeNetPortName(name);
    if (network == m_network) {
        Line().SetPort(name);
        return;
    }
    const bool wasOpen = Connected();
    if (m_network)
        m_net.Disconnect();
    else if (wasOpen)
        m_local.Close();
    m_network = network;
    Line().SetPort(name);
    if (wasOpen)
        Line().Open();
}

void BusPort::SetBaudRate(int baud)
{
    // The line not in use is closed: it only keeps the value.
    m_local.SetBaudRate(baud);
    m_net.SetBaudRate(baud);
}

void BusPort::SetParity(ParityBits parity)
{
    m_local.SetParity(parity);
    m_net.SetParity(parity);
}

void BusPort::Release()
{
    if (m_network)
        m_net.Disconnect();
    else if (m_local.Connected())
        m_local.Close();
}

int BusPort::LastOpenError() const
{
    return m_network ? m_net.LastOpenError() : m_local.LastOpenError();
}

QString BusPort::Tip() const
{
    if (const int code = LastOpenError())
        return PortOpenProblem(Port(), code);
    if (!m_network || !m_net.Linked())
        return {};
    QString tip = QStringLiteral("Comport %1: connected; round trip %2 ms, so each reply window "
                                 "waits %3 ms longer.")
                      .arg(Port(), QString::number(m_net.RoundTripMs(), 'f', 2))
                      .arg(m_net.ReplyAllowanceMs());
    if (!m_net.HeardSinceLinked())
        tip += QStringLiteral(" Nothing has come back through it yet.");
    return tip;
}

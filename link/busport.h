#pragma once

#include "link/netport.h"
#include "link/tcomport.h"

// The bus's port as the user names it: a local serial port (TComPort) or a
// network one (NetPort) for a name with a scheme ("rfc2217://...",
// "tcp://..."). It forwards every call of the line contract to the one its
// name picks, so that the window holds one object whatever the user chose.
// The baud rate and parity are kept by both, so a change of kind keeps
// them; SetPort on an open line closes the old kind and opens the new.
class BusPort : public SerialLine
{
public:
    BusPort() = default;

    QString Port() const override { return Line().Port(); }
    void SetPort(const QString &name) override;

    void Open() override { Line().Open(); }
    void Close() override { Line().Close(); }
    bool Connected() const override { return Line().Connected(); }

    void Purge(bool input, bool output) override { Line().Purge(input, output); }
    int PendingOutput() override { return Line().PendingOutput(); }
    int Write(const uint8_t *bytes, int count) override { return Line().Write(bytes, count); }
    int ReadAvailable(QByteArray &text, int count) override
    {
        return Line().ReadAvailable(text, count);
    }

    int BaudRate() const override { return Line().BaudRate(); }
    void SetBaudRate(int baud) override;
    ParityBits Parity() const override { return Line().Parity(); }
    void SetParity(ParityBits parity) override;

    int ReplyAllowanceMs() const override { return Line().ReplyAllowanceMs(); }
    QString GuardName() const override { return Line().GuardName(); }

    // Closes the line and, on a network port, ends the connection too: the
    // window is done with the port for now (metering stopped, the debug page
    // stopped polling), and another program, or this program's other use
    // of the same server, may connect.
    void Release();

    // The code of the last Open that failed (TComPort::LastOpenError,
    // NetPort::LastOpenError).
    int LastOpenError() const;
    bool IsNetwork() const { return m_network; }
    const NetPort &Network() const { return m_net; }
    NetPort &Network() { return m_net; }

    // What the port's tip says: why the last open failed, in words
    // (PortOpenProblem); else, for a network port that is connected, its
    // round trip and what it adds to each reply window, and whether anything
    // has come back through it yet. Empty for a local port that opened.
    QString Tip() const;

private:
    const SerialLine &Line() const
    {
        return m_network ? static_cast<const SerialLine &>(m_net) : m_local;
    }
    SerialLine &Line() { return m_network ? static_cast<SerialLine &>(m_net) : m_local; }

    TComPort m_local;
    NetPort m_net;
    bool m_network = false;
};

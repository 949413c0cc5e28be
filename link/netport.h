#pragma once

#include "link/netportname.h"
#include "link/rfc2217codec.h"
#include "link/serialline.h"

#include <QByteArray>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include <sys/socket.h>

// A serial line reached through a serial device server on the network: a
// port named rfc2217://HOST:PORT or tcp://HOST:PORT (link/netportname.h),
// behind the same contract as a local port (SerialLine), so that the bus
// protocols above it do not know which kind they use.
//
// The connection and the line. Open and Close are the line's: the bus
// protocols open and close it around every exchange, and a connection made
// for each would cost a handshake per exchange and tell the server to open
// and close its port every time. So the TCP connection, once made, stays up
// while the line closes and opens again; Close drops what has come in, Open
// drops it again and (through RFC 2217) has the server purge its receive
// buffer, as opening a local port purges it. The connection ends when the
// port is set to another name, when the object goes, when the server ends
// it or it fails (the next Open connects again), and when the line has been
// closed for a while (ReleaseIfIdle), so that another program may have the
// server's port.
//
// Bounded waits. The window's thread opens the line, and its window must
// answer within 250 ms whatever the network does, so Open waits at most
// kOpenWaitMs for the connection. A connection not made by then goes on
// being made in the background of the socket: that Open fails (its code
// says "still connecting", or why the attempt before failed), and a later
// Open takes it up where it stands. A host name is resolved on a thread of
// its own, for the same reason; an address is used as it is. A connect that
// has not completed after ConnectPatience is given up ("the host does not
// answer"), as is a Telnet server that has not agreed to COM port control
// after NegotiationPatience.
//
// The line's settings. On rfc2217:// the baud rate, 8 data bits, the parity
// (mark and space included), one stop bit, no flow control and DTR and RTS
// off are sent as the connection is made; a later change of the baud rate or
// parity is sent at once and waited for: a server makes a change as soon as
// it reads it, while bytes written before it may still wait in its port's
// buffer, so a change first lets the bytes written before it leave the
// server's port (their time at the line's rate, from when they were written,
// plus the allowance below), and the bytes after it are written only once
// the server has answered that it made the change (within kAnswerWaitMs,
// else ETIMEDOUT). So the relay-module link's address byte goes with mark
// parity and the rest of its poll with space, as on a local port. On
// tcp:// the settings are the server's own; they are kept here only to be
// read back.
//
// Timing. The reply window of every exchange grows by ReplyAllowanceMs: the
// round trip measured by the kernel as the connection was made, rounded up,
// plus a millisecond for the server to hand bytes over, at most
// kMaxReplyAllowanceMs. Write and PendingOutput mean the socket: Write waits
// up to WriteTimeoutMs for the bytes to be taken, PendingOutput counts bytes
// the server has not yet acknowledged.
//
// Failures are EComPortError with a code that PortOpenReason
// (link/portproblem.h) puts in words: the system's errno (ECONNREFUSED,
// EHOSTUNREACH, ETIMEDOUT, ECONNRESET, ...) or a NetPortError. The last
// Open's is kept (LastOpenError).
class NetPort : public SerialLine
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kOpenWaitMs = 30;
    static constexpr int kMaxReplyAllowanceMs = 40;
    static constexpr int kAnswerWaitMs = 50;

    NetPort() = default;
    ~NetPort() override;

    QString Port() const override { return m_port; }
    void SetPort(const QString &name) override;

    void Open() override;
    void Close() override;
    bool Connected() const override { return m_open; }

    void Purge(bool input, bool output) override;
    int PendingOutput() override;
    int Write(const uint8_t *bytes, int count) override;
    int ReadAvailable(QByteArray &text, int count) override;

    int BaudRate() const override { return m_baud; }
    void SetBaudRate(int baud) override;
    ParityBits Parity() const override { return m_parity; }
    void SetParity(ParityBits parity) override;

    int ReplyAllowanceMs() const override;
    // The name in its one spelling (NetPortName::Text), so that
    // "RFC2217://gw:1" and "rfc2217://gw:1" take the same guard.
    QString GuardName() const override { return m_nameValid ? m_name.Text() : m_port; }

    // The code of the last Open that failed; 0 once one succeeds, and for a
    // name not tried since it was set.
    int LastOpenError() const { return m_lastOpenError; }
    // Whether the connection is up (the line may be closed meanwhile).
    bool Linked() const { return m_stage == Stage::Ready; }
    // The round trip measured as the connection was made, in milliseconds;
    // below 0 while there is no connection.
    double RoundTripMs() const { return m_roundTripMs; }
    // Whether any byte of the line has come through since the connection
    // was made.
    bool HeardSinceLinked() const { return m_heard; }

    // Ends the connection if the line has been closed for at least idle.
    void ReleaseIfIdle(Clock::duration idle);
    // Ends the connection now; the line is closed with it.
    void Disconnect();

    // How long a connect and the Telnet option talk may take; tests shorten
    // them.
    void SetPatience(Clock::duration connect, Clock::duration negotiation)
    {
        m_connectPatience = connect;
        m_negotiationPatience = negotiation;
    }

    // The socket while connected or connecting, else -1; for tests.
    int Handle() const { return m_fd; }

private:
    enum class Stage
    {
        Idle,
        Resolving,
        Connecting,
        Negotiating,
        Ready
    };
    struct Address
    {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    struct Resolved
    {
        int error = 0; // a NetPortError or errno; 0 with addresses
        std::vector<Address> addresses;
    };

    void Establish(Clock::time_point deadline);
    void StartResolving();
    void StartConnecting();
    void OnConnected();
    void SendSettings();
    // Sends a change of the line and waits as above for the server to
    // answer command.
    void ChangeLine(const QByteArray &change, uint8_t command);
    // Reads what has come in; the connection's end or failure drops it and
    // is returned as its code (else 0).
    int Pump();
    void Send(const QByteArray &bytes, Clock::time_point deadline);
    void SendCommand(const QByteArray &command);
    void RequireOpen(const char *operation) const;
    [[noreturn]] void FailOpen(int code);
    // Ends the attempt: the next Open starts anew, saying code meanwhile.
    [[noreturn]] void GiveUp(int code);
    // Waits until deadline for the stage's socket events; past the stage's
    // patience the attempt is given up with giveUpCode, before it the open
    // fails as still connecting.
    void AwaitStage(short events, Clock::time_point deadline, Clock::duration patience,
                    int giveUpCode);
    void Drop();
    bool Telnet() const { return m_name.kind == NetPortName::Kind::Rfc2217; }

    QString m_port;
    NetPortName m_name;
    bool m_nameValid = false;
    int m_baud = 9600;
    ParityBits m_parity = ParityBits::None;

    Stage m_stage = Stage::Idle;
    int m_fd = -1;
    bool m_open = false;
    Clock::time_point m_stageStart;
    Clock::time_point m_lastUse;
    std::future<Resolved> m_resolving;
    std::vector<Address> m_addresses;
    size_t m_nextAddress = 0;
    int m_addressError = 0;
    Rfc2217Codec m_codec;
    QByteArray m_input; // the line's bytes that came in, not yet read
    int m_lostCode = 0; // why the connection ended while the line was open
    bool m_heard = false;
    // When the last byte written will have left the server's port.
    Clock::time_point m_wireFreeAt;
    double m_roundTripMs = -1;
    int m_lastOpenError = 0;
    int m_lastFailure = 0; // of the attempt before, while the next one runs
    Clock::duration m_connectPatience = std::chrono::seconds(5);
    Clock::duration m_negotiationPatience = std::chrono::seconds(3);
};

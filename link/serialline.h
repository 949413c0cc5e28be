#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

class ExchangeLog;

// The parity setting of a line. Mark and space hold the parity bit at 1 or 0
// whatever the data; the relay-module link uses them as a ninth data bit.
enum class ParityBits
{
    None,
    Mark,
    Space
};

// Raised by a line for every operation that the system refuses; code() is the
// system's error number (errno). Callers of the bus treat it as a failed
// exchange and never show its text.
class EComPortError : public std::runtime_error
{
public:
    EComPortError(int code, const std::string &what);
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// The write time-out of a line: 1000 ms plus 100 ms per byte, so a Modbus read
// request of 8 bytes may take up to 1800 ms to leave before Write gives up.
inline constexpr int kWriteTotalConstantMs = 1000;
inline constexpr int kWriteTotalMultiplierMs = 100;
constexpr int WriteTimeoutMs(int count)
{
    return kWriteTotalConstantMs + kWriteTotalMultiplierMs * (count > 0 ? count : 0);
}

// What the bus protocols need of a serial line. TComPort implements it over a
// real port (or a pseudo-terminal); the tests put a recording fake under the
// protocols instead.
//
// Contract shared by every implementation:
// - Open opens the line named by Port for exclusive use and applies the
//   settings; opening an open line does nothing. Close abandons any transfer,
//   discards both buffers and releases the line; closing a closed line does
//   nothing.
// - SetPort on an open line closes it and opens the new name; on a closed line
//   it only stores the name. SetBaudRate and SetParity on an open line apply at
//   once, otherwise at the next Open; setting the value in force does nothing.
// - Write queues the bytes and waits until they are sent or WriteTimeoutMs
//   runs out; it returns the number of bytes sent.
// - ReadAvailable never waits: it returns at once with the bytes that have
//   already arrived, at most count of them, possibly none; text is resized to
//   the number read.
// - Purge, PendingOutput, Write and ReadAvailable need an open line.
// - Every refusal of the system throws EComPortError.
class SerialLine
{
public:
    virtual ~SerialLine() = default;

    virtual QString Port() const = 0;
    virtual void SetPort(const QString &name) = 0;

    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
    void SetConnected(bool connected) { connected ? Open() : Close(); }

    virtual void Purge(bool input, bool output) = 0;
    virtual int PendingOutput() = 0;
    virtual int Write(const uint8_t *bytes, int count) = 0;
    int WriteText(const QByteArray &text)
    {
        return Write(reinterpret_cast<const uint8_t *>(text.constData()), int(text.size()));
    }
    virtual int ReadAvailable(QByteArray &text, int count) = 0;

    virtual int BaudRate() const = 0;
    virtual void SetBaudRate(int baud) = 0;
    virtual ParityBits Parity() const = 0;
    virtual void SetParity(ParityBits parity) = 0;

    // What every reply window on this line adds to its length: 0 for a local
    // port, the round trip of a network one (link/netport.h).
    virtual int ReplyAllowanceMs() const { return 0; }
    // The name the cross-process bus guard is taken by (ComportGuard): empty
    // for the one guard that all local ports share, the port's name for a
    // network port, so that programs sharing one device server take turns
    // while other buses go their own way.
    virtual QString GuardName() const { return {}; }

    // The record the bus protocols keep of every attempt on this line (see
    // link/exchangelog.h); nullptr, the default, records nothing. The line's
    // owner attaches it; the log must outlive the line's use.
    void SetExchangeLog(ExchangeLog *log) { m_exchangeLog = log; }
    ExchangeLog *exchangeLog() const { return m_exchangeLog; }

protected:
    SerialLine() = default;
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

private:
    ExchangeLog *m_exchangeLog = nullptr;
};

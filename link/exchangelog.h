#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The record of what happened on the bus: one ExchangeRecord per attempt of
// a transaction (so a read that is retried leaves two), in a ring that keeps
// the newest kCapacity of them. The bus layer fills it itself: a line
// (SerialLine) carries the log its owner attached, and every attempt made on
// that line is recorded, whichever page asked for it. Readers (the status
// and traffic windows, the trace file) look at it by sequence number; they
// never touch the line.
//
// Memory. A record is a fixed-size value of 176 bytes: the request's and
// the reply's first kStoredBytes bytes are kept (every request and reply of
// this program but a write of more than 27 registers fits whole; the full
// lengths are kept too). 100,000 records take 17.6 MB, reserved when the
// first record arrives, so a run that never touches the bus costs nothing.
//
// Everything runs on the thread that owns the line (the window's); the log
// is not shared between threads.

// How an attempt ended, in the order a reader would want to filter them.
enum class ExchangeOutcome : uint8_t
{
    Answered,        // a sound reply (or a broadcast sent)
    NoAnswer,        // not one byte within the reply window
    Incomplete,      // some bytes, fewer than the reply needs
    CrcError,        // a whole reply whose CRC is wrong
    OtherAddress,    // the first byte named another slave
    Exception,       // a Modbus exception; code in exception_code
    BadReply,        // wrong function, byte count or marker
    GuardHeld,       // another program held the bus guard; nothing sent
    PortUnavailable, // the port cannot be opened; reason in the log's texts
    NotSent,         // the request did not leave (write failed or timed out)
};

// Which link an exchange used.
enum class ExchangeLink : uint8_t
{
    Modbus,
    Relay, // the 9-bit relay-module link
};

struct ExchangeRecord
{
    static constexpr int kStoredBytes = 64;

    uint64_t sequence = 0;   // 1 for the first record of the run, then on
    int64_t time_us = 0;     // wall clock, µs since the epoch, at the attempt's start
    int32_t duration_us = 0; // from the attempt's start to its outcome
    ExchangeLink link = ExchangeLink::Modbus;
    ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
    uint8_t address = 0;
    uint8_t function = 0;       // 3, 16; the relay link's command (9)
    uint8_t attempt = 1;        // 1 or 2
    bool ends_call = true;      // this attempt's outcome is the guarded call's result
    uint8_t exception_code = 0; // 0: not read (the master stops before the code)
    uint16_t first_register = 0;
    uint16_t count = 0;
    uint16_t port = 0;            // index into ExchangeLog::portNames()
    uint16_t reason = 0;          // PortUnavailable: index into ExchangeLog::reasons()
    uint16_t request_length = 0;  // bytes sent (may exceed kStoredBytes)
    uint16_t reply_length = 0;    // bytes received (may exceed kStoredBytes)
    uint16_t expected_length = 0; // bytes a sound reply has, 0 when unknown
    std::array<uint8_t, kStoredBytes> request{};
    std::array<uint8_t, kStoredBytes> reply{};
};

class ExchangeLog
{
public:
    static constexpr int kCapacity = 100000;

    // Takes record, numbers it (sequence) and keeps it; the oldest record
    // goes once kCapacity are kept. Each listener is told after the record
    // is stored.
    void Append(ExchangeRecord record);

    // Sequence numbers of the oldest and newest records kept; both 0 while
    // the log is empty.
    uint64_t FirstSequence() const;
    uint64_t LastSequence() const;
    // The record with that sequence number, or nullptr when it is not kept
    // (not yet made, or pushed out of the ring).
    const ExchangeRecord *Find(uint64_t sequence) const;

    // Small tables the records index, so that a record stays a plain value.
    uint16_t PortIndex(const QString &name);
    uint16_t ReasonIndex(const QString &text);
    const QStringList &portNames() const { return m_ports; }
    const QStringList &reasons() const { return m_reasons; }

    // Called on every Append, on the line's thread; keep it short. Returns
    // an id for RemoveListener.
    using Listener = std::function<void(const ExchangeRecord &)>;
    int AddListener(Listener listener);
    void RemoveListener(int id);

private:
    std::vector<ExchangeRecord> m_ring; // reserved to kCapacity at first use
    size_t m_next = 0;                  // where the next record goes
    uint64_t m_lastSequence = 0;
    QStringList m_ports;
    QStringList m_reasons;
    std::vector<std::pair<int, Listener>> m_listeners;
    int m_nextListener = 1;
    // Append is telling the listeners: a removal only marks its entry (id
    // 0), and the entries go once the round is over.
    bool m_telling = false;
    std::vector<std::pair<int, Listener>> m_added; // while telling
};

// The outcome in words, as the status and traffic windows and the trace file
// show it: "answered", "no answer", "incomplete reply (5 of 21 bytes)",
// "CRC error", "answer from address 7", "exception 2 (illegal data address)"
// ("exception (code not read)" for code 0), "bad reply", "bus guard held by
// another program", "port cannot be opened: <reason>", "request not sent".
QString OutcomeText(const ExchangeRecord &record, const ExchangeLog &log);
// The same with the reason of a PortUnavailable record given, for a reader
// on another thread that took the text along with the record.
QString OutcomeText(const ExchangeRecord &record, const QString &reason);

// The name of a Modbus exception code: 1 "illegal function", 2 "illegal data
// address", 3 "illegal data value", 4 "slave device failure", 5
// "acknowledge", 6 "slave device busy", 8 "memory parity error", 10 "gateway
// path unavailable", 11 "gateway target device failed to respond"; any other
// code "unknown exception".
QString ExceptionName(int code);

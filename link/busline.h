#pragma once

#include "link/crc16.h"
#include "link/serialline.h"

#include <array>
#include <cstdint>
#include <functional>

// What the two bus protocols (the Modbus master and the relay-module link)
// share in their exchanges on a line: how they wait, and how they take a
// reply.

// How an exchange waits; tests and fuzz targets pass one that records or
// skips the waits. An empty function means WaitMs.
using WaitFunction = std::function<void(int ms)>;

// Blocks the calling thread for at least ms milliseconds of the monotonic
// clock, sleeping (not spinning) until the deadline; window messages are not
// handled meanwhile. A sleep that ends early (a signal) sleeps again for what
// is left.
void WaitMs(int ms);

// One protocol's use of its line. Waits go through the wait function given
// (WaitMs when none). A reply is taken one byte at a time with
// ReadAvailable(1), never waiting for a byte: the protocols wait out their
// reply window first and then expect the whole reply to be there. Each byte
// taken also runs through the CRC-16 of Modbus, started afresh by BeginReply,
// so a frame followed by its own CRC leaves ReplyCrc() at 0.
//
// Port errors (EComPortError) pass through to the protocol, which turns them
// into a failed exchange.
class BusLine
{
public:
    explicit BusLine(SerialLine *port, WaitFunction wait = {});

    void Wait(int ms) const;

    // A new reply: the CRC back to 0xFFFF, no byte taken or missing yet.
    void BeginReply();
    // The next reply byte, if it has arrived; false, with the reply marked
    // incomplete, when it has not.
    bool TakeByte(uint8_t &byte);
    // The next reply byte if it has arrived, like TakeByte; but a byte that
    // has not arrived leaves the reply as it was, not incomplete. For bytes
    // a protocol looks at only for the record, so that taking them changes
    // nothing of what it does next.
    bool TakeByteIfArrived(uint8_t &byte);
    // Whether a byte was missing since BeginReply: the rest of the reply may
    // still be on its way.
    bool ReplyIncomplete() const { return m_replyIncomplete; }
    // Whether any byte of the reply arrived since BeginReply.
    bool ReplyBegun() const { return m_replyBegun; }
    uint16_t ReplyCrc() const { return m_crc; }
    // The bytes taken since BeginReply, for the exchange's record: the first
    // kKeptReplyBytes of them, and how many were taken in all.
    static constexpr int kKeptReplyBytes = 64;
    const uint8_t *ReplyBytes() const { return m_reply.data(); }
    int ReplyLength() const { return m_replyLength; }

private:
    SerialLine *m_port;
    WaitFunction m_wait;
    uint16_t m_crc = kCrcInit;
    bool m_replyIncomplete = false;
    bool m_replyBegun = false;
    std::array<uint8_t, kKeptReplyBytes> m_reply{};
    int m_replyLength = 0;
};

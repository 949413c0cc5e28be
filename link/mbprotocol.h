#pragma once

#include "link/busline.h"
#include "link/crc16.h"
#include "link/exchangerecorder.h"
#include "link/serialline.h"

#include <array>
#include <cstdint>

// One Modbus RTU transaction with one slave: function 3 (read holding
// registers) or function 16 (write multiple registers). A fresh object serves
// each attempt; the guarded, retried front is Protocol.
//
// Each transaction opens the line, purges it, sends the request (5 ms wait,
// purge if output is still pending, 5 ms wait, write), waits 50 ms and then
// takes the reply one byte at a time with ReadAvailable(1), never waiting for
// a byte: the whole reply must be there 50 ms after the request was written
// (on a network port, 50 ms and its allowance for the round trip:
// SerialLine::ReplyAllowanceMs; every reply window below grows by it).
// At 19200 baud a character takes 10/19200 s = 0.52 ms, so the 21-byte reply
// to a read of 8 registers needs 11 ms of the window, leaving the slave close
// to 40 ms to answer. The line is closed at the end of every transaction,
// whatever its outcome, and no port error (EComPortError) leaves the class:
// every failure of the line or the slave is a false result. Any other
// exception is a fault of the program and passes on to its error report.
//
// A reply that is still incomplete when the window ends may yet arrive, late,
// while the next transaction to the same slave waits for its own reply: it
// would be taken for that reply and its values reported as a success (a scan
// reading registers 4, 5 and 7 in turn would show the device type as the
// firmware). So after a reply that had begun but was not whole when the
// window ended, the line stays open for one more reply window and its input
// is then purged: whatever the slave still sends to this request is dropped,
// and a late slave reads as failed, not as wrong. A slave that sent nothing
// at all within the window is absent for this attempt, and the attempt ends
// at once: a module that is not there costs 60 ms an attempt, not 110.
//
// A slave that is only slow (it answers wholly after the window) is caught
// by the retry instead: Protocol tells the second attempt that the first
// heard nothing (ExpectLateReply). That attempt may then take the slave's
// answer to the first request, which is the same request and so the right
// answer; its own answer is still on the way, so after a success the line
// stays open one more window and is purged before the next transaction.
//
// Replies as read:
//   function 3:  address, 3, byte count b, b data bytes, CRC low, CRC high;
//                sound when b is twice the register count asked for and the
//                CRC run over all the bytes is 0.
//   function 16: address, 16; the write counts as confirmed (the rest is
//                taken for the exchange's record if it has arrived, never
//                waited for). A read that gets this reply fails.
//   exception:   address, function | 0x80; fails after these two bytes. The
//                code and CRC that follow are taken for the exchange's
//                record if they have arrived, never waited for.
//
// On a line that carries an exchange log (SerialLine::exchangeLog) each
// transaction leaves one ExchangeRecord: the request as sent, the reply bytes
// as taken, and the outcome made of them, from nothing more than was read
// above (so the code of an exception reply stays unknown, and a CRC error is
// only seen in a reply read whole). The record changes nothing on the line;
// see ExchangeRecorder.
class MBProtocol
{
public:
    // Argument limits: reads reach slaves up to 80, writes only up to 63;
    // slave 0 is the broadcast, which no slave answers. First registers from
    // 65536 to 99999 pass the check and are sent as their low 16 bits. Counts
    // run from 1 to 127 (the byte count of a write must fit one byte).
    static constexpr int kMaxReadSlave = 80;
    static constexpr int kMaxWriteSlave = 63;
    static constexpr int kMaxFirstRegister = 99999;
    static constexpr int kMaxCount = 127;
    // The bus's line speed: 8 data bits, no parity, one stop bit at 19200.
    static constexpr int kBaudRate = 19200;

    // wait: how the transaction waits; WaitMs (link/busline.h) when empty.
    explicit MBProtocol(SerialLine *port, WaitFunction wait = {});

    // Function 3. On success values[0..count-1] hold the registers, high byte
    // first on the wire. A broadcast read sends the request and returns true
    // without touching values.
    bool ReadHoldingRegisters(int slave, int first, int count, uint16_t *values);

    // Function 16. The 16-bit pattern of each value is sent high byte first.
    // True when the slave confirmed the write, or, for the broadcast, when the
    // request was sent.
    bool WriteMultipleRegisters(int slave, int first, int count, const int16_t *values);

    // The previous attempt at the same request heard nothing from the slave
    // (see above): after a success, wait out one more window and purge.
    void ExpectLateReply() { m_lateReplyOwed = true; }
    // After a transaction: whether not a single byte came back from the slave.
    bool HeardNothing() const { return !m_bus.ReplyBegun(); }

    // Protocol's guarded calls: this transaction is attempt `attempt` of its
    // call, and lastTry says that no attempt follows it, whatever its
    // outcome. Its record is then kept back until AppendRecord, which
    // Protocol calls once it has released the guard, so that the log's
    // listeners never run while this program holds the bus. A transaction
    // made without BeginAttempt is attempt 1, ends its call, and appends its
    // record as it ends.
    void BeginAttempt(int attempt, bool lastTry);
    void AppendRecord();

private:
    enum class Request
    {
        Read,
        Write
    };

    // The transaction around the request built in m_tx: open, purge, send;
    // then, unless it is a broadcast, receive the reply, and wait out and drop
    // one that came incomplete; close the line whatever happened. A broadcast
    // goes by the send result. A read whose request did not leave fails
    // without waiting for a reply; a write waits for its confirmation even
    // when the write call reported nothing sent.
    bool Exchange(int slave, Request request, int registerCount);
    void BeginFrame(int slave, int function, int first, int count);
    void PutByte(int byte);
    bool SendRequest();
    bool ReceiveReply(int slave, Request request, int registerCount);
    // One more reply window, then purge the input: whatever the slave still
    // sends to this request is dropped.
    void DropLateReply();
    void CloseQuietly();
    // The outcome of the reply as read so far; returns whether it is a
    // sound one. Missing: the next byte had not arrived.
    bool Outcome(ExchangeOutcome outcome);
    bool Missing();
    void BeginRecord(int slave, Request request, int registerCount);
    void EndRecord(bool result);

    SerialLine *m_port;
    BusLine m_bus;
    // Runs over the request as it is built.
    uint16_t m_crc = kCrcInit;
    // Longest frame: function 16 with 127 registers, 9 + 2 x 127 bytes.
    std::array<uint8_t, 9 + 2 * kMaxCount> m_tx{};
    int m_txLength = 0;
    bool m_lateReplyOwed = false;
    // A read reply's data bytes; 255 is the largest byte count.
    std::array<uint8_t, 255> m_data{};

    ExchangeRecorder m_recorder;
    ExchangeOutcome m_outcome = ExchangeOutcome::NoAnswer;
    bool m_framed = false;     // m_tx holds the whole request, CRC and all
    bool m_holdRecord = false; // Protocol appends the record (BeginAttempt)
    bool m_result = false;
};

#include "link/mbprotocol.h"

#include <QByteArray>

namespace {

constexpr int kReadHoldingRegisters = 3;
constexpr int kWriteMultipleRegisters = 16;
constexpr int kExceptionBit = 0x80;
// A write's confirmation after address and function: first register and
// count echoed, then the CRC.
constexpr int kWriteEchoRest = 6;

// 5 ms before the line is touched and 5 ms before the write give the previous
// user of the line (and a slave still answering a late frame) time to finish.
constexpr int kSendSettleMs = 5;
// 50 ms after the write the reply must be complete.
constexpr int kReplyWindowMs = 50;

} // namespace

MBProtocol::MBProtocol(SerialLine *port, WaitFunction wait)
    : m_port(port), m_bus(port, std::move(wait)), m_recorder(port)
{}

void MBProtocol::BeginAttempt(int attempt, bool lastTry)
{
    m_recorder.SetAttempt(attempt, lastTry);
    m_holdRecord = true;
}

void MBProtocol::AppendRecord()
{
    m_recorder.Append(m_result);
}

void MBProtocol::BeginRecord(int slave, Request request, int registerCount)
{
    if (!m_recorder.Recording())
        return;
    const ExchangeShape shape{ExchangeLink::Modbus, slave, m_tx[1], m_tx[2] << 8 | m_tx[3],
                              m_tx[4] << 8 | m_tx[5]};
    // address, function, byte count, the data, CRC; a write's confirmation
    // echoes first register and count.
    const int expected = slave == 0 ? 0 : request == Request::Read ? 5 + 2 * registerCount : 8;
    m_recorder.Begin(shape, expected);
}

void MBProtocol::EndRecord(bool result)
{
    m_result = result;
    if (!m_recorder.Recording())
        return;
    if (m_framed)
        m_recorder.SetRequest(m_tx.data(), m_txLength);
    if (!m_holdRecord)
        m_recorder.Append(result);
}

bool MBProtocol::Outcome(ExchangeOutcome outcome)
{
    m_outcome = outcome;
    return outcome == ExchangeOutcome::Answered;
}

bool MBProtocol::Missing()
{
    return Outcome(m_bus.ReplyBegun() ? ExchangeOutcome::Incomplete : ExchangeOutcome::NoAnswer);
}

void MBProtocol::CloseQuietly()
{
    try {
        if (m_port->Connected())
            m_port->Close();
    } catch (const EComPortError &) {
    }
}

void MBProtocol::PutByte(int byte)
{
    const auto b = uint8_t(byte & 0xFF);
    m_tx[size_t(m_txLength++)] = b;
    m_crc = Crc16Update(m_crc, b);
}

void MBProtocol::BeginFrame(int slave, int function, int first, int count)
{
    m_crc = kCrcInit;
    m_txLength = 0;
    PutByte(slave);
    PutByte(function);
    PutByte(first >> 8); // registers above 65535 keep their low 16 bits
    PutByte(first);
    PutByte(count >> 8);
    PutByte(count);
}

bool MBProtocol::SendRequest()
{
    try {
        const uint16_t crc = m_crc; // PutByte moves m_crc on
        m_tx[size_t(m_txLength++)] = uint8_t(crc & 0xFF);
        m_tx[size_t(m_txLength++)] = uint8_t(crc >> 8);
        m_framed = true;
        m_bus.Wait(kSendSettleMs);
        if (!m_port->Connected())
            m_port->Open();
        if (m_port->PendingOutput() > 0)
            m_port->Purge(true, true);
        m_bus.Wait(kSendSettleMs);
        const QByteArray frame =
            QByteArray::fromRawData(reinterpret_cast<const char *>(m_tx.data()), m_txLength);
        return m_port->WriteText(frame) != 0;
    } catch (const EComPortError &) {
        return false;
    }
}

void MBProtocol::DropLateReply()
{
    m_bus.Wait(kReplyWindowMs + m_port->ReplyAllowanceMs());
    m_port->Purge(true, false);
}

bool MBProtocol::ReceiveReply(int slave, Request request, int registerCount)
{
    m_bus.BeginReply();
    m_bus.Wait(kReplyWindowMs + m_port->ReplyAllowanceMs());

    uint8_t byte = 0;
    if (!m_bus.TakeByte(byte))
        return Missing();
    if (byte != uint8_t(slave))
        return Outcome(ExchangeOutcome::OtherAddress);
    if (!m_bus.TakeByte(byte))
        return Missing();
    if (byte & kExceptionBit) {
        // The reply fails here. Its code and CRC have normally arrived with
        // it; they are taken for the record when they are there, without
        // waiting and without calling the reply cut off when they are not,
        // so the exchange goes on as it would without them (the next
        // transaction purges the line anyway). A code is kept only when
        // the CRC over the five bytes checks.
        uint8_t code = 0;
        uint8_t crcByte = 0;
        if (m_bus.TakeByteIfArrived(code) && m_bus.TakeByteIfArrived(crcByte) &&
            m_bus.TakeByteIfArrived(crcByte) && m_bus.ReplyCrc() == 0)
            m_recorder.SetExceptionCode(code);
        return Outcome(ExchangeOutcome::Exception);
    }
    const int function = byte;

    if (function == kWriteMultipleRegisters) {
        if (request != Request::Write)
            return Outcome(ExchangeOutcome::BadReply);
        // A write counts as confirmed by these two bytes. The echo and CRC
        // that follow are taken for the record when they have arrived,
        // never waited for: a whole confirmation whose CRC fails is recorded
        // as a CRC error, though the write still counts.
        uint8_t rest = 0;
        int taken = 0;
        while (taken < kWriteEchoRest && m_bus.TakeByteIfArrived(rest))
            ++taken;
        Outcome(ExchangeOutcome::Answered);
        if (taken == kWriteEchoRest && m_bus.ReplyCrc() != 0)
            m_outcome = ExchangeOutcome::CrcError;
        return true;
    }
    if (function != kReadHoldingRegisters)
        return Outcome(ExchangeOutcome::BadReply);

    uint8_t byteCount = 0;
    if (!m_bus.TakeByte(byteCount))
        return Missing();
    if (request == Request::Read && byteCount != 2 * registerCount)
        return Outcome(ExchangeOutcome::BadReply);
    for (int i = 0; i < byteCount; ++i) {
        if (!m_bus.TakeByte(m_data[size_t(i)]))
            return Missing();
    }
    uint8_t crcByte = 0;
    if (!m_bus.TakeByte(crcByte) || !m_bus.TakeByte(crcByte))
        return Missing();
    return Outcome(m_bus.ReplyCrc() == 0 ? ExchangeOutcome::Answered : ExchangeOutcome::CrcError);
}

bool MBProtocol::Exchange(int slave, Request request, int registerCount)
{
    BeginRecord(slave, request, registerCount);
    bool opened = false;
    bool sent = false;
    try {
        m_port->Open();
        opened = true;
        m_port->Purge(true, true);
        sent = SendRequest();
        bool result = false;
        if (slave == 0) {
            result = sent; // nobody answers a broadcast
            Outcome(sent ? ExchangeOutcome::Answered : ExchangeOutcome::NotSent);
        } else if (sent || request == Request::Write) {
            // A read whose request did not leave has nothing to wait for; a
            // write counts when the slave confirms it, however the write call
            // reported.
            result = ReceiveReply(slave, request, registerCount);
            if (!sent && m_outcome == ExchangeOutcome::NoAnswer)
                Outcome(ExchangeOutcome::NotSent);
            m_recorder.Finish(m_outcome, m_bus);
            // A reply cut off by the window still has bytes to come; so has
            // a slow slave's answer to this very request (see the header).
            const bool cutOff = !result && m_bus.ReplyBegun() && m_bus.ReplyIncomplete();
            if (cutOff || (result && m_lateReplyOwed))
                DropLateReply();
        } else {
            Outcome(ExchangeOutcome::NotSent);
        }
        m_recorder.Finish(m_outcome, m_bus);
        m_port->Close();
        EndRecord(result);
        return result;
    } catch (const EComPortError &error) {
        CloseQuietly();
        if (!opened)
            m_recorder.FinishPortUnavailable(error.code());
        else if (m_bus.ReplyBegun())
            m_recorder.Finish(ExchangeOutcome::Incomplete, m_bus);
        else
            m_recorder.Finish(sent ? ExchangeOutcome::NoAnswer : ExchangeOutcome::NotSent, m_bus);
        EndRecord(false);
        return false;
    }
}

bool MBProtocol::ReadHoldingRegisters(int slave, int first, int count, uint16_t *values)
{
    if (first < 0 || first > kMaxFirstRegister || slave < 0 || slave > kMaxReadSlave)
        return false;
    if (count < 1 || count > kMaxCount || !values || !m_port)
        return false;
    BeginFrame(slave, kReadHoldingRegisters, first, count);
    if (!Exchange(slave, Request::Read, count))
        return false;
    if (slave != 0) {
        for (int i = 0; i < count; ++i)
            values[i] = uint16_t(m_data[size_t(2 * i)] << 8 | m_data[size_t(2 * i + 1)]);
    }
    return true;
}

bool MBProtocol::WriteMultipleRegisters(int slave, int first, int count, const int16_t *values)
{
    if (first < 0 || first > kMaxFirstRegister || slave < 0 || slave > kMaxWriteSlave)
        return false;
    if (count < 1 || count > kMaxCount || !values || !m_port)
        return false;
    BeginFrame(slave, kWriteMultipleRegisters, first, count);
    PutByte(2 * count);
    for (int i = 0; i < count; ++i) {
        const auto pattern = uint16_t(values[i]);
        PutByte(pattern >> 8);
        PutByte(pattern);
    }
    return Exchange(slave, Request::Write, count);
}

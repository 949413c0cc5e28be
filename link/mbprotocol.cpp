#include "link/mbprotocol.h"

#include <QByteArray>

namespace {

constexpr int kReadHoldingRegisters = 3;
constexpr int kWriteMultipleRegisters = 16;
constexpr int kExceptionBit = 0x80;

// 5 ms before the line is touched and 5 ms before the write give the previous
// user of the line (and a slave still answering a late frame) time to finish.
constexpr int kSendSettleMs = 5;
// 50 ms after the write the reply must be complete.
constexpr int kReplyWindowMs = 50;

} // namespace

MBProtocol::MBProtocol(SerialLine *port, WaitFunction wait)
    : m_port(port), m_bus(port, std::move(wait))
{}

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
    m_bus.Wait(kReplyWindowMs);
    m_port->Purge(true, false);
}

bool MBProtocol::ReceiveReply(int slave, Request request, int registerCount)
{
    m_bus.BeginReply();
    m_bus.Wait(kReplyWindowMs);

    uint8_t byte = 0;
    if (!m_bus.TakeByte(byte) || byte != uint8_t(slave))
        return false;
    if (!m_bus.TakeByte(byte) || (byte & kExceptionBit))
        return false;
    const int function = byte;

    if (function == kWriteMultipleRegisters)
        return request == Request::Write;
    if (function != kReadHoldingRegisters)
        return false;

    uint8_t byteCount = 0;
    if (!m_bus.TakeByte(byteCount))
        return false;
    if (request == Request::Read && byteCount != 2 * registerCount)
        return false;
    for (int i = 0; i < byteCount; ++i) {
        if (!m_bus.TakeByte(m_data[size_t(i)]))
            return false;
    }
    uint8_t crcByte = 0;
    if (!m_bus.TakeByte(crcByte) || !m_bus.TakeByte(crcByte))
        return false;
    return m_bus.ReplyCrc() == 0;
}

bool MBProtocol::Exchange(int slave, Request request, int registerCount)
{
    try {
        m_port->Open();
        m_port->Purge(true, true);
        const bool sent = SendRequest();
        bool result = false;
        if (slave == 0) {
            result = sent; // nobody answers a broadcast
        } else if (sent || request == Request::Write) {
            // A read whose request did not leave has nothing to wait for; a
            // write counts when the slave confirms it, however the write call
            // reported.
            result = ReceiveReply(slave, request, registerCount);
            // A reply cut off by the window still has bytes to come; so has
            // a slow slave's answer to this very request (see the header).
            const bool cutOff = !result && m_bus.ReplyBegun() && m_bus.ReplyIncomplete();
            if (cutOff || (result && m_lateReplyOwed))
                DropLateReply();
        }
        m_port->Close();
        return result;
    } catch (const EComPortError &) {
        CloseQuietly();
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

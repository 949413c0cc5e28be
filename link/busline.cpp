#include "link/busline.h"

#include <QByteArray>

#include <chrono>
#include <thread>

void WaitMs(int ms)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (auto now = Clock::now(); now < deadline; now = Clock::now())
        std::this_thread::sleep_for(deadline - now);
}

BusLine::BusLine(SerialLine *port, WaitFunction wait) : m_port(port), m_wait(std::move(wait)) {}

void BusLine::Wait(int ms) const
{
    if (m_wait)
        m_wait(ms);
    else
        WaitMs(ms);
}

void BusLine::BeginReply()
{
    m_crc = kCrcInit;
    m_replyIncomplete = false;
    m_replyBegun = false;
    m_replyLength = 0;
}

bool BusLine::TakeByte(uint8_t &byte)
{
    if (TakeByteIfArrived(byte))
        return true;
    m_replyIncomplete = true;
    return false;
}

bool BusLine::TakeByteIfArrived(uint8_t &byte)
{
    QByteArray text;
    if (m_port->ReadAvailable(text, 1) < 1 || text.isEmpty())
        return false;
    byte = uint8_t(text.at(0));
    m_replyBegun = true;
    if (m_replyLength < kKeptReplyBytes)
        m_reply[size_t(m_replyLength)] = byte;
    ++m_replyLength;
    m_crc = Crc16Update(m_crc, byte);
    return true;
}

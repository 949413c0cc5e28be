#include "sim/simframereader.h"

#include "sim/simmodule.h"

quint16 simCrc16(QByteArrayView bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray simWithCrc(QByteArray bytes)
{
    const quint16 crc = simCrc16(bytes);
    bytes.append(static_cast<char>(crc & 0xFF));
    bytes.append(static_cast<char>(crc >> 8));
    return bytes;
}

SimFrameReader::SimFrameReader(Clock::duration silence, Clock::duration addressHold)
    : m_silence(silence), m_addressHold(addressHold)
{}

void SimFrameReader::append(QByteArrayView bytes, Clock::time_point at)
{
    if (bytes.isEmpty())
        return;
    if (!m_buffer.isEmpty() && at - m_lastByte >= m_silence)
        endFrame();
    if (holdsExpiredAddress(at))
        releaseAddress();
    m_buffer.append(bytes);
    if (m_buffer.size() > kMaxFrame)
        m_buffer.remove(0, m_buffer.size() - kMaxFrame);
    m_lastByte = at;
}

std::optional<SimFrame> SimFrameReader::takeFrame(Clock::time_point now)
{
    if (!m_buffer.isEmpty() && now - m_lastByte >= m_silence)
        endFrame();
    if (holdsExpiredAddress(now))
        releaseAddress();
    if (m_ended.empty())
        return std::nullopt;
    SimFrame frame = std::move(m_ended.front());
    m_ended.pop_front();
    return frame;
}

std::optional<SimFrameReader::Clock::time_point> SimFrameReader::nextDeadline() const
{
    if (!m_ended.empty())
        return Clock::time_point::min();
    if (!m_buffer.isEmpty())
        return m_lastByte + m_silence;
    if (m_heldAddress)
        return m_heldAddress->end - m_silence + m_addressHold;
    return std::nullopt;
}

void SimFrameReader::clear()
{
    m_buffer.clear();
    m_ended.clear();
    m_heldAddress.reset();
}

void SimFrameReader::endFrame()
{
    ++m_framesEnded;
    SimFrame frame{std::move(m_buffer), m_lastByte + m_silence};
    m_buffer.clear();
    if (frame.bytes.size() == 1 && isRelayAddress(simByteAt(frame.bytes, 0))) {
        if (m_heldAddress)
            releaseAddress();
        m_heldAddress = std::move(frame);
        return;
    }
    if (m_heldAddress) {
        const QByteArray poll = m_heldAddress->bytes + frame.bytes;
        if (isRelayPoll(poll) && simCrc16(poll) == 0) {
            m_heldAddress.reset();
            m_ended.push_back(SimFrame{poll, frame.end});
            return;
        }
        releaseAddress();
    }
    m_ended.push_back(std::move(frame));
}

// The hold runs from the address byte's arrival.
bool SimFrameReader::holdsExpiredAddress(Clock::time_point now) const
{
    return m_heldAddress && m_buffer.isEmpty() &&
           now - (m_heldAddress->end - m_silence) >= m_addressHold;
}

void SimFrameReader::releaseAddress()
{
    m_ended.push_back(std::move(*m_heldAddress));
    m_heldAddress.reset();
}

bool SimFrameReader::isRelayAddress(int address)
{
    return address >= SimRelayModule::kFirstAddress && address <= SimRelayModule::kLastAddress;
}

bool SimFrameReader::isRelayPoll(const QByteArray &frame)
{
    return frame.size() == SimRelayModule::kPollLength && isRelayAddress(simByteAt(frame, 0)) &&
           simByteAt(frame, 1) == SimRelayModule::kCommand;
}

#include "sim/simframereader.h"

namespace {

constexpr int kRelayCommand = 9;
constexpr int kRelayPollLength = 13;
constexpr int kFirstRelayAddress = 13;
constexpr int kLastRelayAddress = 15;

bool isRelayAddress(int address)
{
    return address >= kFirstRelayAddress && address <= kLastRelayAddress;
}

// Length of the frame that would start at offset i: 0 while too few bytes
// have arrived to tell, -1 when no request starts like this.
qsizetype frameLengthAt(const QByteArray &buffer, qsizetype i)
{
    const qsizetype available = buffer.size() - i;
    if (available < 2)
        return 0;
    const int function = simByteAt(buffer, i + 1);
    if (function == kRelayCommand && isRelayAddress(simByteAt(buffer, i)))
        return kRelayPollLength;
    if (function >= 1 && function <= 6)
        return 8;
    if (function == 15 || function == 16)
        return available < 7 ? 0 : 9 + simByteAt(buffer, i + 6);
    return -1;
}

} // namespace

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

void SimFrameReader::append(QByteArrayView bytes)
{
    m_buffer.append(bytes);
    if (m_buffer.size() > kMaxBuffered)
        m_buffer.remove(0, m_buffer.size() - kMaxBuffered);
}

std::optional<QByteArray> SimFrameReader::takeFrame()
{
    for (qsizetype i = 0; i < m_buffer.size(); ++i) {
        const qsizetype length = frameLengthAt(m_buffer, i);
        if (length <= 0 || i + length > m_buffer.size())
            continue;
        const QByteArray frame = m_buffer.mid(i, length);
        if (simCrc16(frame) != 0)
            continue;
        m_buffer.remove(0, i + length);
        return frame;
    }
    return std::nullopt;
}

bool SimFrameReader::isRelayPoll(const QByteArray &frame)
{
    return frame.size() == kRelayPollLength && isRelayAddress(simByteAt(frame, 0)) &&
           simByteAt(frame, 1) == kRelayCommand;
}

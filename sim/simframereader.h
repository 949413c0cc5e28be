#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// CRC-16/MODBUS of bytes: reflected polynomial 0xA001, initial value 0xFFFF,
// no final inversion. Frames carry it low byte first. The nine characters
// "123456789" give 0x4B37; a frame followed by its own CRC gives 0.
quint16 simCrc16(QByteArrayView bytes);

// bytes followed by their CRC, low byte first.
QByteArray simWithCrc(QByteArray bytes);

// Byte i of a frame as 0..255, and the 16-bit word at i, high byte first.
inline quint8 simByteAt(const QByteArray &frame, qsizetype i)
{
    return static_cast<quint8>(frame.at(i));
}

inline int simWordAt(const QByteArray &frame, qsizetype i)
{
    return simByteAt(frame, i) * 256 + simByteAt(frame, i + 1);
}

// Cuts request frames out of the byte stream of a line that carries no
// timing.
//
// On RS-485 a Modbus RTU frame ends with 3.5 character times of silence
// (about 2 ms at 19200 baud). A pseudo-terminal delivers bytes with no timing
// at all, and a master that gave up on an exchange may leave fragments behind,
// so the reader goes by the shape of a request instead:
// - functions 1 to 6 are 8 bytes (address, function, 4 bytes, CRC);
// - functions 15 and 16 are 9 + n bytes, n being the byte count at offset 6;
// - the relay modules' poll is 13 bytes: address 13, 14 or 15, command 9,
//   then 9 bytes and the CRC.
// Only a frame whose CRC checks out counts. Bytes ahead of the first such
// frame are noise and go with it. A frame that has not fully arrived yet
// stays buffered, but a complete valid frame further on is taken without
// waiting for it, so a fragment with a bogus length never blocks the line.
class SimFrameReader
{
public:
    // Bytes beyond this are dropped from the front: no request is that long
    // (the longest, function 16 with 255 data bytes, is 264).
    static constexpr qsizetype kMaxBuffered = 1024;

    void append(QByteArrayView bytes);

    // The next complete frame with a valid CRC, CRC included, or nothing
    // when none has arrived yet.
    std::optional<QByteArray> takeFrame();

    void clear() { m_buffer.clear(); }
    bool isEmpty() const { return m_buffer.isEmpty(); }

    // True when frame has the shape of a relay-module poll (see above).
    static bool isRelayPoll(const QByteArray &frame);

private:
    QByteArray m_buffer;
};

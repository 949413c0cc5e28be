#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <deque>
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

// A frame as it came off the line, and when the line fell silent after it:
// the moment a module takes it as ended, however late the reader looked.
struct SimFrame
{
    QByteArray bytes;
    std::chrono::steady_clock::time_point end;
};

// Cuts the byte stream of a line into frames the way a Modbus RTU slave
// does: a frame is whatever arrives until the line has been silent for the
// given time (3.5 characters on a real line). A gap of that length inside a
// request therefore cuts it in two, and neither part is a request. The
// reader neither checks CRCs nor looks at what a frame holds; the times are
// given by the caller, so the rule can be driven without a clock.
//
// The relay modules' 9-bit link is the one exception. There the master sends
// the address byte with its parity bit set and the other twelve bytes with it
// clear, and it switches parity in between (the program closes and reopens
// its port to do so), which leaves a gap after the address byte. A relay
// module knows the address byte by its ninth bit, not by timing: the byte
// wakes it, and it takes the bytes that follow as the rest of its poll.
// A pseudo-terminal carries no parity bit, so the reader goes by what it can
// see: a frame of one byte that holds a relay module's address (13, 14, 15)
// is taken for such a marked address byte and waits for the next frame, at
// most addressHold. If the two make a 13-byte poll with command 9 and a
// valid CRC, they are handed on as one frame; otherwise each goes on alone
// (one byte makes no request for anyone). A 13-byte poll written in one
// piece is a frame like any other.
class SimFrameReader
{
public:
    using Clock = std::chrono::steady_clock;

    // Bytes beyond this are dropped from the front of a frame: no request is
    // that long (the longest, function 16 with 246 data bytes, is 255).
    static constexpr qsizetype kMaxFrame = 512;

    SimFrameReader(Clock::duration silence, Clock::duration addressHold);

    // Bytes that came off the line at `at`. If the line had been silent for
    // the frame silence before `at`, the bytes buffered so far end their
    // frame first.
    void append(QByteArrayView bytes, Clock::time_point at);

    // The next frame that has ended by now, as it came (CRC not checked),
    // oldest first; nothing when no frame has ended yet. Its end is its last
    // byte's time plus the silence.
    std::optional<SimFrame> takeFrame(Clock::time_point now);

    // When takeFrame() has something to hand out or to drop if no byte
    // arrives before then; nothing while the reader holds no byte.
    std::optional<Clock::time_point> nextDeadline() const;

    // How many frames silence has ended so far, whatever they held: noise,
    // a fragment, a held address byte, a request.
    qint64 framesEnded() const { return m_framesEnded; }

    void clear();

    // True when frame has the shape of a relay-module poll: 13 bytes, a
    // relay module's address and command 9 (CRC not checked).
    static bool isRelayPoll(const QByteArray &frame);
    static bool isRelayAddress(int address);

private:
    void endFrame();
    bool holdsExpiredAddress(Clock::time_point now) const;
    void releaseAddress();

    Clock::duration m_silence;
    Clock::duration m_addressHold;
    QByteArray m_buffer;
    Clock::time_point m_lastByte;
    std::deque<SimFrame> m_ended;
    std::optional<SimFrame> m_heldAddress;
    qint64 m_framesEnded = 0;
};

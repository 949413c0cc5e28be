#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>
#include <vector>

// The simulator's side of a half-duplex line: when the bytes of its replies
// reach the master.
//
// A reply starts at the time it is given (the end of the request plus the
// module's turnaround) but not before the reply ahead of it has left the
// line, since only one station sends at a time. Its bytes then follow one
// character time apart, byte i being complete, and so readable by the
// master, at begin + (i + 1) character times. A character time of zero
// hands the whole reply over at its start. The times are given by the
// caller, so the schedule can be checked without a clock.
class SimTransmitter
{
public:
    using Clock = std::chrono::steady_clock;

    // One character of bits bits at baud. The RTD modules' line has 8 data
    // bits, no parity and one stop bit: with the start bit 10 bits, 520.8 us
    // at 19200. The relay modules' line adds a parity bit: 11 bits, 191.0 us
    // at 57600.
    static constexpr std::chrono::nanoseconds characterTime(int baud, int bits)
    {
        return std::chrono::nanoseconds(bits * 1'000'000'000LL / baud);
    }

    void queue(QByteArray bytes, Clock::time_point start, Clock::duration character);

    // The bytes complete by now, in the order they left; the caller hands
    // them to the line.
    QByteArray takeDue(Clock::time_point now);

    // When the next byte is complete; nothing when no reply is waiting.
    std::optional<Clock::time_point> nextDue() const;

    bool isIdle() const { return m_replies.empty(); }
    void clear();

private:
    struct Reply
    {
        QByteArray bytes;
        Clock::time_point start;
        Clock::duration character;
        qsizetype sent = 0;
        std::optional<Clock::time_point> begin; // set when its first byte leaves
    };

    Clock::time_point beginOf(const Reply &reply) const;
    static Clock::time_point dueOf(const Reply &reply, Clock::time_point begin, qsizetype i);

    std::vector<Reply> m_replies; // by start; the first may be under way
    Clock::time_point m_lineFree;
};

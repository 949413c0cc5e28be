#pragma once

#include <cstdint>
#include <functional>

class SerialLine;

// The slave address and line of the next guarded bus transaction. Every
// caller sets `address` just before it calls Protocol; `port` names the
// Modbus port object of the main window (a BusPort) for the whole run, or a
// fake line in tests.
struct BusTarget
{
    int address = 0;
    SerialLine *port = nullptr;
};

// The shapes of Protocol's guarded calls, so that the bus work of a page
// (sending, metering, the scan) can be driven by a recording function, a
// fake line or the simulator as well as by Protocol itself.

// Function 3 on target.address: count registers from first into values;
// false when the module did not answer soundly.
using RegisterReader =
    std::function<bool(const BusTarget &target, int first, int count, uint16_t *values)>;

// How a guarded read ended, for a caller that must tell an address where
// nothing is from a slave that answered badly (the bus search).
enum class ReadResult
{
    // values hold the registers.
    Answered,
    // Some attempt heard at least one byte, but none a sound reply (a bad
    // CRC, an exception, garbage, a reply cut off): something is there.
    Failed,
    // Not one byte came back in any attempt, or no attempt was made (no
    // line, the port missing, the guard held by another program, the call
    // stopped before its first attempt).
    Silent,
};

// Protocol::Read: a read of Function 3 that says how it ended.
using ProbeReader =
    std::function<ReadResult(const BusTarget &target, int first, int count, uint16_t *values)>;

// One guarded register write (function 16) to target.address.
using RegisterWriter =
    std::function<bool(const BusTarget &target, int first, int count, const int16_t *values)>;

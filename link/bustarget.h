#pragma once

#include <cstdint>
#include <functional>

class SerialLine;

// The slave address and line of the next guarded bus transaction. Every
// caller sets `address` just before it calls Protocol; `port` names the
// Modbus port object of the main window (a TComPort) for the whole run, or a
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

// One guarded register write (function 16) to target.address.
using RegisterWriter =
    std::function<bool(const BusTarget &target, int first, int count, const int16_t *values)>;

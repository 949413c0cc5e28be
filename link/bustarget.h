#pragma once

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

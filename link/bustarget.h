#pragma once

class TComPort;

// The slave address and port of the next guarded bus transaction. Every
// caller sets `address` just before it calls Protocol; `port` names the
// Modbus port object of the main window for the whole run.
struct BusTarget
{
    int address = 0;
    TComPort *port = nullptr;
};

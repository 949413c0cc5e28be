#pragma once

#include "link/bustarget.h"

#include <cstdint>

// The guarded, retried front of the Modbus master. Each call takes the
// system-wide guard "comport", runs one transaction on target.port for
// target.address with a fresh MBProtocol, and tries once more when that
// transaction fails. Holds no state; one object serves any number of calls.
class Protocol
{
public:
    // Function 3. values receives count registers on success.
    bool ReadRegisters(const BusTarget &target, int first, int count, uint16_t *values);
    // Function 16. The values' 16-bit patterns are sent high byte first.
    bool WriteRegisters(const BusTarget &target, int first, int count, const int16_t *values);
};

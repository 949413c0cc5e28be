#include "config/configregisters.h"

ConfigRegisters PackConfigRegisters(const ModuleTable &table, int m)
{
    ConfigRegisters registers{};
    for (int r = 0; r < kConfigRegisterCount; ++r) {
        const auto high = static_cast<uint16_t>(table.input_type[2 * r + 1][m] & 0xFF);
        const auto low = static_cast<uint16_t>(table.input_type[2 * r + 2][m] & 0xFF);
        // The register travels as a 16-bit pattern; int16_t only carries it.
        registers[r] = static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low));
    }
    return registers;
}

#pragma once

#include "modules/moduletable.h"

#include <array>
#include <cstdint>

// The input types of one module as they travel to holding registers 0..3:
// two type codes per register, the odd-numbered input in the high byte, so
// register r = type(2r + 1) * 256 + type(2r + 2). Input 1 is the high byte of
// register 0, input 8 the low byte of register 3.
inline constexpr int kConfigFirstRegister = 0;
inline constexpr int kConfigRegisterCount = 4;

using ConfigRegisters = std::array<int16_t, kConfigRegisterCount>;

// Packs inputs 1..8 of module m (1..63). Each code keeps only its low byte, so
// a code outside 0..255 cannot spill into the neighbouring input.
ConfigRegisters PackConfigRegisters(const ModuleTable &table, int m);

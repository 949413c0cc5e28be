#pragma once

#include "config/configfile.h"

#include <array>

// The two configurations the save-kill child saves in turn: every input
// Pt100 with period 17, and every input 4-20 mA with period 126.
inline std::array<QByteArray, 2> ConfigSaveKillImages()
{
    ModuleTable first;
    ModuleTable second;
    for (int m = 1; m <= kModuleCount; ++m) {
        for (int k = 1; k <= kInputCount; ++k) {
            first.input_type[k][m] = 1;
            second.input_type[k][m] = 5;
        }
    }
    return {BuildConfigImage(first, 17), BuildConfigImage(second, 126)};
}

#include "modules/moduletable.h"

void ModuleTable::NewConfiguration()
{
    for (int m = 1; m <= kModuleCount; ++m) {
        module_state[m] = kMarkOn;
        for (int k = 1; k <= kInputCount; ++k)
            input_type[k][m] = kNotUsed;
    }
    for (int g = 1; g <= kGroupCount; ++g)
        group_state[g] = kMarkOff;
}

int ModuleTable::UpdateActiveModules()
{
    int count = 0;
    for (int m = 1; m <= kModuleCount; ++m) {
        module_active[m] = kMarkOff;
        if (group_state[GroupOf(m)] == kMarkOn && module_state[m] == kMarkOn && HasInputInUse(m)) {
            module_active[m] = kMarkOn;
            ++count;
        }
    }
    return count;
}

bool ModuleTable::HasInputInUse(int m) const
{
    for (int k = 1; k <= kInputCount; ++k) {
        if (input_type[k][m] > 0)
            return true;
    }
    return false;
}

int ModuleTable::GroupOf(int m)
{
    return (m - 1) / 16 + 1;
}

int ModuleTable::FirstModuleOfGroup(int g)
{
    return (g - 1) * 16 + 1;
}

int ModuleTable::LastModuleOfGroup(int g)
{
    return g == kGroupCount ? kModuleCount : g * 16;
}

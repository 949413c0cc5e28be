#pragma once

#include "link/bustarget.h"

#include <array>

// The table that describes the whole RTD bus: which modules the user
// selected, which groups are expanded in the configuration tree, the sensor
// type of every input and the active set derived from them.
//
// Arrays are indexed by the numbers the user sees: modules 1..63, groups
// 1..4, inputs 1..8. Index 0 (and any other unused slot) is never read.

inline constexpr int kModuleCount = 63;
inline constexpr int kInputCount = 8;
inline constexpr int kGroupCount = 4;

// Two-valued marks: 3 is on (selected, expanded, active), 2 is off. The same
// numbers are the state-image indices of the tree views (green dot, cross).
inline constexpr int kMarkOn = 3;
inline constexpr int kMarkOff = 2;

// Input type codes: the selector's item index, the byte in .cfg files and
// the byte written to the module's registers.
enum InputType : int
{
    kNotUsed = 0,
    kPt100 = 1,
    kNi100 = 2,
    kNi120 = 3,
    kCu10 = 4,
    k4to20mA = 5,
};

class ModuleTable
{
public:
    ModuleTable() { NewConfiguration(); }

    // New Configuration: every module selected, every group collapsed, every
    // input "Not Used". module_active keeps its last value.
    void NewConfiguration();

    // Rewrites module_active and returns the number of active modules: a
    // module is active when its group is expanded, it is selected, and at
    // least one of its inputs has a type above 0.
    int UpdateActiveModules();

    // True when at least one input of module m has a type above 0.
    bool HasInputInUse(int m) const;

    // Group 1..4 of module address 1..63 (1-16, 17-32, 33-48, 49-63).
    static int GroupOf(int m);
    static int FirstModuleOfGroup(int g);
    static int LastModuleOfGroup(int g);

    std::array<int, kModuleCount + 1> module_state{};
    std::array<int, kGroupCount + 1> group_state{};
    // input_type[k][m]: type code of input k (1..8) of module m (1..63).
    std::array<std::array<int, kModuleCount + 1>, kInputCount + 1> input_type{};
    std::array<int, kModuleCount + 1> module_active{};
    bool metering_on = false;
    BusTarget bus_target;
};

#pragma once

#include "link/bustarget.h"
#include "result/result.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class ModuleTable;

// The bus work of the Miscellaneous Info page, apart from any widget: the
// scan of the listed modules' identity registers and the notch filter
// command. The bus is a reader or a writer function of Protocol's shape, so a
// test drives both with a recording function, a fake line or the simulator.
//
// Scan. Each module is asked three separate questions, two registers each,
// of which only the first value is used:
//   from 4   device type:  202 "TAV RTD", any other value "UNKNOWN"
//   from 5   firmware x 100, unsigned: 311 "3.11", 65535 "655.35"
//   from 7   notch in Hz:  10, 50, 60 "10 Hz" ... , any other value "UNKNOWN"
// A read that fails gives "----" in its place and the scan goes on; the
// three are independent, so a module may show its firmware and "----" for
// its frequency. A guarded read makes at most two attempts of at least 60 ms,
// so a module that answers costs about 3 x 60 ms and a silent one six
// attempts, a little under 0.4 s (more while link/ waits out a late reply).
//
// Notch filter command. Register 46252 takes 256 plus the frequency: 266 for
// 10 Hz, 306 for 50 Hz, 316 for 60 Hz; it is written as two registers from
// 46252, the second 0. The results of the writes are not looked at: a module
// that does not take the command shows its old frequency at the next scan.
//
// Both run on the caller's thread until the last module is done, and both
// set table.bus_target.address before each exchange.

// The texts of one module's row, in the grid's columns 1 to 3.
struct ModuleInfo
{
    QString device_type;
    QString firmware;
    QString frequency;

    bool operator==(const ModuleInfo &) const = default;
};

// Told before the work of each listed module: step 1 for the first address,
// addresses.size() for the last, as the sending loop tells its progress. A
// caller that shows progress sets its maximum to addresses.size() first.
using ScanProgress = std::function<void(int step)>;
// Takes the texts of the module at list position step (1 = first).
using ModuleInfoHook = std::function<void(int step, const ModuleInfo &info)>;

// Registers and values of the command, as the modules define them.
inline constexpr int kDeviceTypeRegister = 4;
inline constexpr int kFirmwareRegister = 5;
inline constexpr int kNotchRegister = 7;
inline constexpr int kIdentityReadCount = 2;
inline constexpr int kNotchCommandRegister = 46252;
inline constexpr int kNotchCommandCount = 2;
inline constexpr int kNotchCommandBase = 256;

// The texts of the three values, as the grid shows them; a value that could
// not be read (nothing) shows "----".
ModuleInfo ModuleInfoOf(std::optional<uint16_t> device, std::optional<uint16_t> firmware,
                        std::optional<uint16_t> notch);

// The three reads of module address (1..63). An address outside 1..63 is
// not asked (0 would be a broadcast that no module answers) and reads as
// three failed reads.
ModuleInfo ReadModuleInfo(BusTarget &target, int address, const RegisterReader &read);

// The scan of the listed addresses, in list order: progress(step), then the
// three reads, then show(step, texts).
void ScanModuleRows(ModuleTable &table, const QList<int> &addresses, const RegisterReader &read,
                    const ModuleInfoHook &show, const ScanProgress &progress = {});

// 256 + hz for 10, 50 or 60; any other frequency is refused, since the
// modules define no other command.
Result<int16_t> NotchCommandValue(int hz);

// Writes the command for hz to every listed address in list order, each
// after progress(step); an address outside 1..63 is passed over without a
// write (0 would reach every module on the bus). A refused frequency writes
// nothing and reports nothing, and is returned as the failure.
Result<> SetNotchFrequencyRows(ModuleTable &table, const QList<int> &addresses, int hz,
                               const RegisterWriter &write, const ScanProgress &progress = {});

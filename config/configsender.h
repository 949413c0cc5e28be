#pragma once

#include "link/bustarget.h"

#include <QList>

#include <cstdint>
#include <functional>

class ModuleTable;

// Told before the work of each listed module: step 1 for the first address,
// addresses.size() for the last, also for a module that is then skipped. A
// caller that shows progress sets its maximum to addresses.size() first.
using SendProgress = std::function<void(int step)>;

// The sending loop, with no window of its own: for each address in order it
// reports the step to progress (when given) and, when the module has at least
// one input in use, sets table.bus_target.address and writes the four type
// registers (0..3) with write. A module whose inputs are all "Not Used" is not
// written and keeps whatever configuration it holds. The result of a write is
// not looked at: a module that does not answer is passed over and the loop
// goes on. Runs on the caller's thread until every address is done.
void SendConfigurationRows(ModuleTable &table, const QList<int> &addresses,
                           const RegisterWriter &write, const SendProgress &progress = {});

#pragma once

#include "link/bustarget.h"

#include <QList>

#include <cstdint>
#include <functional>

class ModuleTable;
class QWidget;

// One guarded register write (function 16) to target.address; the shape of
// Protocol::WriteRegisters.
using RegisterWriter =
    std::function<bool(const BusTarget &target, int first, int count, const int16_t *values)>;

// The sending loop: opens the progress box "Sending Configuration" over owner
// with one step per address, then for each address in order moves the bar to
// that step and, when the module has at least one input in use, sets
// table.bus_target.address and writes the four type registers (0..3) with
// write. The result of a write is not looked at: a module that does not answer
// is passed over and the loop goes on. The box is freed at the end.
void SendConfigurationRows(QWidget *owner, ModuleTable &table, const QList<int> &addresses,
                           const RegisterWriter &write);

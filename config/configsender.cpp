#include "config/configsender.h"

#include "config/configregisters.h"
#include "modules/moduletable.h"

void SendConfigurationRows(ModuleTable &table, const QList<int> &addresses,
                           const RegisterWriter &write, const SendProgress &progress)
{
    int step = 0;
    for (const int a : addresses) {
        ++step;
        if (progress)
            progress(step);
        if (a < 1 || a > kModuleCount || !table.HasInputInUse(a))
            continue;
        const ConfigRegisters registers = PackConfigRegisters(table, a);
        table.bus_target.address = a;
        write(table.bus_target, kConfigFirstRegister, kConfigRegisterCount, registers.data());
    }
}

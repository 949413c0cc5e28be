#include "config/configsender.h"

#include "config/configregisters.h"
#include "config/tmessageboxf.h"
#include "modules/moduletable.h"

void SendConfigurationRows(QWidget *owner, ModuleTable &table, const QList<int> &addresses,
                           const RegisterWriter &write)
{
    const auto box = TMessageBoxF::CreateProgressBox(owner, QStringLiteral("Sending Configuration"),
                                                     static_cast<int>(addresses.size()));
    int step = 0;
    for (const int a : addresses) {
        TMessageBoxF::SetProgress(box.get(), ++step);
        // A module with no input in use keeps whatever configuration it holds.
        if (a < 1 || a > kModuleCount || !table.HasInputInUse(a))
            continue;
        const ConfigRegisters registers = PackConfigRegisters(table, a);
        table.bus_target.address = a;
        write(table.bus_target, kConfigFirstRegister, kConfigRegisterCount, registers.data());
    }
}

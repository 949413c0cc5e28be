#include "modules/bussearch.h"

#include "modules/moduletable.h"

#include <array>
#include <optional>

namespace {

// The first of two registers from first, with how the read ended.
ReadResult ReadFirstValue(const BusTarget &target, int first, const ProbeReader &read,
                          std::optional<uint16_t> &value)
{
    std::array<uint16_t, kIdentityReadCount> values{};
    const ReadResult result =
        read ? read(target, first, kIdentityReadCount, values.data()) : ReadResult::Silent;
    if (result == ReadResult::Answered)
        value = values[0];
    return result;
}

bool IsListed(const ModuleTable &table, int m)
{
    return table.group_state[size_t(ModuleTable::GroupOf(m))] == kMarkOn &&
           table.module_state[size_t(m)] == kMarkOn;
}

} // namespace

BusSearchResult SearchBus(BusTarget &target, const ProbeReader &read, const BusSearchHooks &hooks)
{
    BusSearchResult result;
    const auto stopped = [&] {
        result.cancelled = result.cancelled || (hooks.cancelled && hooks.cancelled());
        return result.cancelled;
    };
    for (int address = 1; address <= kModuleCount && !stopped(); ++address) {
        if (hooks.progress)
            hooks.progress(address);
        result.last_address = address;
        target.address = address;
        std::optional<uint16_t> device;
        if (ReadFirstValue(target, kDeviceTypeRegister, read, device) == ReadResult::Silent)
            continue;
        std::optional<uint16_t> firmware;
        std::optional<uint16_t> notch;
        const bool firmwareAsked = !stopped();
        if (firmwareAsked)
            ReadFirstValue(target, kFirmwareRegister, read, firmware);
        const bool notchAsked = !stopped();
        if (notchAsked)
            ReadFirstValue(target, kNotchRegister, read, notch);
        FoundModule module{address, ModuleInfoOf(device, firmware, notch)};
        if (!firmwareAsked)
            module.info.firmware.clear();
        if (!notchAsked)
            module.info.frequency.clear();
        result.modules.append(module);
        if (hooks.found)
            hooks.found(module);
    }
    return result;
}

ConfigurationMark ConfigurationMarkOf(const ModuleTable &table, int m)
{
    if (m < 1 || m > kModuleCount || !IsListed(table, m))
        return ConfigurationMark::NotListed;
    return table.HasInputInUse(m) ? ConfigurationMark::Configured : ConfigurationMark::ListedUnused;
}

QString ConfigurationMarkText(ConfigurationMark mark)
{
    switch (mark) {
    case ConfigurationMark::Configured:
        return QStringLiteral("in configuration");
    case ConfigurationMark::ListedUnused:
        return QStringLiteral("listed, input types to choose");
    case ConfigurationMark::NotListed:
        break;
    }
    return QStringLiteral("not in configuration");
}

QList<int> AddFoundModules(ModuleTable &table, const QList<int> &addresses)
{
    QList<int> added;
    if (table.metering_on)
        return added;
    std::array<bool, kModuleCount + 1> adding{};
    for (const int m : addresses) {
        if (m >= 1 && m <= kModuleCount && !IsListed(table, m))
            adding[size_t(m)] = true;
    }
    for (int m = 1; m <= kModuleCount; ++m) {
        if (!adding[size_t(m)])
            continue;
        const int g = ModuleTable::GroupOf(m);
        if (table.group_state[size_t(g)] != kMarkOn) {
            for (int n = ModuleTable::FirstModuleOfGroup(g); n <= ModuleTable::LastModuleOfGroup(g);
                 ++n) {
                if (!adding[size_t(n)] && !table.HasInputInUse(n))
                    table.module_state[size_t(n)] = kMarkOff;
            }
            table.group_state[size_t(g)] = kMarkOn;
        }
        table.module_state[size_t(m)] = kMarkOn;
        added.append(m);
    }
    return added;
}

#include "modules/modulescan.h"

#include "modules/moduletable.h"
#include "modules/readingconversion.h"

#include <array>

namespace {

const QString kFailedRead = QStringLiteral("----");

bool IsModuleAddress(int address)
{
    return address >= 1 && address <= kModuleCount;
}

// The first of two registers from first, or nothing when the read failed.
std::optional<uint16_t> ReadFirstValue(const BusTarget &target, int first,
                                       const RegisterReader &read)
{
    std::array<uint16_t, kIdentityReadCount> values{};
    if (!read || !read(target, first, kIdentityReadCount, values.data()))
        return std::nullopt;
    return values[0];
}

} // namespace

ModuleInfo ModuleInfoOf(std::optional<uint16_t> device, std::optional<uint16_t> firmware,
                        std::optional<uint16_t> notch)
{
    return {device ? DeviceTypeText(*device) : kFailedRead,
            firmware ? FirmwareText(*firmware) : kFailedRead,
            notch ? NotchFrequencyText(*notch) : kFailedRead};
}

ModuleInfo ReadModuleInfo(BusTarget &target, int address, const RegisterReader &read)
{
    if (!IsModuleAddress(address))
        return {kFailedRead, kFailedRead, kFailedRead};
    target.address = address;
    // One read after the other, in this order on the bus.
    const auto device = ReadFirstValue(target, kDeviceTypeRegister, read);
    const auto firmware = ReadFirstValue(target, kFirmwareRegister, read);
    const auto notch = ReadFirstValue(target, kNotchRegister, read);
    return ModuleInfoOf(device, firmware, notch);
}

void ScanModuleRows(ModuleTable &table, const QList<int> &addresses, const RegisterReader &read,
                    const ModuleInfoHook &show, const ScanProgress &progress)
{
    int step = 0;
    for (const int address : addresses) {
        ++step;
        if (progress)
            progress(step);
        const ModuleInfo info = ReadModuleInfo(table.bus_target, address, read);
        if (show)
            show(step, info);
    }
}

Result<int16_t> NotchCommandValue(int hz)
{
    if (hz != 10 && hz != 50 && hz != 60)
        return Fail(QStringLiteral("%1 Hz is no notch filter frequency of the modules "
                                   "(10, 50 or 60 Hz).")
                        .arg(hz));
    return static_cast<int16_t>(kNotchCommandBase + hz);
}

Result<> SetNotchFrequencyRows(ModuleTable &table, const QList<int> &addresses, int hz,
                               const RegisterWriter &write, const ScanProgress &progress)
{
    const Result<int16_t> command = NotchCommandValue(hz);
    if (!command)
        return Fail(command.error());
    const std::array<int16_t, kNotchCommandCount> values{*command, 0};
    int step = 0;
    for (const int address : addresses) {
        ++step;
        if (progress)
            progress(step);
        if (!IsModuleAddress(address) || !write)
            continue;
        table.bus_target.address = address;
        write(table.bus_target, kNotchCommandRegister, kNotchCommandCount, values.data());
    }
    return {};
}

#include "metering/meteringcycle.h"

#include "modules/moduletable.h"

#include <array>

MeteringCycle::MeteringCycle(ModuleTable &table, RegisterReader reader, MeteringHooks hooks)
    : m_table(table), m_read(std::move(reader)), m_hooks(std::move(hooks))
{}

void MeteringCycle::Start()
{
    tick_count = 0;
    read_cursor = 0;
}

void MeteringCycle::Tick(const MeteringSettings &settings)
{
    if (m_hooks.showProgress)
        m_hooks.showProgress(tick_count);

    // Every inactive module is skipped within this one tick; once the cursor
    // has passed the last address it only counts the idle ticks.
    do {
        ++read_cursor;
    } while (read_cursor < kIdleCursor && m_table.module_active[size_t(read_cursor)] != kMarkOn);

    bool resend = false;
    if (read_cursor <= kModuleCount)
        resend = Read_Module(read_cursor, settings);
    else if (m_hooks.showReadings)
        m_hooks.showReadings(0, ReadingTexts{});

    if (resend && m_hooks.resend)
        m_hooks.resend();

    if (tick_count < settings.period) {
        ++tick_count;
    } else {
        tick_count = 0;
        read_cursor = 0;
    }
}

bool MeteringCycle::Read_Module(int m, const MeteringSettings &settings)
{
    m_table.bus_target.address = m;
    std::array<uint16_t, kReadingRegisterCount> raw{};
    const bool ok = m_read && m_read(m_table.bus_target, kFirstReadingRegister,
                                     kReadingRegisterCount, raw.data());

    std::array<int, kInputCount> types{};
    for (int k = 1; k <= kInputCount; ++k)
        types[size_t(k - 1)] = m_table.input_type[size_t(k)][size_t(m)];
    const ModuleReadings readings = ConvertReadings(ok, raw, types, settings.unit);

    if (m_hooks.showReadings)
        m_hooks.showReadings(m, readings.text);
    if (m_hooks.plotReadings)
        m_hooks.plotReadings(m, readings.text);
    if (settings.datalog && m_hooks.logReadings)
        m_hooks.logReadings(m, readings.text);
    return readings.resend;
}

int MeteringCycle::PreparedPeriod(int period, int activeCount)
{
    return period < 2 * activeCount ? 2 * activeCount : period;
}

#pragma once

#include "link/bustarget.h"
#include "modules/readingconversion.h"

#include <QString>

#include <cstdint>
#include <functional>

class ModuleTable;

// Where the texts of one read go; module is 1..63, or 0 for an idle tick
// (show only, with eight empty texts).
using ReadingsHook = std::function<void(int module, const ReadingTexts &readings)>;

struct MeteringHooks
{
    std::function<void(int tick)> showProgress{}; // the gauge, at the tick's start
    ReadingsHook showReadings{};
    ReadingsHook plotReadings{};
    ReadingsHook logReadings{}; // only while logging is on
    std::function<void()> resend{};
};

// What a tick needs of the preferences; read afresh at every tick, so a
// change of unit shows from the next reading on.
struct MeteringSettings
{
    int period = 63;
    QString unit = QStringLiteral("Celsius");
    bool datalog = false;
};

// The arithmetic of the metering cycle, apart from any widget and timer.
//
// The read timer ticks once a second. A period lasts Period + 1 ticks: on the
// first n ticks the n active modules are read, one per tick in ascending
// address order; the remaining ticks are idle. With the default Period of 63
// and modules 2, 7 and 40 active, ticks 0, 1 and 2 read 2, 7 and 40, ticks 3
// to 63 are idle, and tick 64 is tick 0 of the next period. PreparedPeriod
// keeps Period at 2n or more, so at least n + 1 idle ticks follow the reads.
//
// Tick() is one tick: it shows the tick count on the gauge, moves read_cursor
// past the inactive modules to the next active one (or beyond 63: idle), reads
// that module's eight readings (registers 16..23) through the reader, turns
// them into texts and hands the same texts to show, plot and, with logging
// on, log, in that order. When a reading asks for the configuration to be
// sent again, resend runs before the tick ends; the caller holds its timer
// off around it. A resend does not touch the counters: the period goes on
// where it was.
//
// Every hook is optional. Nothing here waits or looks at a clock: the reader
// does the bus exchange, and a test drives the cycle tick by tick.
class MeteringCycle
{
public:
    // Registers 16..23 hold the readings of inputs 1..8.
    static constexpr int kFirstReadingRegister = 16;
    static constexpr int kReadingRegisterCount = 8;
    // One past the highest address: the cursor at or beyond it means idle.
    static constexpr int kIdleCursor = 64;

    MeteringCycle(ModuleTable &table, RegisterReader reader, MeteringHooks hooks = {});

    // A new start: tick_count and read_cursor back to 0.
    void Start();

    // One tick of the read timer.
    void Tick(const MeteringSettings &settings);

    // Reads module m (1..63) and hands its texts on; returns whether the
    // configuration must be sent again. A failed read gives eight "----" and
    // no resend.
    bool Read_Module(int m, const MeteringSettings &settings);

    // The period PrepareMetering settles on for activeCount modules: period
    // itself, or 2 x activeCount when period is below that.
    static int PreparedPeriod(int period, int activeCount);

    // Ticks elapsed in the current period (0..Period) and the address read
    // last in it (0 at the start of a period, above 63 once it has gone idle).
    int tick_count = 0;
    int read_cursor = 0;

private:
    ModuleTable &m_table;
    RegisterReader m_read;
    MeteringHooks m_hooks;
};

#pragma once

#include "link/exchangelog.h"
#include "modules/moduletable.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// Where a module stands in the reads since metering last started.
enum class ModuleAnswering : uint8_t
{
    NotReadYet,   // no read of it since the start
    Answering,    // its last read was answered
    LastFailed,   // its last read failed, but not yet for a whole period
    NotAnswering, // every read of it in the last whole period failed
};

// What the bus did with one module, gathered from the exchange log.
struct ModuleBusStatus
{
    // Reads (guarded calls of function 3) since metering last started, or
    // since the program started before the first start.
    int reads_answered = 0;
    int reads_failed = 0;
    ModuleAnswering state = ModuleAnswering::NotReadYet;
    // The time of the first failed read after the last answered one (µs since
    // the epoch); 0 while the last read was answered or none was made.
    int64_t failing_since_us = 0;
    // These outlive a restart of metering: they are still the last ones.
    int64_t last_answer_us = 0;                 // the last answered read
    int32_t last_round_trip_us = -1;            // the last answered attempt of any kind, -1: none
    std::optional<ExchangeRecord> last_read;    // the record that ended the last read
    std::optional<ExchangeRecord> last_failure; // ... the last read that failed
    std::optional<ExchangeRecord> last_send;    // ... the last configuration send
    std::optional<ExchangeRecord> last_notch;   // ... the last notch filter command
    // The reads of the period in progress.
    int period_reads = 0;
    int period_answered = 0;
};

// Per-module status of the bus, for addresses 1..63, kept up to date by the
// exchange log's listener: whatever page asked the bus, every call it made
// counts here.
//
// A read is a guarded call of function 3 on the Modbus link. Its two attempts
// leave two records, and only the one with ends_call set says how the call
// ended, so only that one is counted: a read whose first attempt met a CRC
// error and whose retry was answered counts once, as answered. The last round
// trip is the duration of the last answered attempt of any function.
//
// A write (function 16) is told apart by its first register: 0 is the
// configuration send (the four type registers, config/configregisters.h),
// 46252 the notch filter command (modules/modulescan.h). Any other write and
// the relay link's exchanges leave no trace here.
//
// Periods. The metering cycle reads each active module once a period, so a
// module whose reads all failed during one whole period has not answered for
// that long: PeriodStarted, called as each period begins, marks every module
// that was read in the period just ended and answered none of those reads
// NotAnswering. An answered read ends that at once. Between a failed read and
// the end of its period the module is LastFailed: the tooltip already says
// since when it has not answered, and the tree keeps its green dot.
//
// Everything runs on the thread of the log (the window's).
class BusStatus
{
public:
    explicit BusStatus(ExchangeLog &log);
    ~BusStatus();
    BusStatus(const BusStatus &) = delete;
    BusStatus &operator=(const BusStatus &) = delete;

    // Metering starts: the reads are counted afresh, every module is
    // NotReadYet and the period in progress is empty. What outlives it is
    // marked in ModuleBusStatus.
    void Reset();
    // A metering period begins (the cycle's tick 0).
    void PeriodStarted();

    // Address 1..63; any other gives an empty status.
    const ModuleBusStatus &Module(int address) const;

    // The outcome of the record in words (OutcomeText), "" without one.
    QString Outcome(const std::optional<ExchangeRecord> &record) const;
    // "not read yet", "answering", "last read failed", "not answering".
    static QString StateText(ModuleAnswering state);
    // Local time of day "14:30:05"; "" for 0.
    static QString TimeText(int64_t time_us);
    // Milliseconds rounded, "23 ms"; "" for a negative duration.
    static QString RoundTripText(int32_t duration_us);

    // What a module's row header and tree node say about module m: "" before
    // any read, then e.g. "Module 9: answering, 118 of 120 reads answered,
    // last round trip 23 ms" or "Module 9: no answer since 14:30:05, 0 of 4
    // reads answered".
    QString ModuleHint(int m) const;

    // The modules the configuration lists: those with their group expanded,
    // selected and with an input in use, ascending (as UpdateActiveModules
    // would set them, without touching the table).
    static QList<int> ConfiguredModules(const ModuleTable &table);

private:
    void Take(const ExchangeRecord &record);

    ExchangeLog &m_log;
    int m_listener = 0;
    std::array<ModuleBusStatus, kModuleCount + 1> m_modules{};
};

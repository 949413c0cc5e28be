// What the module scan of the Miscellaneous Info page costs, against the bus
// simulator on a pty with its replies paced as on the line, through the
// program's own master (Protocol on a TComPort).
//
// The floor: an attempt cannot take less than 60 ms (5 + 5 ms before the
// request is written, 50 ms after it). A module that answers costs its three
// reads, one attempt each: 3 x 60 = 180 ms. A module that is silent costs
// two attempts for each of its three reads: 6 x 60 = 360 ms. A full bus of
// 63 listed modules of which 4 answer and 59 are silent therefore has a
// floor of 4 x 180 + 59 x 360 = 21,960 ms. The goal is a measured time
// within 1.05 of that floor (the counter floor_ratio), and a thread that
// sleeps rather than spins through the waits (cpu_ms).
//
// Each benchmark runs whole scans through ScanModuleRows, as the page does,
// without the progress box (its cost is the window's, not the bus's).
//
// The bus search (SearchBus, BM_SearchFullBus) asks all 63 addresses through
// Protocol::Read, and an address that sent nothing is asked no more: a
// silent address costs one read of two attempts, 2 x 60 = 120 ms; a module
// that answers costs three reads of one attempt each, 3 x 60 = 180 ms. The
// same bus of 4 answering and 59 silent addresses has a search floor of
// 59 x 120 + 4 x 180 = 7,080 + 720 = 7,800 ms in 59 x 2 + 4 x 3 = 130
// attempts (the scan makes 366); the goal is again within 1.05 of that
// floor, 8,190 ms.

#include "link/protocol.h"
#include "link/tcomport.h"
#include "modules/bussearch.h"
#include "modules/modulescan.h"
#include "modules/moduletable.h"
#include "sim/bussimulator.h"
#include "support/privatelockdir.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kAttemptFloorMs = 60.0;
constexpr double kAnsweringFloorMs = 3 * kAttemptFloorMs;
constexpr double kSilentFloorMs = 6 * kAttemptFloorMs;
constexpr double kSilentSearchFloorMs = 2 * kAttemptFloorMs;

double ThreadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

bool ReadOnBus(const BusTarget &target, int first, int count, uint16_t *values)
{
    return Protocol().ReadRegisters(target, first, count, values);
}

// The simulator answering as the given modules, paced (the default), and a
// table whose bus target is the program's port on its line.
struct Bus
{
    explicit Bus(const QList<int> &answering)
    {
        for (const int m : answering)
            sim.addModule(m);
        if (sim.start()) {
            port.SetPort(sim.linkPath());
            port.SetBaudRate(19200);
        }
        table.bus_target.port = &port;
    }
    PrivateLockDir guard;
    QTemporaryDir dir;
    BusSimulator sim{dir.filePath(QStringLiteral("ttyBENCH"))};
    TComPort port;
    ModuleTable table;
};

// Scans listed while those of answering answer; reports the wall time per
// scan against the floor and the calling thread's CPU time per scan.
void RunScans(benchmark::State &state, const QList<int> &listed, const QList<int> &answering)
{
    Bus bus(answering);
    if (!bus.sim.isRunning()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    const auto silent = double(listed.size() - answering.size());
    const double floorMs = double(answering.size()) * kAnsweringFloorMs + silent * kSilentFloorMs;
    int answered = 0;
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    for (auto _ : state) {
        answered = 0;
        ScanModuleRows(bus.table, listed, ReadOnBus, [&answered](int, const ModuleInfo &info) {
            answered += info.frequency == QLatin1String("60 Hz") ? 1 : 0;
        });
    }
    const double cpuMs = ThreadCpuMs() - cpuStart;
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (answered != answering.size()) {
        state.SkipWithError("a module that should answer did not");
        return;
    }
    const auto scans = double(state.iterations());
    state.counters["floor_ms"] = floorMs;
    state.counters["floor_ratio"] = wallMs / scans / floorMs;
    state.counters["cpu_ms"] = cpuMs / scans;
    state.counters["attempts"] = double(bus.sim.requests().size()) / scans;
}

// One module that answers: three reads of one attempt each.
void BM_ScanAnsweringModule(benchmark::State &state)
{
    RunScans(state, {5}, {5});
}
BENCHMARK(BM_ScanAnsweringModule)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

// One module that is silent: six attempts, all waited out. (The simulator
// sees them as requests for an address it does not serve.)
void BM_ScanSilentModule(benchmark::State &state)
{
    RunScans(state, {9}, {});
}
BENCHMARK(BM_ScanSilentModule)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);

// The bus search on the full bus of BM_ScanFullBus: 1, 17, 33 and 49 answer,
// the other 59 addresses are silent.
void BM_SearchFullBus(benchmark::State &state)
{
    const QList<int> answering{1, 17, 33, 49};
    Bus bus(answering);
    if (!bus.sim.isRunning()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    const double floorMs = double(answering.size()) * kAnsweringFloorMs +
                           double(kModuleCount - answering.size()) * kSilentSearchFloorMs;
    const Protocol protocol;
    const ProbeReader read = [&protocol](const BusTarget &target, int first, int count,
                                         uint16_t *values) {
        return protocol.Read(target, first, count, values);
    };
    qsizetype found = 0;
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    for (auto _ : state)
        found = SearchBus(bus.table.bus_target, read).modules.size();
    const double cpuMs = ThreadCpuMs() - cpuStart;
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (found != answering.size()) {
        state.SkipWithError("a module that should answer was not found");
        return;
    }
    const auto searches = double(state.iterations());
    state.counters["floor_ms"] = floorMs;
    state.counters["floor_ratio"] = wallMs / searches / floorMs;
    state.counters["cpu_ms"] = cpuMs / searches;
    state.counters["attempts"] = double(bus.sim.requests().size()) / searches;
}
BENCHMARK(BM_SearchFullBus)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The full bus: 63 listed modules, of which 1, 17, 33 and 49 answer and the
// other 59 are silent. One scan takes tens of seconds.
void BM_ScanFullBus(benchmark::State &state)
{
    QList<int> listed;
    for (int m = 1; m <= kModuleCount; ++m)
        listed.append(m);
    RunScans(state, listed, {1, 17, 33, 49});
}
BENCHMARK(BM_ScanFullBus)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

// What one guarded Modbus read costs the program, against the bus simulator
// on a pty. An attempt cannot take less than 60 ms: 5 + 5 ms before the
// request is written and 50 ms after it. The goals are a wall time per
// attempt within 3% of that floor (61.8 ms) and under 1 ms of CPU time per
// attempt for the calling thread, which is the program's UI thread. An
// attempt that hears nothing from the slave ends with its window, so a silent
// module's floor is the same 60 ms an attempt (two attempts a call).
//
// The other benchmarks take the attempt apart: the waits alone, the guard,
// opening and closing the port, and the transaction's own work on a line that
// answers at once and never waits.

#include "config/tmessageboxf.h"
#include "link/busline.h"
#include "link/comportguard.h"
#include "link/exchangelog.h"
#include "link/mbprotocol.h"
#include "link/protocol.h"
#include "link/tcomport.h"
#include "sim/bussimulator.h"
#include "support/fakeline.h"
#include "support/privatelockdir.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFloorMs = 60.0;

struct Bus
{
    Bus()
    {
        sim.addModule(1, {1, 1, 2, 3, 4, 5, 1, 0});
        if (sim.start().ok()) {
            port.SetPort(sim.linkPath());
            port.SetBaudRate(19200);
        }
    }
    PrivateLockDir guard;
    QTemporaryDir dir;
    BusSimulator sim{dir.filePath(QStringLiteral("ttyBENCH"))};
    TComPort port;
};

double ThreadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

// The metering tick's read: registers 16 to 23 of one module, guarded; with
// silent:1 the module does not answer, so every call makes two failed
// attempts. With idle:1 the call runs the window's idle function before each
// attempt, as the program's calls do (it handles the window's events; here
// there are none to handle). log:1 attaches an exchange log to the port, as
// the window does, so every attempt is recorded; log:2 also has a listener
// on it that looks at every record, as an open traffic view would. The
// counters give the figures per attempt, measured around the whole loop:
// wall time above the floor in percent, and CPU time of the calling thread.
void BM_GuardedRead(benchmark::State &state)
{
    const bool silent = state.range(0) != 0;
    const Protocol protocol =
        state.range(1) != 0 ? Protocol(&TMessageBoxF::ProcessWindowEvents) : Protocol();
    Bus bus;
    if (!bus.sim.isRunning()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    ExchangeLog log;
    uint64_t seenBytes = 0;
    if (state.range(2) >= 1)
        bus.port.SetExchangeLog(&log);
    if (state.range(2) >= 2)
        log.AddListener([&seenBytes](const ExchangeRecord &r) { seenBytes += r.reply_length; });
    if (silent)
        bus.sim.setFault(1, Fault::Silent);
    const BusTarget target{1, &bus.port};
    std::array<uint16_t, 8> values{};
    bus.sim.clearRequests();
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    for (auto _ : state) {
        if (protocol.ReadRegisters(target, 16, 8, values.data()) == silent) {
            state.SkipWithError("unexpected result");
            break;
        }
        benchmark::DoNotOptimize(values);
    }
    const double cpuMs = ThreadCpuMs() - cpuStart;
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const auto attempts = double(bus.sim.requests().size());
    if (state.iterations() == 0 || attempts == 0)
        return;
    state.counters["attempts/call"] = attempts / double(state.iterations());
    state.counters["over_floor_%"] = 100.0 * (wallMs / attempts - kFloorMs) / kFloorMs;
    state.counters["cpu_ms/attempt"] = cpuMs / attempts;
    benchmark::DoNotOptimize(seenBytes);
}
BENCHMARK(BM_GuardedRead)
    ->ArgNames({"silent", "idle", "log"})
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 1})
    ->Args({0, 0, 2})
    ->Args({1, 0, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5.0);

// The three waits of an attempt, as WaitMs makes them.
void BM_WaitMs(benchmark::State &state)
{
    const int ms = int(state.range(0));
    const auto start = Clock::now();
    for (auto _ : state)
        WaitMs(ms);
    const double usPerWait =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
        double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["over_us"] = usPerWait - 1000.0 * ms;
}
BENCHMARK(BM_WaitMs)->Arg(5)->Arg(50)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// Taking and giving back the guard "comport" when nobody else holds it.
void BM_GuardAcquireRelease(benchmark::State &state)
{
    PrivateLockDir privateGuard;
    for (auto _ : state) {
        ComportGuard guard;
        if (guard.Acquire(100) != ComportGuard::WaitResult::Acquired) {
            state.SkipWithError("guard not acquired");
            break;
        }
        guard.Release();
    }
}
BENCHMARK(BM_GuardAcquireRelease)->Unit(benchmark::kMicrosecond);

// Opening the port with all its settings, purging it and closing it again,
// as every transaction does.
void BM_PortOpenPurgeClose(benchmark::State &state)
{
    Bus bus;
    for (auto _ : state) {
        try {
            bus.port.Open();
            bus.port.Purge(true, true);
            bus.port.Close();
        } catch (const EComPortError &e) {
            state.SkipWithError(e.what());
            break;
        }
    }
}
BENCHMARK(BM_PortOpenPurgeClose)->Unit(benchmark::kMicrosecond);

// The transaction's own work (framing, CRC, byte-wise parsing) on a line
// that answers at once, with the waits skipped. log:1 and log:2 as for
// BM_GuardedRead: what recording adds to an attempt, with nothing else in
// the figure.
void BM_TransactionWithoutWaits(benchmark::State &state)
{
    FakeLine line;
    line.recordTrace = false;
    ExchangeLog log;
    uint64_t seenBytes = 0;
    if (state.range(0) >= 1)
        line.SetExchangeLog(&log);
    if (state.range(0) >= 2)
        log.AddListener([&seenBytes](const ExchangeRecord &r) { seenBytes += r.reply_length; });
    const QByteArray reply =
        QByteArray::fromHex("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1");
    line.responder = [&reply](const FakeLine::Chunk &) { return reply; };
    std::array<uint16_t, 8> values{};
    for (auto _ : state) {
        line.chunks.clear();
        if (!MBProtocol(&line, [](int) {}).ReadHoldingRegisters(1, 16, 8, values.data())) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(values);
    }
    benchmark::DoNotOptimize(seenBytes);
}
BENCHMARK(BM_TransactionWithoutWaits)
    ->ArgName("log")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond);

} // namespace

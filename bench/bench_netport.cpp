// A guarded Modbus read through a serial device server against the same
// read on a pty, in one run: Debian's ser2net on 127.0.0.1 in front of one
// bus simulator, a second simulator with the same module on a pty of its
// own (two readers of one pty would take each other's bytes). Each
// iteration makes one read each way, so both meet the same load; the
// counters give the wall time per read of each and their ratio. The goal is
// a ratio within 1.10: what the network adds (the round trip allowance
// added to the reply window, the server's hand-over) stays small against
// the 60 ms an attempt takes anyway.

#include "link/busport.h"
#include "link/exchangelog.h"
#include "link/mbprotocol.h"
#include "link/protocol.h"
#include "sim/bussimulator.h"
#include "support/privatelockdir.h"
#include "support/ser2net.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

void BM_GuardedReadThroughServer(benchmark::State &state)
{
    const bool rfc2217 = state.range(0) != 0;
    PrivateLockDir guard;
    QTemporaryDir dir;
    BusSimulator local(dir.filePath(QStringLiteral("ttyLOCAL")));
    BusSimulator served(dir.filePath(QStringLiteral("ttySERVED")));
    for (BusSimulator *sim : {&local, &served}) {
        sim->addModule(1, {1, 1, 2, 3, 4, 5, 1, 0});
        if (!sim->start().ok()) {
            state.SkipWithError("simulator did not start");
            return;
        }
    }
    Ser2net server(served.linkPath());
    const QString up = server.Start();
    if (!up.isEmpty()) {
        state.SkipWithError(qPrintable(up));
        return;
    }
    BusPort pty;
    BusPort net;
    pty.SetPort(local.linkPath());
    net.SetPort(rfc2217 ? server.Rfc2217Name() : server.RawName());
    for (BusPort *port : {&pty, &net})
        port->SetBaudRate(MBProtocol::kBaudRate);

    // Attempts through the server that failed: a reply cut off by its
    // window shows that the server handed it over late (seen only while
    // other work loads the machine).
    ExchangeLog log;
    net.SetExchangeLog(&log);
    int failedAttempts = 0;
    log.AddListener([&](const ExchangeRecord &record) {
        failedAttempts += record.outcome != ExchangeOutcome::Answered;
    });
    const Protocol protocol;
    std::array<uint16_t, 8> values{};
    Clock::duration ptyTime{};
    Clock::duration netTime{};
    for (auto _ : state) {
        auto start = Clock::now();
        const bool ptyRead = protocol.ReadRegisters({1, &pty}, 16, 8, values.data());
        ptyTime += Clock::now() - start;
        start = Clock::now();
        const bool netRead = protocol.ReadRegisters({1, &net}, 16, 8, values.data());
        netTime += Clock::now() - start;
        if (!ptyRead || !netRead) {
            state.SkipWithError(
                qPrintable(QStringLiteral("a read failed: ") + (ptyRead ? net.Tip() : pty.Tip())));
            break;
        }
        benchmark::DoNotOptimize(values);
    }
    if (state.iterations() == 0)
        return;
    const auto perRead = [&](Clock::duration total) {
        return std::chrono::duration<double, std::milli>(total).count() /
               double(state.iterations());
    };
    state.counters["pty_ms"] = perRead(ptyTime);
    state.counters["server_ms"] = perRead(netTime);
    state.counters["ratio"] = perRead(netTime) / perRead(ptyTime);
    state.counters["allowance_ms"] = net.ReplyAllowanceMs();
    state.counters["server_failed_attempts"] = failedAttempts;
}
BENCHMARK(BM_GuardedReadThroughServer)
    ->ArgName("rfc2217")
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(10.0);

} // namespace

// How quickly the bus simulator answers over its pty. A master allows 50 ms
// from the end of its request to the end of the answer. Unpaced (paced:0),
// the simulator's own share of that should be a small fraction, or tests and
// the demo would see missing answers that no module caused. Paced (paced:1),
// an exchange takes what it takes on a real line: 3.5 characters of silence
// (2.0 ms), the 3 ms turnaround and the answer at 19200 baud, 11 bits a
// character (0.573 ms), so a read of the eight readings (21 bytes) should
// take about 2.0 + 3 + 12.0 = 17 ms.

#include "sim/bussimulator.h"
#include "support/modbusmaster.h"
#include "support/pty.h"
#include "support/wire.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Bus
{
    explicit Bus(bool paced)
    {
        sim.addModule(1, {1, 1, 2, 3, 4, 5, 1, 0});
        sim.setRelayModules(true);
        sim.setPacing(paced);
        (void)sim.start();
    }
    QTemporaryDir dir;
    BusSimulator sim{dir.filePath(QStringLiteral("ttyBENCH"))};
};

// One exchange on a line that stays open.
void exchange(benchmark::State &state, const QByteArray &request, qsizetype answerSize)
{
    Bus bus(state.range(0) != 0);
    RawLine line(bus.sim.linkPath());
    for (auto _ : state) {
        line.send(request);
        if (line.receive(answerSize).size() != answerSize) {
            state.SkipWithError("no answer");
            break;
        }
    }
}

void BM_ReadReadings(benchmark::State &state)
{
    exchange(state, frame("01 03 00 10 00 08 45 C9"), 5 + 16);
}
BENCHMARK(BM_ReadReadings)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_WriteConfiguration(benchmark::State &state)
{
    exchange(state, frame("01 10 00 00 00 04 08 01 02 03 04 05 00 01 05 64 DA"), 8);
}
BENCHMARK(BM_WriteConfiguration)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_RelayPoll(benchmark::State &state)
{
    exchange(state, frame("0D 09 01 01 01 01 01 01 01 01 01 9D 86"), 12);
}
BENCHMARK(BM_RelayPoll)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// As the program works: open the port, one transaction, close it.
void BM_OpenReadClose(benchmark::State &state)
{
    Bus bus(state.range(0) != 0);
    for (auto _ : state) {
        const ModbusMaster master = connectMaster(bus.sim.linkPath(), 1);
        if (!master || readRegisters(master.get(), 16, 8).size() != 8) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
}
BENCHMARK(BM_OpenReadClose)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

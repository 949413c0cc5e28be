// CPU cost of one metering tick apart from the bus exchange: the cursor, the
// conversion of eight registers into texts, and the page's grid update and
// repaint. The bus is replaced by a reader that answers at once, so what is
// measured is the program's own work per second of metering (the exchange
// itself sleeps through its 60 ms; bench_link measures it).

#include "metering/meteringcycle.h"
#include "metering/tmetering_f.h"
#include "modules/moduletable.h"
#include "widgets/piegauge.h"
#include "widgets/stringgrid.h"

#include <QImage>

#include <benchmark/benchmark.h>

namespace {

// 63 active modules of mixed types, each answering with plausible readings.
void FillTable(ModuleTable &table)
{
    for (int m = 1; m <= kModuleCount; ++m) {
        table.module_active[size_t(m)] = kMarkOn;
        for (int k = 1; k <= kInputCount; ++k)
            table.input_type[size_t(k)][size_t(m)] = 1 + (m + k) % 5;
    }
}

bool Answer(const BusTarget &, int, int count, uint16_t *values)
{
    for (int i = 0; i < count; ++i)
        values[i] = uint16_t(150 + 7 * i);
    return true;
}

void BM_TickCycleOnly(benchmark::State &state)
{
    ModuleTable table;
    FillTable(table);
    MeteringCycle cycle(table, Answer);
    cycle.Start();
    const MeteringSettings settings{.period = 126, .unit = QStringLiteral("Fahrenheit")};
    for (auto _ : state)
        cycle.Tick(settings);
}

void BM_TickWithPage(benchmark::State &state)
{
    ModuleTable table;
    FillTable(table);
    TMetering_F page;
    page.Fill_Metering_Page(table.module_active);
    page.Set_Gauge_Range(126);
    page.start_BClick();
    page.show();
    QWidget *grid = page.Metering_Grid->viewport();
    QImage image(grid->size(), QImage::Format_ARGB32_Premultiplied);
    QImage gauge(page.CGauge1->size(), QImage::Format_ARGB32_Premultiplied);
    MeteringCycle cycle(
        table, Answer,
        {.showProgress = [&](int t) { page.Set_Gauge_Progress(t); },
         .showReadings = [&](int m, const ReadingTexts &r) { page.Show_Readings(m, r); }});
    cycle.Start();
    const MeteringSettings settings{.period = 126};
    for (auto _ : state) {
        cycle.Tick(settings);
        // What the window does after the tick, at most: paint the whole
        // visible grid and the gauge again.
        grid->render(&image);
        page.CGauge1->render(&gauge);
        benchmark::DoNotOptimize(image.bits());
        benchmark::DoNotOptimize(gauge.bits());
    }
}

} // namespace

BENCHMARK(BM_TickCycleOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickWithPage)->Unit(benchmark::kMicrosecond);

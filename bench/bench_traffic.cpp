// Cost of one refresh of the traffic window (app/trafficwindow.h), which
// runs every 200 ms on the window's thread while the window is shown.
//
// The load: metering of 63 modules at one read each per second would be
// 63 records a second at most (12.6 per refresh), and a scan beside it
// adds one attempt per 60 ms reply window, twice for a silent module (3.3
// to 6.7 per refresh); 20 records per refresh covers both, 100 is five
// times that. Each refresh runs on a full view (10,000 rows kept, so the
// oldest rows are trimmed every time), the records made between refreshes
// (their Append is the bus layer's cost, not timed here). With the window
// the visible table is painted again too, as the view would after the
// batch. The catch-up is the worst single refresh: Resume after the whole
// ring (100,000 records) went by while paused.

#include "app/trafficwindow.h"

#include <QImage>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

// A metering read of one of 63 modules; one in eight goes unanswered.
void AppendMetering(ExchangeLog &log, int i)
{
    static const QByteArray request = QByteArray::fromHex("02030010000845FA");
    static const QByteArray reply =
        QByteArray::fromHex("02031000D700DA520855F04E2000780000FFF450E9");
    ExchangeRecord r;
    r.address = uint8_t(1 + i % 63);
    r.function = 3;
    r.first_register = 16;
    r.count = 8;
    r.time_us = int64_t(1800000000) * 1000000 + int64_t(i) * 15000;
    r.duration_us = 14000 + i % 1000;
    r.outcome = i % 8 == 7 ? ExchangeOutcome::NoAnswer : ExchangeOutcome::Answered;
    r.request_length = uint16_t(request.size());
    std::copy(request.begin(), request.end(), r.request.begin());
    if (r.outcome == ExchangeOutcome::Answered) {
        r.reply_length = uint16_t(reply.size());
        std::copy(reply.begin(), reply.end(), r.reply.begin());
    }
    log.Append(r);
}

void Fill(ExchangeLog &log, int count)
{
    const int start = int(log.LastSequence());
    for (int i = 0; i < count; ++i)
        AppendMetering(log, start + i);
}

TrafficDecoding Decoding()
{
    TrafficDecoding decoding;
    decoding.inputType = [](int, int input) { return input == 6 ? 5 : 1; };
    return decoding;
}

void BM_RefreshModel(benchmark::State &state)
{
    const int batch = int(state.range(0));
    ExchangeLog log;
    Fill(log, 20000);
    TrafficModel model(log, TrafficFeed::kDefaultMaxRows);
    model.SetDecoding(Decoding());
    model.Refresh();
    for (auto _ : state) {
        state.PauseTiming();
        Fill(log, batch);
        state.ResumeTiming();
        benchmark::DoNotOptimize(model.Refresh());
    }
    state.counters["rows"] = model.rowCount();
}

// A window shown on a log of 20,000 records, its timer stopped (the
// benchmark takes the ticks itself), and the picture its table paints.
struct ShownWindow
{
    ExchangeLog log;
    TrafficWindow window{log, Decoding};
    QImage image;

    ShownWindow()
    {
        Fill(log, 20000);
        window.show();
        window.Refresh_Timer->stop();
        window.RefreshTimerTimer();
        image =
            QImage(window.Traffic_Grid->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }
    void Repaint()
    {
        window.Traffic_Grid->viewport()->render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
};

void BM_RefreshWindow(benchmark::State &state)
{
    const int batch = int(state.range(0));
    ShownWindow shown;
    for (auto _ : state) {
        state.PauseTiming();
        Fill(shown.log, batch);
        state.ResumeTiming();
        shown.window.RefreshTimerTimer();
        shown.Repaint();
    }
}

// The repaint alone, for comparison: what any table view of this size costs.
void BM_RepaintOnly(benchmark::State &state)
{
    ShownWindow shown;
    for (auto _ : state)
        shown.Repaint();
}

void BM_CatchUpAfterPause(benchmark::State &state)
{
    ShownWindow shown;
    for (auto _ : state) {
        state.PauseTiming();
        shown.window.pause_B->setChecked(true);
        Fill(shown.log, ExchangeLog::kCapacity);
        state.ResumeTiming();
        shown.window.pause_B->setChecked(false); // Resume: one refresh
        shown.Repaint();
    }
}

} // namespace

BENCHMARK(BM_RefreshModel)->Arg(20)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshWindow)->Arg(20)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CatchUpAfterPause)->Unit(benchmark::kMillisecond)->Iterations(10);

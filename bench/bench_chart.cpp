// The chart of the plot page against its number of points. It draws per
// pixel column only the points that matter, found through a pyramid of
// block extremes, so a repaint of 8 series of a million points should cost
// no more than twice that of 8 series of a thousand, unchanged as after the
// time axis moved (counter `ratio`, of the CPU times `large_ms` and
// `small_ms`); a new reading (a point on each of the 8 series, the axis
// moved, a repaint) should stay under 5 ms on the large chart (counter
// `cpu_ms`); and a stored point should take at most 12 bytes, pyramid
// included (`bytes_per_point`). The machine may be shared: run with
// --benchmark_repetitions=10 and read the median and the minimum.

#include "plot/chartwidget.h"

#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <tuple>

namespace {

const QColor kColours[8] = {{255, 0, 0}, {0, 0, 0},   {0, 0, 255},   {128, 128, 128},
                            {0, 128, 0}, {0, 255, 0}, {255, 0, 255}, {0, 128, 128}};

// Readings as metering gives them, one a second on each input, in tenths:
// process temperatures that swing a few degrees over hours and a little
// over minutes, with sensor noise, and now and then a gap, bridged in
// white. A random walk (every second up to 0.2 degrees up or down, so that
// it roams 10 degrees in 20 minutes) is the harder case: each pixel column
// of the large chart then holds an 80-pixel bar a series, and the repaint
// costs the pixels of those bars.
enum class Shape
{
    Process,
    RandomWalk
};

class Readings
{
public:
    Readings(quint32 seed, Shape shape) : m_random(seed), m_shape(shape)
    {
        for (int s = 0; s < 8; ++s) {
            m_y[s] = 5 + 2.5 * s;
            m_phase[s] = m_random.bounded(6.28);
        }
    }

    double Y(int s, int second)
    {
        if (m_shape == Shape::RandomWalk) {
            m_y[s] = std::clamp(m_y[s] + m_random.bounded(0.4) - 0.2, -5.0, 30.0);
            return m_y[s];
        }
        const double t = second;
        const double y = 5 + 2.5 * s + 3 * std::sin(t / 3438 + m_phase[s]) +
                         0.5 * std::sin(t / 191 + 2 * m_phase[s]) + m_random.bounded(0.4) - 0.2;
        return std::round(y * 10) / 10;
    }

    QColor Colour(int s) { return m_random.bounded(5000) == 0 ? QColor(Qt::white) : kColours[s]; }

private:
    QRandomGenerator m_random;
    Shape m_shape;
    double m_y[8];
    double m_phase[8];
};

struct BenchChart
{
    ChartWidget chart;
    Readings readings;
    int seconds = 0;
    QImage image;

    BenchChart(int points, Shape shape) : readings(42, shape)
    {
        chart.resize(780, 356);
        for (int s = 0; s < 8; ++s)
            (void)chart.AddSeries(QStringLiteral("RTD %1").arg(s + 1), kColours[s]);
        chart.SetTitle({QStringLiteral("Module 5")});
        chart.SetLeftTitle(QStringLiteral("Temperature (Celsius)"));
        chart.SetLegendTitle({QStringLiteral("220 = Open"), QStringLiteral("230 = Short"),
                              QStringLiteral("240 = Error")});
        chart.SetLeftMinimum(-5);
        chart.SetLeftMaximum(30);
        for (int i = 0; i < points; ++i)
            AddReading();
        image = QImage(chart.size(), QImage::Format_ARGB32_Premultiplied);
        Render();
    }

    // As the plot page does with a module's eight readings: the time axis
    // reaches the present, one point a series.
    void AddReading()
    {
        const double x = seconds++ / 60.0;
        chart.SetBottomMaximum(x);
        for (int s = 0; s < 8; ++s)
            (void)chart.AddPoint(s, x, readings.Y(s, seconds), readings.Colour(s));
    }

    void Render()
    {
        chart.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
};

// Building 8 series of a million readings takes a second or two, so each
// chart is built once for the whole run and kept to the end (left to the
// operating system: a widget may not outlive the application object). A
// benchmark that adds readings has a chart of its own.
BenchChart &SharedChart(int points, Shape shape, bool own = false)
{
    static auto &charts = *new std::map<std::tuple<int, Shape, bool>, BenchChart *>;
    BenchChart *&chart = charts[{points, shape, own}];
    if (!chart)
        chart = new BenchChart(points, shape);
    return *chart;
}

// The CPU time this thread has used, in milliseconds: what the benchmark
// reports, as the machine is shared and wall time counts the others too.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Times `step` on the chart of 8 x 1,000 points and on that of
// 8 x 1,000,000, by turns, and reports the CPU milliseconds of each and
// how many times the large one takes the small one's.
template <typename Step>
void CompareSmallAndLarge(benchmark::State &state, Step step)
{
    const Shape shape = Shape(state.range(0));
    BenchChart &small = SharedChart(1000, shape);
    BenchChart &large = SharedChart(1000000, shape);
    double smallMs = 0, largeMs = 0;
    for (auto _ : state) {
        double t = CpuMs();
        step(small);
        smallMs += CpuMs() - t;
        t = CpuMs();
        step(large);
        largeMs += CpuMs() - t;
    }
    const double n = double(state.iterations());
    state.counters["small_ms"] = smallMs / n;
    state.counters["large_ms"] = largeMs / n;
    state.counters["ratio"] = largeMs / smallMs;
}

// A repaint of an unchanged chart (the window uncovered, the tab shown
// again).
void BM_ChartRepaint(benchmark::State &state)
{
    CompareSmallAndLarge(state, [](BenchChart &f) { f.Render(); });
}

// A repaint after the time axis moved by a second, as at every reading
// (here forth and back, so that the data stay the same).
void BM_ChartRepaintTimeAxisMoved(benchmark::State &state)
{
    CompareSmallAndLarge(state, [](BenchChart &f) {
        const double end = (f.seconds - 1) / 60.0;
        f.chart.SetBottomMaximum(f.chart.BottomMaximum() == end ? end + 1 / 60.0 : end);
        f.Render();
    });
}

// A new reading on the large chart: a point on each of the 8 series, the
// time axis moved to it, and the repaint.
void BM_ChartAddReadingAndRepaint(benchmark::State &state)
{
    BenchChart &f = SharedChart(1000000, Shape(state.range(0)), true);
    double ms = 0;
    for (auto _ : state) {
        const double t = CpuMs();
        f.AddReading();
        f.Render();
        ms += CpuMs() - t;
    }
    state.counters["cpu_ms"] = ms / double(state.iterations());
}

// Appending a whole series, and what it then takes in memory once drawn.
void BM_SeriesAppendAndBytesPerPoint(benchmark::State &state)
{
    const int points = int(state.range(0));
    Readings readings(7, Shape::Process);
    std::vector<double> ys;
    std::vector<ChartRgb> colours;
    for (int i = 0; i < points; ++i) {
        ys.push_back(readings.Y(0, i));
        colours.push_back(readings.Colour(0).rgb() & 0xffffff);
    }
    std::size_t bytes = 0;
    std::vector<KeptPoint> kept;
    for (auto _ : state) {
        ChartSeries series;
        for (int i = 0; i < points; ++i)
            (void)series.Append(i / 60.0, ys[i], colours[i]);
        // Once drawn, with what the reduction keeps for the next.
        state.PauseTiming();
        series.VisiblePoints(AxisScale(0, (points - 1) / 60.0, 0, 779), kept);
        bytes = series.MemoryBytes();
        state.ResumeTiming();
    }
    state.counters["bytes_per_point"] = double(bytes) / points;
    state.SetItemsProcessed(state.iterations() * points);
}

// One series of process readings, built once for the whole run.
const ChartSeries &SharedSeries(int points)
{
    static std::map<int, ChartSeries> series;
    ChartSeries &s = series[points];
    if (s.Count() == 0) {
        Readings readings(7, Shape::Process);
        for (int i = 0; i < points; ++i)
            (void)s.Append(i / 60.0, readings.Y(0, i), readings.Colour(0).rgb() & 0xffffff);
    }
    return s;
}

// The reduction of one series to 780 pixel columns, alone: after the time
// axis moved by a second (forth and back), and afresh (on 780 and 779
// columns by turns, which share nothing).
void BM_SeriesVisiblePoints(benchmark::State &state)
{
    const ChartSeries &series = SharedSeries(int(state.range(0)));
    const bool afresh = state.range(1) != 0;
    const double end = (series.Count() - 1) / 60.0;
    std::vector<KeptPoint> kept;
    bool other = false;
    for (auto _ : state) {
        other = !other;
        const AxisScale x(0, end + (other && !afresh ? 1 / 60.0 : 0), 0,
                          other && afresh ? 778 : 779);
        series.VisiblePoints(x, kept);
        benchmark::DoNotOptimize(kept.data());
    }
    state.counters["kept"] = double(kept.size());
}

} // namespace

// Each on process readings and on the random walk; with repetitions, the
// least of them is reported too.
const auto kShapes = [](benchmark::internal::Benchmark *b) {
    b->ArgName("random_walk")
        ->Arg(0)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", [](const std::vector<double> &v) {
            return *std::min_element(v.begin(), v.end());
        });
};
BENCHMARK(BM_ChartRepaint)->Apply(kShapes);
BENCHMARK(BM_ChartRepaintTimeAxisMoved)->Apply(kShapes);
BENCHMARK(BM_ChartAddReadingAndRepaint)->Apply(kShapes);
BENCHMARK(BM_SeriesAppendAndBytesPerPoint)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesVisiblePoints)
    ->ArgNames({"points", "afresh"})
    ->ArgsProduct({{1000, 1000000, 10000000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The chart of the plot page against its number of points. It draws per
// pixel column only the points that matter, found through a pyramid of
// block extremes, so a repaint of 8 series of a million points should cost
// no more than twice that of 8 series of a thousand; a new reading (a point
// on each of the 8 series, then a repaint) should stay under 5 ms on the
// large chart; and a stored point should take at most 12 bytes, pyramid
// included.

#include "plot/chartwidget.h"

#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cmath>

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
};

// A repaint of an unchanged chart (the window uncovered, the tab shown
// again): the chart draws the lines it made at the last paint.
void BM_ChartRepaint(benchmark::State &state)
{
    BenchChart f(int(state.range(0)), Shape(state.range(1)));
    QImage image(f.chart.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        f.chart.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["points_per_series"] = double(state.range(0));
}

// A repaint after the time axis moved, as at every reading: every series
// is reduced to its pixel columns anew.
void BM_ChartRepaintTimeAxisMoved(benchmark::State &state)
{
    BenchChart f(int(state.range(0)), Shape(state.range(1)));
    QImage image(f.chart.size(), QImage::Format_ARGB32_Premultiplied);
    const double end = f.chart.BottomMaximum();
    bool later = false;
    for (auto _ : state) {
        later = !later;
        f.chart.SetBottomMaximum(later ? end + 1 / 60.0 : end);
        f.chart.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["points_per_series"] = double(state.range(0));
}

// A new reading: a point on each of the 8 series, the time axis moved to
// it, and the repaint.
void BM_ChartAddReadingAndRepaint(benchmark::State &state)
{
    BenchChart f(int(state.range(0)), Shape(state.range(1)));
    QImage image(f.chart.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        f.AddReading();
        f.chart.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["points_per_series"] = double(state.range(0));
}

// Appending a whole series, and what it then takes in memory.
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
    for (auto _ : state) {
        ChartSeries series;
        for (int i = 0; i < points; ++i)
            (void)series.Append(i / 60.0, ys[i], colours[i]);
        bytes = series.MemoryBytes();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes_per_point"] = double(bytes) / points;
    state.SetItemsProcessed(state.iterations() * points);
}

// The reduction of one series to 780 pixel columns, alone.
void BM_SeriesVisiblePoints(benchmark::State &state)
{
    ChartSeries series;
    Readings readings(7, Shape::Process);
    const int points = int(state.range(0));
    for (int i = 0; i < points; ++i)
        (void)series.Append(i / 60.0, readings.Y(0, i), readings.Colour(0).rgb() & 0xffffff);
    std::vector<KeptPoint> kept;
    for (auto _ : state) {
        series.VisiblePoints(AxisScale(0, (points - 1) / 60.0, 0, 779), kept);
        benchmark::DoNotOptimize(kept.data());
    }
    state.counters["kept"] = double(kept.size());
}

} // namespace

const auto kCharts = [](benchmark::internal::Benchmark *b) {
    b->ArgNames({"points", "random_walk"})
        ->Args({1000, 0})
        ->Args({1000000, 0})
        ->Args({1000, 1})
        ->Args({1000000, 1})
        ->Unit(benchmark::kMillisecond);
};
BENCHMARK(BM_ChartRepaint)->Apply(kCharts);
BENCHMARK(BM_ChartRepaintTimeAxisMoved)->Apply(kCharts);
BENCHMARK(BM_ChartAddReadingAndRepaint)
    ->ArgNames({"points", "random_walk"})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesAppendAndBytesPerPoint)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesVisiblePoints)
    ->Arg(1000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond);

#include "plot/chartseries.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr ChartRgb kRed = 0xff0000;
constexpr ChartRgb kWhite = 0xffffff;
constexpr ChartRgb kBlue = 0x0000ff;

// How the points of a test series come about.
enum class Shape
{
    RandomWalk,  // a drifting temperature
    Noise,       // every y independent
    Rising,      // one step up per point
    Spikes,      // flat, with single points far up or down
    Gaps,        // a random walk, every 40th point or so white (a gap)
    EveryColour, // red, white and blue by turns: a colour change at every point
    Flat,        // every y the same
    SameX,       // five points on every x
};

struct Data
{
    std::vector<double> x, y;
    std::vector<ChartRgb> rgb;
};

Data MakeData(Shape shape, int count, quint32 seed)
{
    QRandomGenerator random(seed);
    Data d;
    double y = 20;
    for (int i = 0; i < count; ++i) {
        const int second = shape == Shape::SameX ? i / 5 : i;
        ChartRgb rgb = kRed;
        switch (shape) {
        case Shape::RandomWalk:
        case Shape::SameX:
            y += random.bounded(2.0) - 1;
            break;
        case Shape::Noise:
            y = random.bounded(100.0);
            break;
        case Shape::Rising:
            y = i;
            break;
        case Shape::Spikes:
            y = random.bounded(97) == 0 ? (random.bounded(2) ? 240 : -40) : 20;
            break;
        case Shape::Gaps:
            y += random.bounded(2.0) - 1;
            if (random.bounded(40) == 0)
                rgb = kWhite;
            break;
        case Shape::EveryColour:
            y = random.bounded(100.0);
            rgb = i % 3 == 0 ? kRed : i % 3 == 1 ? kWhite : kBlue;
            break;
        case Shape::Flat:
            y = 220;
            break;
        }
        d.x.push_back(second / 60.0);
        d.y.push_back(y);
        d.rgb.push_back(rgb);
    }
    return d;
}

ChartSeries MakeSeries(const Data &d)
{
    ChartSeries series;
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        if (!series.Append(d.x[i], d.y[i], d.rgb[i]).ok())
            qFatal("test data refused");
    }
    return series;
}

// A plain raster of `columns` x `rows` pixels, painted the way the chart
// paints: every point snapped to its pixel, every segment drawn in the
// colour of its end point with both end pixels, one after the other, later
// ones over earlier ones, pixels outside the raster left out. Any
// rasteriser that draws a segment from its two end pixels alone and fills a
// segment inside one column from end to end serves as the reference.
class Raster
{
public:
    Raster(int columns, int rows) : m_columns(columns), m_rows(rows), m_pixels(columns * rows, 0) {}

    void Segment(double x0, double y0, double x1, double y1, ChartRgb rgb)
    {
        // Clip to a pixel beyond the raster, so that points far outside cost
        // nothing, then Bresenham over whole pixels.
        QPointF a(x0, y0), b(x1, y1);
        if (!ClipSegment(a, b, QRectF(QPointF(-1, -1), QPointF(m_columns, m_rows))))
            return;
        qint64 x = std::llround(a.x()), y = std::llround(a.y());
        const qint64 xe = std::llround(b.x()), ye = std::llround(b.y());
        const qint64 dx = std::abs(xe - x), dy = -std::abs(ye - y);
        const int sx = x < xe ? 1 : -1, sy = y < ye ? 1 : -1;
        qint64 err = dx + dy;
        while (true) {
            if (x >= 0 && x < m_columns && y >= 0 && y < m_rows)
                m_pixels[y * m_columns + x] = rgb | 0x1000000; // painted
            if (x == xe && y == ye)
                break;
            const qint64 e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }

    // Where two rasters differ first, or an empty text.
    QString DifferenceFrom(const Raster &other) const
    {
        for (int i = 0; i < int(m_pixels.size()); ++i) {
            if (m_pixels[i] != other.m_pixels[i])
                return QStringLiteral("column %1 row %2: %3 against %4")
                    .arg(i % m_columns)
                    .arg(i / m_columns)
                    .arg(m_pixels[i], 0, 16)
                    .arg(other.m_pixels[i], 0, 16);
        }
        return {};
    }

    bool Painted() const
    {
        return std::any_of(m_pixels.begin(), m_pixels.end(), [](quint32 p) { return p != 0; });
    }

private:
    int m_columns;
    int m_rows;
    std::vector<quint32> m_pixels;
};

std::vector<quint32> Indexes(const std::vector<KeptPoint> &kept)
{
    std::vector<quint32> indexes;
    for (const KeptPoint &p : kept)
        indexes.push_back(p.index);
    return indexes;
}

Raster Draw(const ChartSeries &series, const std::vector<quint32> &indexes, const AxisScale &x,
            const AxisScale &y, int columns, int rows)
{
    Raster raster(columns, rows);
    for (std::size_t k = 1; k < indexes.size(); ++k) {
        const quint32 a = indexes[k - 1], b = indexes[k];
        raster.Segment(x.Pixel(series.X(a)), y.Pixel(series.Y(a)), x.Pixel(series.X(b)),
                       y.Pixel(series.Y(b)), series.Rgb(b));
    }
    return raster;
}

// What VisiblePoints keeps, found by looking at every point: the neighbour
// before the first column; per column its first point and, for each run of
// one colour after it, the first lowest, the first highest and the last
// point of the run, in index order; the neighbour after the last column.
std::vector<quint32> KeptByScan(const ChartSeries &series, const AxisScale &x)
{
    std::vector<quint32> kept;
    const auto keep = [&](quint32 i) {
        if (kept.empty() || i > kept.back())
            kept.push_back(i);
    };
    quint32 i = 0;
    const quint32 n = series.Count();
    while (i < n && x.Column(series.X(i)) < x.From())
        ++i;
    if (i > 0)
        keep(i - 1);
    while (i < n && x.Column(series.X(i)) <= x.To()) {
        const int column = x.Column(series.X(i));
        keep(i++);
        while (i < n && x.Column(series.X(i)) == column) {
            const ChartRgb rgb = series.Rgb(i);
            quint32 lowest = i, highest = i;
            while (i < n && x.Column(series.X(i)) == column && series.Rgb(i) == rgb) {
                if (series.Y(i) < series.Y(lowest))
                    lowest = i;
                if (series.Y(i) > series.Y(highest))
                    highest = i;
                ++i;
            }
            keep(std::min(lowest, highest));
            keep(std::max(lowest, highest));
            keep(i - 1);
        }
    }
    if (i < n)
        keep(i);
    return kept;
}

// Where the kept points differ from what a scan keeps, or an empty text.
QString DifferenceFromScan(const std::vector<KeptPoint> &points, const ChartSeries &series,
                           const AxisScale &x)
{
    const std::vector<quint32> kept = Indexes(points);
    const std::vector<quint32> expected = KeptByScan(series, x);
    const auto [mine, scan] =
        std::mismatch(kept.begin(), kept.end(), expected.begin(), expected.end());
    if (mine == kept.end() && scan == expected.end())
        return {};
    return QStringLiteral("kept %1 where a scan keeps %2")
        .arg(mine == kept.end() ? -1 : qint64(*mine))
        .arg(scan == expected.end() ? -1 : qint64(*scan));
}

std::vector<quint32> Every(const ChartSeries &series)
{
    std::vector<quint32> all(series.Count());
    for (quint32 i = 0; i < series.Count(); ++i)
        all[i] = i;
    return all;
}

} // namespace

class tst_ChartSeries : public QObject
{
    Q_OBJECT

private slots:
    void appendRefusesWhatCannotBeDrawn_data();
    void appendRefusesWhatCannotBeDrawn();
    void colourTableHoldsTwoHundredFiftyFive();
    void clearForgetsPointsAndColours();
    void reductionPaintsWhatEveryPointPaints_data();
    void reductionPaintsWhatEveryPointPaints();
    void reductionKeepsWhatAScanKeeps_data();
    void reductionKeepsWhatAScanKeeps();
    void reductionAfterTheAxisMovedKeepsWhatAScanKeeps_data();
    void reductionAfterTheAxisMovedKeepsWhatAScanKeeps();
    void reductionKeepsTheNeighboursOutside_data();
    void reductionKeepsTheNeighboursOutside();
    void reductionSizeFollowsColumnsNotPoints();
    void ticksStepByOneTwoFive_data();
    void ticksStepByOneTwoFive();
    void tickLabels_data();
    void tickLabels();
    void scaleSnapsToWholePixels();
};

void tst_ChartSeries::appendRefusesWhatCannotBeDrawn_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("ok");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The series already holds (1.5, 20).
    QTest::newRow("next second") << 1.5 + 1 / 60.0 << 21.0 << true;
    QTest::newRow("same x") << 1.5 << 22.0 << true;
    QTest::newRow("x goes back") << 1.5 - 1 / 60.0 << 21.0 << false;
    QTest::newRow("y not a number") << 2.0 << nan << false;
    QTest::newRow("x infinite") << inf << 20.0 << false;
    QTest::newRow("y beyond single precision") << 2.0 << 1e39 << false;
    QTest::newRow("y far but finite") << 2.0 << -1e30 << true;
}

void tst_ChartSeries::appendRefusesWhatCannotBeDrawn()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(bool, ok);
    ChartSeries series;
    QVERIFY(series.Append(1.5, 20, kRed).ok());
    const Result<> added = series.Append(x, y, kWhite);
    QCOMPARE(added.ok(), ok);
    QCOMPARE(added.error().isEmpty(), ok);
    QCOMPARE(series.Count(), ok ? 2u : 1u);
    QCOMPARE(series.X(0), 1.5f);
    QCOMPARE(series.Y(0), 20.0f);
    QCOMPARE(series.Rgb(0), kRed);
    if (ok) {
        QCOMPARE(series.X(1), float(x));
        QCOMPARE(series.Y(1), float(y));
        QCOMPARE(series.Rgb(1), kWhite);
    }
}

void tst_ChartSeries::colourTableHoldsTwoHundredFiftyFive()
{
    ChartSeries series;
    for (quint32 c = 0; c < 255; ++c)
        QVERIFY(series.Append(c, 0, 0x010203 * c).ok());
    QVERIFY(!series.Append(255, 0, 0xabcdef).ok());
    QVERIFY(series.Append(255, 0, 0x010203 * 7).ok()); // one it knows
    QCOMPARE(series.Count(), 256u);
    QCOMPARE(series.Rgb(254), 0x010203u * 254);
    QCOMPARE(series.Rgb(255), 0x010203u * 7);
}

void tst_ChartSeries::clearForgetsPointsAndColours()
{
    ChartSeries series;
    for (quint32 c = 0; c < 255; ++c)
        QVERIFY(series.Append(100 + c, 0, c).ok());
    series.Clear();
    QCOMPARE(series.Count(), 0u);
    std::vector<KeptPoint> kept{KeptPoint{}};
    series.VisiblePoints(AxisScale(0, 10, 0, 99), kept);
    QVERIFY(kept.empty());
    // An earlier x and new colours are welcome again.
    QVERIFY(series.Append(0, 5, 0xabcdef).ok());
    QCOMPARE(series.Rgb(0), 0xabcdefu);
}

void tst_ChartSeries::reductionPaintsWhatEveryPointPaints_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("xmin"); // minutes; the data starts at 0, one point a second
    QTest::addColumn<double>("xmax");
    QTest::addColumn<int>("columns");

    const auto row = [](const char *name, Shape shape, int count, double xmin, double xmax,
                        int columns) {
        QTest::newRow(name) << int(shape) << count << xmin << xmax << columns;
    };
    row("random walk, 5000 points on 97 columns", Shape::RandomWalk, 5000, 0, 5000 / 60.0, 97);
    row("noise, 20000 points on 300 columns", Shape::Noise, 20000, 0, 20000 / 60.0, 300);
    row("rising", Shape::Rising, 3000, 0, 3000 / 60.0, 61);
    row("spikes", Shape::Spikes, 30000, 0, 30000 / 60.0, 200);
    row("gaps", Shape::Gaps, 30000, 0, 30000 / 60.0, 150);
    row("a colour change at every point", Shape::EveryColour, 5000, 0, 5000 / 60.0, 40);
    row("all equal y", Shape::Flat, 5000, 0, 5000 / 60.0, 50);
    row("five points on every x", Shape::SameX, 5000, 0, 1000 / 60.0, 33);
    row("fewer points than columns", Shape::Gaps, 40, 0, 40 / 60.0, 300);
    row("three points", Shape::Noise, 3, 0, 0.1, 50);
    row("a single point", Shape::Noise, 1, 0, 1, 50);
    row("range cuts the start", Shape::Gaps, 10000, 50, 10000 / 60.0, 120);
    row("range cuts both ends", Shape::Spikes, 10000, 40, 120, 120);
    row("range reaches past the last point", Shape::RandomWalk, 3000, 10, 80, 120);
    row("range between two points", Shape::Noise, 100, 1.001, 1.009, 120);
    row("range after every point", Shape::Noise, 100, 10, 20, 120);
    row("range before every point", Shape::Noise, 100, -20, -10, 120);
    row("axis without width", Shape::SameX, 500, 1, 1, 120);
    // Columns of exactly `size` points, the first on a block boundary:
    // column(i) = floor((i + 0.25) / size), so that every block and quarter
    // ends on a column's last point.
    const auto aligned = [&](const char *name, Shape shape, int size, int columns) {
        const double xmin = (size / 2.0 - 0.25) / 60;
        row(name, shape, size * columns, xmin, xmin + size * (columns - 1) / 60.0, columns);
    };
    aligned("columns of 64 points from a block boundary", Shape::Noise, 64, 60);
    aligned("columns of 256 points from a block boundary, gaps", Shape::Gaps, 256, 40);
    aligned("columns of 1024 points from a block boundary", Shape::Noise, 1024, 40);
    aligned("columns of 4096 points from a block boundary", Shape::Noise, 4096, 20);
    // Long enough for blocks of every level but the top: level 3 covers
    // 262,144 points, and two columns hold 300,000 each.
    row("600000 points on two columns", Shape::Gaps, 600000, 0, 600000 / 60.0, 2);
    row("600000 spikes on three columns", Shape::Spikes, 600000, 0, 600000 / 60.0, 3);
    row("600000 points of one colour on five columns", Shape::RandomWalk, 600000, 0, 600000 / 60.0,
        5);
}

void tst_ChartSeries::reductionPaintsWhatEveryPointPaints()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(double, xmin);
    QFETCH(double, xmax);
    QFETCH(int, columns);
    const Data data = MakeData(Shape(shape), count, 1000 + count + shape);
    const ChartSeries series = MakeSeries(data);

    // The vertical axis leaves a tenth of the data out at either end, so
    // that the raster clips lines there too.
    const auto [low, high] = std::minmax_element(data.y.begin(), data.y.end());
    const double margin = (*high - *low) / 10;
    const int rows = 80;
    const AxisScale y(*low + margin, *high - margin, rows - 1, 0);
    const AxisScale x(xmin, xmax, 0, columns - 1);

    std::vector<KeptPoint> points;
    series.VisiblePoints(x, points);
    const std::vector<quint32> kept = Indexes(points);
    QVERIFY(std::is_sorted(kept.begin(), kept.end()));
    QVERIFY(std::adjacent_find(kept.begin(), kept.end()) == kept.end());
    // What it hands out for drawing is what the series holds.
    for (const KeptPoint &p : points) {
        QCOMPARE(p.pixel, x.Pixel(series.X(p.index)));
        QCOMPARE(p.y, series.Y(p.index));
        QCOMPARE(p.rgb, series.Rgb(p.index));
    }

    const Raster full = Draw(series, Every(series), x, y, columns, rows);
    const Raster reduced = Draw(series, kept, x, y, columns, rows);
    QCOMPARE(reduced.DifferenceFrom(full), QString());
}

void tst_ChartSeries::reductionKeepsWhatAScanKeeps_data()
{
    reductionPaintsWhatEveryPointPaints_data();
}

// Pixels alone can hide a wrong point where a column is painted from top
// to bottom anyway; the kept points themselves cannot.
void tst_ChartSeries::reductionKeepsWhatAScanKeeps()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(double, xmin);
    QFETCH(double, xmax);
    QFETCH(int, columns);
    const ChartSeries series = MakeSeries(MakeData(Shape(shape), count, 1000 + count + shape));
    const AxisScale x(xmin, xmax, 0, columns - 1);
    std::vector<KeptPoint> points;
    series.VisiblePoints(x, points);
    const QString difference = DifferenceFromScan(points, series, x);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// How the axis moves between reductions of one series.
enum class Moves
{
    EndForthAndBack, // the axis end a second on and back again
    Readings,        // a point appended, the axis end moved to it
    Window,          // a window of fixed width sliding a second at a time
    Jumps,           // both ends anywhere, by little or by much
};

void tst_ChartSeries::reductionAfterTheAxisMovedKeepsWhatAScanKeeps_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("moves");
    const auto row = [](const char *name, Shape shape, int count, int columns, Moves moves) {
        QTest::newRow(name) << int(shape) << count << columns << int(moves);
    };
    row("gaps, end forth and back", Shape::Gaps, 20000, 97, Moves::EndForthAndBack);
    row("gaps, reading by reading", Shape::Gaps, 20000, 97, Moves::Readings);
    row("gaps, sliding window", Shape::Gaps, 20000, 97, Moves::Window);
    row("gaps, jumps", Shape::Gaps, 20000, 97, Moves::Jumps);
    row("a colour change at every point, readings", Shape::EveryColour, 6000, 61, Moves::Readings);
    row("a colour change at every point, window", Shape::EveryColour, 6000, 61, Moves::Window);
    row("a colour change at every point, jumps", Shape::EveryColour, 6000, 61, Moves::Jumps);
    row("all equal y, readings", Shape::Flat, 6000, 40, Moves::Readings);
    row("all equal y, window", Shape::Flat, 6000, 40, Moves::Window);
    row("spikes, end forth and back", Shape::Spikes, 20000, 50, Moves::EndForthAndBack);
    row("spikes, window", Shape::Spikes, 20000, 50, Moves::Window);
    row("rising, readings", Shape::Rising, 6000, 33, Moves::Readings);
    row("rising, window", Shape::Rising, 6000, 33, Moves::Window);
    row("noise, jumps", Shape::Noise, 20000, 120, Moves::Jumps);
    row("five points on every x, readings", Shape::SameX, 6000, 40, Moves::Readings);
    row("five points on every x, window", Shape::SameX, 6000, 40, Moves::Window);
    row("fewer points than columns, readings", Shape::Gaps, 300, 120, Moves::Readings);
    row("fewer points than columns, jumps", Shape::Gaps, 300, 120, Moves::Jumps);
    row("random walk, readings", Shape::RandomWalk, 60000, 7, Moves::Readings);
}

// The reduction keeps what it found for the next one and works from it
// when the axis moves or points come; whatever came before, it must keep
// what a scan of every point keeps.
void tst_ChartSeries::reductionAfterTheAxisMovedKeepsWhatAScanKeeps()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(int, columns);
    QFETCH(int, moves);
    const Data data = MakeData(Shape(shape), count, 77 + count + shape);
    const double seconds = data.x.back() * 60; // x is in minutes
    QRandomGenerator random(count + moves);
    ChartSeries series;
    int added = 0;
    const auto addUpTo = [&](int n) {
        for (; added < n; ++added)
            QVERIFY(series.Append(data.x[added], data.y[added], data.rgb[added]).ok());
    };
    addUpTo(Moves(moves) == Moves::Readings ? count - 250 : count);

    std::vector<KeptPoint> points;
    for (int step = 0; step < 250; ++step) {
        double xmin = 0, xmax = data.x[added - 1];
        switch (Moves(moves)) {
        case Moves::EndForthAndBack:
            xmax += step % 2 / 60.0;
            break;
        case Moves::Readings:
            addUpTo(added + 1);
            if (QTest::currentTestFailed())
                return;
            xmax = data.x[added - 1];
            break;
        case Moves::Window:
            xmin = seconds / 4 / 60 + step / 60.0;
            xmax = xmin + seconds / 2 / 60;
            break;
        case Moves::Jumps: {
            // Mostly a few seconds, now and then anywhere.
            const bool far = random.bounded(8) == 0;
            xmin = far ? random.bounded(seconds / 2) / 60 : step / 60.0;
            xmax = far ? xmin + random.bounded(seconds) / 60 : data.x.back() - step % 3 / 60.0;
            break;
        }
        }
        const AxisScale x(xmin, xmax, 0, columns - 1);
        series.VisiblePoints(x, points);
        const QString difference = DifferenceFromScan(points, series, x);
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(difference)));
        for (const KeptPoint &p : points) {
            QCOMPARE(p.pixel, x.Pixel(series.X(p.index)));
            QCOMPARE(p.y, series.Y(p.index));
            QCOMPARE(p.rgb, series.Rgb(p.index));
        }
    }
}

void tst_ChartSeries::reductionKeepsTheNeighboursOutside_data()
{
    QTest::addColumn<double>("xmin");
    QTest::addColumn<double>("xmax");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<quint32>>("kept");
    // Points at x = 0, 1, ..., 9 with y = x.
    QTest::newRow("all inside, one a column")
        << 0.0 << 9.0 << 10 << QList<quint32>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("cut on both sides") << 3.0 << 5.25 << 10 << QList<quint32>{2, 3, 4, 5, 6};
    QTest::newRow("between two points") << 3.2 << 3.7 << 10 << QList<quint32>{3, 4};
    QTest::newRow("after the last") << 12.0 << 20.0 << 10 << QList<quint32>{9};
    QTest::newRow("before the first") << -5.0 << -1.0 << 10 << QList<quint32>{0};
    // Five points a column: the first, then the lowest, highest and last of
    // the rest.
    QTest::newRow("two columns") << 0.0 << 9.0 << 2 << QList<quint32>{0, 1, 4, 5, 6, 9};
}

void tst_ChartSeries::reductionKeepsTheNeighboursOutside()
{
    QFETCH(double, xmin);
    QFETCH(double, xmax);
    QFETCH(int, columns);
    QFETCH(QList<quint32>, kept);
    ChartSeries series;
    for (int i = 0; i < 10; ++i)
        QVERIFY(series.Append(i, i, kRed).ok());
    std::vector<KeptPoint> points;
    series.VisiblePoints(AxisScale(xmin, xmax, 0, columns - 1), points);
    const std::vector<quint32> indexes = Indexes(points);
    QCOMPARE(QList<quint32>(indexes.begin(), indexes.end()), kept);
}

void tst_ChartSeries::reductionSizeFollowsColumnsNotPoints()
{
    // A million points of one colour on 780 columns: four points a column
    // and the two neighbours at most, however many a column holds; with a
    // gap colour, three more for every change of colour.
    const Data data = MakeData(Shape::Gaps, 1000000, 7);
    const ChartSeries series = MakeSeries(data);
    const int changes = int(std::count(data.rgb.begin(), data.rgb.end(), kWhite)) * 2;
    std::vector<KeptPoint> kept;
    series.VisiblePoints(AxisScale(0, 1000000 / 60.0, 0, 779), kept);
    QVERIFY2(kept.size() <= std::size_t(4 * 780 + 2 + 3 * changes),
             qPrintable(QString::number(kept.size())));

    ChartSeries plain;
    for (int i = 0; i < 1000000; ++i)
        QVERIFY(plain.Append(i / 60.0, data.y[i], kRed).ok());
    plain.VisiblePoints(AxisScale(100, 200, 0, 779), kept);
    QVERIFY2(kept.size() <= 4 * 780 + 2, qPrintable(QString::number(kept.size())));
    QVERIFY(kept.size() >= 2 * 780);
}

void tst_ChartSeries::ticksStepByOneTwoFive_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("pixels");
    QTest::addColumn<double>("spacing");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("decimals");
    QTest::newRow("0..25 on 300 pixels")
        << 0.0 << 25.0 << 300.0 << 30.0 << QList<double>{0, 5, 10, 15, 20, 25} << 0;
    QTest::newRow("0..12 minutes on 600 pixels")
        << 0.0 << 12.0 << 600.0 << 40.0 << QList<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}
        << 0;
    QTest::newRow("-70..400 on 300 pixels")
        << -70.0 << 400.0 << 300.0 << 30.0
        << QList<double>{-50, 0, 50, 100, 150, 200, 250, 300, 350, 400} << 0;
    QTest::newRow("first minute, tenths")
        << 0.0 << 1.0 << 600.0 << 50.0
        << QList<double>{0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0} << 1;
    QTest::newRow("a few seconds")
        << 0.0 << 0.05 << 300.0 << 40.0 << QList<double>{0, 0.01, 0.02, 0.03, 0.04, 0.05} << 2;
    QTest::newRow("not on a step") << 0.3 << 2.9 << 300.0 << 100.0 << QList<double>{1, 2} << 0;
    QTest::newRow("axis without width") << 0.0 << 0.0 << 300.0 << 30.0 << QList<double>{0} << 0;
    QTest::newRow("inverted axis") << 5.0 << 0.0 << 300.0 << 30.0 << QList<double>{5} << 0;
}

void tst_ChartSeries::ticksStepByOneTwoFive()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, pixels);
    QFETCH(double, spacing);
    QFETCH(QList<double>, values);
    QFETCH(int, decimals);
    const AxisTicks ticks = ChooseAxisTicks(min, max, pixels, spacing);
    QCOMPARE(ticks.values.size(), std::size_t(values.size()));
    for (qsizetype i = 0; i < values.size(); ++i)
        QVERIFY2(std::abs(ticks.values[i] - values[i]) < 1e-9,
                 qPrintable(QString::number(ticks.values[i])));
    QCOMPARE(ticks.decimals, decimals);
}

void tst_ChartSeries::tickLabels_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("label");
    QTest::newRow("whole") << 25.0 << 0 << QStringLiteral("25");
    QTest::newRow("tenth") << 0.30000000000000004 << 1 << QStringLiteral("0.3");
    QTest::newRow("negative") << -50.0 << 0 << QStringLiteral("-50");
    QTest::newRow("negative zero") << -1e-17 << 1 << QStringLiteral("0.0");
}

void tst_ChartSeries::tickLabels()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, label);
    QCOMPARE(AxisTickLabel(value, decimals), label);
}

void tst_ChartSeries::scaleSnapsToWholePixels()
{
    // 0..25 degrees on rows 355 (bottom) to 0 (top): 14.2 rows a degree.
    const AxisScale y(0, 25, 355, 0);
    QCOMPARE(y.Pixel(0), 355.0);
    QCOMPARE(y.Pixel(25), 0.0);
    QCOMPARE(y.Pixel(12.5), 178.0); // 177.5 rounds up
    QCOMPARE(y.Pixel(220), 355.0 - 3124.0);
    // 0..12 minutes on columns 0..779; the columns hold at the ends.
    const AxisScale x(0, 12, 0, 779);
    QCOMPARE(x.Column(6), 390);
    QCOMPARE(x.Column(-3), -1);
    QCOMPARE(x.Column(1e30), 780);
    // No width: the minimum on the first column, the rest beyond the last.
    const AxisScale flat(0, 0, 0, 779);
    QCOMPARE(flat.Column(0), 0);
    QCOMPARE(flat.Column(1 / 60.0), 780);
    QCOMPARE(flat.Column(-1 / 60.0), -1);
}

QTEST_APPLESS_MAIN(tst_ChartSeries)
#include "tst_chartseries.moc"

#include "plot/chartseries.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

ChartSeries::ChartSeries() = default;
ChartSeries::~ChartSeries() = default;
ChartSeries::ChartSeries(ChartSeries &&) noexcept = default;
ChartSeries &ChartSeries::operator=(ChartSeries &&) noexcept = default;

template <typename Extremes, typename Index>
void ChartSeries::TakeInto(Extremes &e, float y, Index index, quint8 colour)
{
    if (y < e.low) {
        e.low = y;
        e.lowest = index;
    }
    if (y > e.high) {
        e.high = y;
        e.highest = index;
    }
    if (e.colour != colour)
        e.colour = kMixed;
}

Result<> ChartSeries::Append(double x, double y, ChartRgb rgb)
{
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    if (!std::isfinite(fx) || !std::isfinite(fy))
        return Fail(QStringLiteral("The point (%1, %2) is not a finite number.").arg(x).arg(y));
    if (m_count > 0 && fx < X(m_count - 1))
        return Fail(QStringLiteral("x = %1 lies before the last point of the series (%2).")
                        .arg(x)
                        .arg(X(m_count - 1)));
    if (m_count == kMaxPoints)
        return Fail(QStringLiteral("The series holds %1 points and takes no more.").arg(m_count));

    rgb &= 0xffffffu;
    // Almost every point takes the colour of the one before: look there first.
    quint8 colour = 0;
    if (m_count > 0 && m_palette[ColourIndex(m_count - 1)] == rgb) {
        colour = ColourIndex(m_count - 1);
    } else {
        const std::size_t known =
            std::find(m_palette.begin(), m_palette.end(), rgb) - m_palette.begin();
        if (known == m_palette.size()) {
            if (known == kMaxColours)
                return Fail(
                    QStringLiteral("The series already holds %1 colours.").arg(kMaxColours));
            m_palette.push_back(rgb);
        }
        colour = static_cast<quint8>(known);
    }

    const quint32 i = m_count;
    if ((i & kChunkMask) == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Chunk>());
    Group &g = m_chunks.back()->groups[(i & kChunkMask) >> kGroupShift];
    g.x[i & kGroupMask] = fx;
    g.y[i & kGroupMask] = fy;
    g.colour[i & kGroupMask] = colour;
    ++m_count;
    ++m_revision;

    Quarter &q = g.quarters[(i & kGroupMask) >> kQuarterShift];
    const auto offset = static_cast<quint8>(i & kQuarterMask);
    if (offset == 0)
        q = Quarter{fy, fy, 0, 0, colour};
    else
        TakeInto(q, fy, offset, colour);

    for (int level = 0; level < kLevels; ++level) {
        const quint32 mask = (1u << LevelShift(level)) - 1;
        std::vector<Block> &blocks = m_levels[level];
        if ((i & mask) == 0)
            blocks.push_back(Block{fy, fy, i, i, colour});
        else
            TakeInto(blocks.back(), fy, i, colour);
    }
    return {};
}

void ChartSeries::Clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    for (std::vector<Block> &blocks : m_levels) {
        blocks.clear();
        blocks.shrink_to_fit();
    }
    m_palette.clear();
    m_count = 0;
    ++m_revision;
}

std::size_t ChartSeries::MemoryBytes() const
{
    std::size_t bytes = sizeof(*this) + m_chunks.capacity() * sizeof(m_chunks[0]) +
                        m_chunks.size() * sizeof(Chunk) + m_palette.capacity() * sizeof(ChartRgb);
    for (const std::vector<Block> &blocks : m_levels)
        bytes += blocks.capacity() * sizeof(Block);
    return bytes;
}

quint32 ChartSeries::FirstAtOrBeyond(const AxisScale &x, quint32 end, int column) const
{
    quint32 lo = 0;
    quint32 hi = end;
    while (lo < hi) {
        const quint32 mid = lo + (hi - lo) / 2;
        if (x.Column(X(mid)) < column)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

quint32 ChartSeries::EndOfColumn(const AxisScale &x, quint32 from, quint32 end, int column,
                                 quint32 guess) const
{
    // Points usually come at a steady pace, so the column most likely ends
    // where the one before it did, `guess` points on: look there first,
    // then gallop outwards from the nearest known bound and halve.
    const auto beyond = [&](quint32 i) { return x.Column(X(i)) > column; };
    quint32 lo = from; // Column(X(lo)) <= column
    quint32 hi = end;  // beyond, or end
    const quint32 at = end - from > guess ? from + guess : end;
    if (at < end && beyond(at)) {
        hi = at;
        if (!beyond(at - 1))
            return at;
    } else if (at < end) {
        lo = at;
        quint32 step = 1;
        while (end - lo > step && !beyond(lo + step)) {
            lo += step;
            step *= 2;
        }
        hi = end - lo > step ? lo + step : end;
    } else {
        lo = from;
    }
    while (hi - lo > 1) {
        const quint32 mid = lo + (hi - lo) / 2;
        if (beyond(mid))
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}

// One run of points of one colour inside a column.
struct ChartSeries::Run
{
    float low = 0;
    float high = 0;
    quint32 lowest = 0;
    quint32 highest = 0;
    quint32 last = 0;
    float lastY = 0; // not known (NaN) when the run ended with a block
    quint8 colour = 0;
    bool open = false;

    void Start(float lowY, float highY, quint32 lowIndex, quint32 highIndex, quint8 c)
    {
        *this = Run{lowY, highY, lowIndex, highIndex, 0, 0, c, true};
    }
    void Widen(float lowY, float highY, quint32 lowIndex, quint32 highIndex)
    {
        if (lowY < low) {
            low = lowY;
            lowest = lowIndex;
        }
        if (highY > high) {
            high = highY;
            highest = highIndex;
        }
    }
};

void ChartSeries::FlushRun(Run &run, int column, std::vector<KeptPoint> &kept) const
{
    if (!run.open)
        return;
    run.open = false;
    const ChartRgb rgb = m_palette[run.colour];
    // The three points in index order (lowest and highest may come either
    // way round; the last comes last), each once, each after what is kept.
    quint32 first = run.lowest, second = run.highest;
    float firstY = run.low, secondY = run.high;
    if (second < first) {
        std::swap(first, second);
        std::swap(firstY, secondY);
    }
    const auto keep = [&](quint32 index, float y) {
        if (index > kept.back().index)
            kept.push_back(KeptPoint{double(column), y, rgb, index});
    };
    keep(first, firstY);
    keep(second, secondY);
    if (run.last > kept.back().index)
        keep(run.last, std::isnan(run.lastY) ? Y(run.last) : run.lastY);
}

void ChartSeries::ScanPoints(quint32 from, quint32 to, int column, Run &run,
                             std::vector<KeptPoint> &kept) const
{
    const Group &g = group(from);
    const quint32 base = from & ~kGroupMask;
    quint32 j = from - base;
    const quint32 end = to - base;
    while (j < end) {
        if (!run.open || g.colour[j] != run.colour) {
            if (run.open && base + j > from) { // the run went on up to here
                run.last = base + j - 1;
                run.lastY = g.y[j - 1];
            }
            FlushRun(run, column, kept);
            run.Start(g.y[j], g.y[j], base + j, base + j, g.colour[j]);
            ++j;
            continue;
        }
        // The points of the run's colour from here on, held in registers.
        float low = run.low, high = run.high;
        quint32 lowest = run.lowest, highest = run.highest;
        const quint8 colour = run.colour;
        for (; j < end && g.colour[j] == colour; ++j) {
            const float y = g.y[j];
            if (y < low) {
                low = y;
                lowest = base + j;
            }
            if (y > high) {
                high = y;
                highest = base + j;
            }
        }
        run.low = low;
        run.high = high;
        run.lowest = lowest;
        run.highest = highest;
    }
    run.last = to - 1;
    run.lastY = g.y[end - 1];
}

void ChartSeries::AddColumnRuns(quint32 first, quint32 last, int column,
                                std::vector<KeptPoint> &kept) const
{
    constexpr quint32 kQuarter = 1u << kQuarterShift;
    Run run;
    // Takes a block or quarter of one colour that ends at `end`.
    const auto take = [&](float low, float high, quint32 lowest, quint32 highest, quint32 end,
                          quint8 colour) {
        if (!run.open || run.colour != colour) {
            FlushRun(run, column, kept);
            run.Start(low, high, lowest, highest, colour);
        } else {
            run.Widen(low, high, lowest, highest);
        }
        run.last = end;
        run.lastY = std::numeric_limits<float>::quiet_NaN();
    };

    quint32 i = first;
    while (i <= last) {
        // Single points up to the next quarter boundary.
        if ((i & kQuarterMask) != 0 || last - i + 1 < kQuarter) {
            const quint32 stop = std::min(last + 1, (i | kQuarterMask) + 1);
            ScanPoints(i, stop, column, run, kept);
            i = stop;
            continue;
        }
        // The largest block of one colour that starts at i and ends by last.
        if ((i & kGroupMask) == 0 && last - i + 1 >= kGroupSize) {
            // The largest level that i is aligned to and that fits.
            const int aligned = i == 0 ? 31 : std::countr_zero(i);
            const int fits = std::bit_width(last - i + 1) - 1;
            const int top = std::min(kLevels - 1, (std::min(aligned, fits) - kGroupShift) / 2);
            bool took = false;
            for (int level = top; level >= 0; --level) {
                const int shift = LevelShift(level);
                const Block &b = m_levels[level][i >> shift];
                if (b.colour == kMixed)
                    continue;
                const quint32 size = 1u << shift;
                take(b.low, b.high, b.lowest, b.highest, i + size - 1, b.colour);
                i += size;
                took = true;
                break;
            }
            if (took)
                continue;
        }
        // Else a quarter, or its points when it holds more than one colour.
        const Quarter &q = group(i).quarters[(i & kGroupMask) >> kQuarterShift];
        if (q.colour == kMixed)
            ScanPoints(i, i + kQuarter, column, run, kept);
        else
            take(q.low, q.high, i + q.lowest, i + q.highest, i + kQuarter - 1, q.colour);
        i += kQuarter;
    }
    FlushRun(run, column, kept);
}

void ChartSeries::VisiblePoints(const AxisScale &x, std::vector<KeptPoint> &kept) const
{
    kept.clear();
    if (m_count == 0)
        return;
    // At most four points a column when all is of one colour.
    kept.reserve(4 * std::size_t(x.To() - x.From() + 1) + 2);
    const auto point = [&](quint32 i, double pixel) { return KeptPoint{pixel, Y(i), Rgb(i), i}; };
    const quint32 begin = FirstAtOrBeyond(x, m_count, x.From());
    const quint32 end = FirstAtOrBeyond(x, m_count, x.To() + 1);
    if (begin > 0)
        kept.push_back(point(begin - 1, x.Pixel(X(begin - 1))));
    quint32 i = begin;
    quint32 guess = 1;
    while (i < end) {
        const int column = x.Column(X(i));
        const quint32 next = EndOfColumn(x, i, end, column, guess);
        // On a long series the edges of the column after next lie kilobytes
        // on, and waiting for them to come from memory would cost more than
        // the work of a column: ask for them now, two columns ahead.
        if (next - i > kQuarterMask && end - next > 2 * (next - i))
            Prefetch(next + 2 * (next - i));
        kept.push_back(point(i, column));
        if (next - 1 > i)
            AddColumnRuns(i + 1, next - 1, column, kept);
        guess = next - i;
        i = next;
    }
    if (end < m_count)
        kept.push_back(point(end, x.Pixel(X(end))));
}

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
    m_reduction = Reduction{};
}

std::size_t ChartSeries::MemoryBytes() const
{
    std::size_t bytes = sizeof(*this) + m_chunks.capacity() * sizeof(m_chunks[0]) +
                        m_chunks.size() * sizeof(Chunk) + m_palette.capacity() * sizeof(ChartRgb);
    for (const std::vector<Block> &blocks : m_levels)
        bytes += blocks.capacity() * sizeof(Block);
    const Reduction &r = m_reduction;
    bytes +=
        r.edges.capacity() * sizeof(Edge) +
        (r.was.capacity() + r.columns.capacity() + r.lastColumns.capacity()) * sizeof(quint32) +
        (r.runs.capacity() + r.lastRuns.capacity()) * sizeof(KeptRun);
    return bytes;
}

template <typename XOf>
quint32 ChartSeries::EdgeNear(const AxisScale &x, int column, quint32 floor, quint32 start,
                              XOf xOf) const
{
    // Points usually come at a steady pace, so an edge most likely lies
    // where the caller guesses: look there first, then gallop outwards
    // and halve. The answer lies in [lo, hi]; hi is at or beyond.
    const auto atOrBeyond = [&](quint32 i) { return i >= m_count || x.Column(xOf(i)) >= column; };
    quint32 lo = floor;
    quint32 hi = m_count;
    if (start < lo)
        start = lo;
    if (start >= m_count || atOrBeyond(start)) {
        hi = std::min(start, m_count);
        for (quint32 step = 1; hi > lo; step *= 2) {
            const quint32 probe = hi - std::min(step, hi - lo);
            if (!atOrBeyond(probe)) {
                lo = probe + 1;
                break;
            }
            hi = probe;
        }
    } else {
        lo = start + 1;
        for (quint32 step = 1; lo < hi; step *= 2) {
            const quint32 probe = lo + std::min(step, hi - lo) - 1;
            if (atOrBeyond(probe)) {
                hi = probe;
                break;
            }
            lo = probe + 1;
        }
    }
    while (lo < hi) {
        const quint32 mid = lo + (hi - lo) / 2;
        if (atOrBeyond(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

ChartSeries::Edge ChartSeries::EdgeAt(quint32 index) const
{
    Edge e{};
    e.index = index;
    e.base = index > 3 ? index - 3 : 0;
    e.known = std::min(kNear, m_count - e.base);
    for (quint32 j = 0; j < e.known; ++j) {
        const Group &g = group(e.base + j);
        const quint32 at = (e.base + j) & kGroupMask;
        e.x[j] = g.x[at];
        e.y[j] = g.y[at];
        e.colour[j] = g.colour[at];
    }
    return e;
}

void ChartSeries::MoveEdge(Edge &e, quint32 index) const
{
    // The next move by a point either way needs two points before the edge
    // and one after it; else the points around it are read again.
    const bool before = index >= e.base + 2 || e.base == 0;
    const bool after = std::min(index + 2, m_count) <= e.base + e.known;
    if (before && after)
        e.index = index;
    else
        e = EdgeAt(index);
}

void ChartSeries::FindEdges(const AxisScale &x, quint32 begin, Reduction &r) const
{
    const int from = x.From();
    quint32 i = begin;
    r.edges[0] = EdgeAt(i);
    quint32 guess = 1;
    const auto xOf = [this](quint32 p) { return X(p); };
    for (std::size_t k = 1; k < r.edges.size(); ++k) {
        const int column = from + int(k) - 1; // the column that ends here
        quint32 next = i;
        if (i < m_count && x.Column(X(i)) == column) {
            next = EdgeNear(x, column + 1, i + 1, i + guess, xOf);
            guess = next - i;
            // On a long series the edges of the column after next lie
            // kilobytes on, and waiting for them to come from memory would
            // cost more than the work of a column: ask for them now, two
            // columns ahead.
            if (guess > kQuarterMask && m_count - next > 2 * guess)
                Prefetch(next + 2 * guess);
        }
        r.edges[k] = next == r.edges[k - 1].index ? r.edges[k - 1] : EdgeAt(next);
        i = next;
    }
}

void ChartSeries::MoveEdges(const AxisScale &x, Reduction &r) const
{
    // Each edge is looked for from where it was, among the points it kept;
    // mostly it stays or moves by a point, and no point is read.
    r.was.resize(r.edges.size());
    quint32 floor = 0;
    for (std::size_t k = 0; k < r.edges.size(); ++k) {
        Edge &e = r.edges[k];
        r.was[k] = e.index;
        const quint32 index =
            EdgeNear(x, x.From() + int(k), floor, e.index, [&](quint32 i) { return NearX(e, i); });
        if (index != e.index || e.index + 2 > e.base + e.known)
            MoveEdge(e, index);
        floor = index;
    }
}

// One run of points of one colour inside a column, while it is gathered.
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

void ChartSeries::FlushRun(Run &run, std::vector<KeptRun> &runs) const
{
    if (!run.open)
        return;
    run.open = false;
    runs.push_back(KeptRun{run.low, run.high, std::isnan(run.lastY) ? Y(run.last) : run.lastY,
                           run.lowest, run.highest, run.last, run.colour});
}

void ChartSeries::ScanPoints(quint32 from, quint32 to, Run &run, std::vector<KeptRun> &runs) const
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
            FlushRun(run, runs);
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

void ChartSeries::AddColumnRuns(quint32 first, quint32 last, std::vector<KeptRun> &runs) const
{
    constexpr quint32 kQuarter = 1u << kQuarterShift;
    Run run;
    // Takes a block or quarter of one colour that ends at `end`.
    const auto take = [&](float low, float high, quint32 lowest, quint32 highest, quint32 end,
                          quint8 colour) {
        if (!run.open || run.colour != colour) {
            FlushRun(run, runs);
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
            ScanPoints(i, stop, run, runs);
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
            ScanPoints(i, i + kQuarter, run, runs);
        else
            take(q.low, q.high, i + q.lowest, i + q.highest, i + kQuarter - 1, q.colour);
        i += kQuarter;
    }
    FlushRun(run, runs);
}

void ChartSeries::ReduceColumn(quint32 first, quint32 end, Reduction &r) const
{
    r.columns.push_back(quint32(r.runs.size()));
    if (end - 1 > first)
        AddColumnRuns(first + 1, end - 1, r.runs);
}

bool ChartSeries::EditColumn(Reduction &r, std::size_t k, quint32 first, quint32 end) const
{
    const quint32 was = r.was[k];
    const quint32 wasEnd = r.was[k + 1];
    // Only columns that hold enough points for an edit to save reading
    // them, and share most of them with what they held.
    if (end - first < kEditLimit || wasEnd - was < kEditLimit ||
        (first > was ? first - was : was - first) > kEditLimit ||
        (end > wasEnd ? end - wasEnd : wasEnd - end) > kEditLimit)
        return false;

    const std::size_t begin = r.runs.size();
    // One by one: a column holds a run or three, and the library's copy
    // of a few bytes took a third of a reduction.
    for (quint32 run = r.lastColumns[k]; run < r.lastColumns[k + 1]; ++run)
        r.runs.push_back(r.lastRuns[run]);
    const auto runs = [&] { return r.runs.begin() + std::ptrdiff_t(begin); };
    const auto give_up = [&] {
        r.runs.resize(begin);
        return false;
    };
    // The points that came and went lie around the column's edges.
    const Edge &start = r.edges[k];
    const Edge &stop = r.edges[k + 1];

    // The start. Points was + 1 .. first went to the column before: drop
    // them from the front of the runs; a run keeps its extremes when none
    // of them went, as the extremes are the first points with their y.
    if (first > was) {
        while (runs() != r.runs.end() && runs()->last <= first)
            r.runs.erase(runs());
        if (runs() != r.runs.end() && (runs()->lowest <= first || runs()->highest <= first)) {
            // An extreme went. Only a run whose points share one y knows
            // its new extremes: the first point it has left.
            if (runs()->low != runs()->high)
                return give_up();
            runs()->lowest = runs()->highest = first + 1;
        }
    } else {
        // Points first + 1 .. was came from the column before: put them in
        // front, the last first; a point takes an extreme from a later one
        // with the same y.
        for (quint32 i = was; i > first; --i) {
            const float y = NearY(start, i);
            const quint8 colour = NearColour(start, i);
            if (runs() == r.runs.end() || runs()->colour != colour) {
                r.runs.insert(runs(), KeptRun{y, y, y, i, i, i, colour});
            } else {
                KeptRun &run = *runs();
                if (y <= run.low) {
                    run.low = y;
                    run.lowest = i;
                }
                if (y >= run.high) {
                    run.high = y;
                    run.highest = i;
                }
            }
        }
    }

    // The end. Points end .. wasEnd - 1 went to the column after: drop
    // them from the back, as at the start; points wasEnd .. end - 1 came:
    // widen the last run by them, or start runs.
    if (end < wasEnd) {
        while (runs() != r.runs.end()) {
            KeptRun &run = r.runs.back();
            const quint32 from = r.runs.size() - begin > 1 ? r.runs.end()[-2].last + 1 : first + 1;
            if (from >= end) {
                r.runs.pop_back();
                continue;
            }
            if (run.last >= end) {
                if (run.lowest >= end || run.highest >= end)
                    return give_up();
                run.last = end - 1;
                run.lastY = NearY(stop, end - 1);
            }
            break;
        }
    } else {
        for (quint32 i = wasEnd; i < end; ++i) {
            const float y = NearY(stop, i);
            const quint8 colour = NearColour(stop, i);
            if (runs() == r.runs.end() || r.runs.back().colour != colour) {
                r.runs.push_back(KeptRun{y, y, y, i, i, i, colour});
            } else {
                KeptRun &run = r.runs.back();
                TakeInto(run, y, i, colour);
                run.last = i;
                run.lastY = y;
            }
        }
    }
    r.columns.push_back(quint32(begin));
    return true;
}

// Flattened: with push_back called rather than inlined, handing out the
// points took a third of a reduction after a move of the axis.
[[gnu::flatten]] void ChartSeries::KeepRuns(const KeptRun *run, const KeptRun *end, double column,
                                            std::vector<KeptPoint> &kept) const
{
    for (; run != end; ++run) {
        // The three points in index order (lowest and highest may come
        // either way round; the last comes last), each once, each after
        // what is kept.
        const ChartRgb rgb = m_palette[run->colour];
        const bool lowFirst = run->lowest <= run->highest;
        const quint32 one = lowFirst ? run->lowest : run->highest;
        const quint32 two = lowFirst ? run->highest : run->lowest;
        if (one > kept.back().index)
            kept.push_back(KeptPoint{column, lowFirst ? run->low : run->high, rgb, one});
        if (two > kept.back().index)
            kept.push_back(KeptPoint{column, lowFirst ? run->high : run->low, rgb, two});
        if (run->last > kept.back().index)
            kept.push_back(KeptPoint{column, run->lastY, rgb, run->last});
    }
}

[[gnu::flatten]] void ChartSeries::Keep(const AxisScale &x, const Reduction &r,
                                        std::vector<KeptPoint> &kept) const
{
    const Edge &first = r.edges.front();
    const Edge &end = r.edges.back();
    if (first.index > 0) {
        const quint32 i = first.index - 1;
        kept.push_back(KeptPoint{x.Pixel(NearX(first, i)), NearY(first, i),
                                 m_palette[NearColour(first, i)], i});
    }
    for (std::size_t k = 0; k + 1 < r.edges.size(); ++k) {
        const Edge &e = r.edges[k];
        if (e.index == r.edges[k + 1].index)
            continue;
        const double column = x.From() + int(k);
        kept.push_back(
            KeptPoint{column, NearY(e, e.index), m_palette[NearColour(e, e.index)], e.index});
        KeepRuns(r.runs.data() + r.columns[k], r.runs.data() + r.columns[k + 1], column, kept);
    }
    if (end.index < m_count)
        kept.push_back(KeptPoint{x.Pixel(NearX(end, end.index)), NearY(end, end.index),
                                 m_palette[NearColour(end, end.index)], end.index});
}

[[gnu::flatten]] void ChartSeries::KeepEvery(const AxisScale &x, quint32 begin, quint32 end,
                                             std::vector<KeptPoint> &kept) const
{
    std::vector<KeptRun> &runs = m_reduction.runs;
    if (begin > 0)
        kept.push_back(KeptPoint{x.Pixel(X(begin - 1)), Y(begin - 1), Rgb(begin - 1), begin - 1});
    quint32 guess = 1;
    for (quint32 i = begin; i < end;) {
        const int column = x.Column(X(i));
        const quint32 next =
            EdgeNear(x, column + 1, i + 1, i + guess, [this](quint32 p) { return X(p); });
        kept.push_back(KeptPoint{double(column), Y(i), Rgb(i), i});
        if (next - 1 > i) {
            runs.clear();
            AddColumnRuns(i + 1, next - 1, runs);
            KeepRuns(runs.data(), runs.data() + runs.size(), column, kept);
        }
        guess = next - i;
        i = next;
    }
    if (end < m_count)
        kept.push_back(KeptPoint{x.Pixel(X(end)), Y(end), Rgb(end), end});
}

void ChartSeries::VisiblePoints(const AxisScale &x, std::vector<KeptPoint> &kept) const
{
    kept.clear();
    if (m_count == 0 || x.To() < x.From())
        return;
    const std::size_t width = std::size_t(x.To() - x.From() + 1);
    // At most four points a column when all is of one colour.
    kept.reserve(4 * width + 2);
    // Where the visible points begin and end, looked for from where they
    // did before.
    const bool valid = m_reduction.valid;
    const auto xOf = [this](quint32 i) { return X(i); };
    const quint32 begin = EdgeNear(x, x.From(), 0, valid ? m_reduction.edges[0].index : 0, xOf);
    const quint32 end =
        EdgeNear(x, x.To() + 1, begin, valid ? m_reduction.edges.back().index : begin, xOf);

    if (end - begin < kEditLimit * width) {
        // Few points a column: reading them costs less than keeping what
        // was found.
        m_reduction.valid = false;
        KeepEvery(x, begin, end, kept);
        return;
    }

    Reduction &r = m_reduction;
    const bool again = r.valid && r.from == x.From() && r.to == x.To() && r.count <= m_count;
    r.valid = false;
    r.from = x.From();
    r.to = x.To();
    r.count = m_count;
    if (again) {
        MoveEdges(x, r);
    } else {
        r.edges.resize(width + 1);
        FindEdges(x, begin, r);
    }

    std::swap(r.columns, r.lastColumns);
    std::swap(r.runs, r.lastRuns);
    r.columns.clear();
    r.runs.clear();
    for (std::size_t k = 0; k < width; ++k) {
        const quint32 first = r.edges[k].index;
        const quint32 next = r.edges[k + 1].index;
        if (first == next)
            r.columns.push_back(quint32(r.runs.size()));
        else if (!again || !EditColumn(r, k, first, next))
            ReduceColumn(first, next, r);
    }
    r.columns.push_back(quint32(r.runs.size()));
    r.valid = true;
    Keep(x, m_reduction, kept);
}

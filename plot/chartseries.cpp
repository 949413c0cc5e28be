#include "plot/chartseries.h"

#include <algorithm>
#include <cmath>

ChartSeries::ChartSeries() = default;
ChartSeries::~ChartSeries() = default;
ChartSeries::ChartSeries(ChartSeries &&) noexcept = default;
ChartSeries &ChartSeries::operator=(ChartSeries &&) noexcept = default;

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
    Chunk &c = *m_chunks.back();
    c.x[i & kChunkMask] = fx;
    c.y[i & kChunkMask] = fy;
    c.colour[i & kChunkMask] = colour;
    ++m_count;

    for (int level = 0; level < kLevels; ++level) {
        const quint32 mask = (1u << (kBlockShift * (level + 1))) - 1;
        std::vector<Block> &blocks = m_levels[level];
        if ((i & mask) == 0) {
            blocks.push_back(Block{i, i, colour});
            continue;
        }
        Block &b = blocks.back();
        if (fy < Y(b.lowest))
            b.lowest = i;
        if (fy > Y(b.highest))
            b.highest = i;
        if (b.colour != colour)
            b.colour = kMixed;
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

quint32 ChartSeries::EndOfColumn(const AxisScale &x, quint32 from, quint32 end, int column) const
{
    // Columns usually hold a handful of points, or a steady number of them:
    // gallop out from `from` to bracket the end, then halve.
    quint32 lo = from;
    quint32 step = 1;
    quint32 hi = from;
    while (true) {
        hi = end - lo > step ? lo + step : end;
        if (hi == end || x.Column(X(hi)) > column)
            break;
        lo = hi;
        step *= 2;
    }
    // Column(X(lo)) <= column; the answer lies in (lo, hi].
    while (hi - lo > 1) {
        const quint32 mid = lo + (hi - lo) / 2;
        if (x.Column(X(mid)) > column)
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}

namespace {

// One run of points of one colour inside a column.
struct Run
{
    quint32 lowest = 0;
    quint32 highest = 0;
    quint32 last = 0;
    quint8 colour = 0;
    bool open = false;
};

} // namespace

void ChartSeries::AddColumnRuns(quint32 first, quint32 last, std::vector<quint32> &indexes) const
{
    Run run;
    const auto flush = [&] {
        if (!run.open)
            return;
        std::array<quint32, 3> kept{run.lowest, run.highest, run.last};
        std::sort(kept.begin(), kept.end());
        for (const quint32 k : kept) {
            if (k > indexes.back())
                indexes.push_back(k);
        }
        run.open = false;
    };
    const auto take = [&](quint32 lowest, quint32 highest, quint32 end, quint8 colour) {
        if (run.open && run.colour != colour)
            flush();
        if (!run.open) {
            run = Run{lowest, highest, end, colour, true};
            return;
        }
        if (Y(lowest) < Y(run.lowest))
            run.lowest = lowest;
        if (Y(highest) > Y(run.highest))
            run.highest = highest;
        run.last = end;
    };

    quint32 i = first;
    while (i <= last) {
        bool tookBlock = false;
        // The largest block of one colour that starts at i and ends by last.
        for (int level = kLevels - 1; level >= 0 && (i & ((1u << kBlockShift) - 1)) == 0; --level) {
            const int shift = kBlockShift * (level + 1);
            const quint32 size = 1u << shift;
            if ((i & (size - 1)) != 0 || last - i + 1 < size)
                continue;
            const Block &b = m_levels[level][i >> shift];
            if (b.colour == kMixed)
                continue;
            take(b.lowest, b.highest, i + size - 1, b.colour);
            i += size;
            tookBlock = true;
            break;
        }
        if (!tookBlock) {
            take(i, i, i, ColourIndex(i));
            ++i;
        }
    }
    flush();
}

void ChartSeries::VisiblePoints(const AxisScale &x, std::vector<quint32> &indexes) const
{
    indexes.clear();
    if (m_count == 0)
        return;
    const quint32 begin = FirstAtOrBeyond(x, m_count, x.From());
    const quint32 end = FirstAtOrBeyond(x, m_count, x.To() + 1);
    if (begin > 0)
        indexes.push_back(begin - 1);
    quint32 i = begin;
    while (i < end) {
        const int column = x.Column(X(i));
        const quint32 next = EndOfColumn(x, i, end, column);
        indexes.push_back(i);
        if (next - 1 > i)
            AddColumnRuns(i + 1, next - 1, indexes);
        i = next;
    }
    if (end < m_count)
        indexes.push_back(end);
}

#pragma once

#include "plot/chartaxis.h"
#include "result/result.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

// A colour as 0xRRGGBB; the chart widget turns it into a QColor.
using ChartRgb = quint32;

// The points of one line series of the chart: x ascending (minutes), y in
// any order, and a colour for every point. The line segment that ends at a
// point is drawn in that point's colour, so a white point after a gap draws
// a white segment that bridges the gap invisibly on the white plot area.
//
// Storage. A point takes 9 bytes: x and y as single-precision numbers (x is
// whole seconds / 60, as the plot page computes it) and a one-byte index
// into the series' table of up to 255 distinct colours. Points live in
// chunks of 4096, allocated as the series grows, so an append never moves
// what is stored. On top of them sits a pyramid of blocks: level 1 holds,
// for every 64 points, the index of the lowest and of the highest point and
// their colour when all 64 share one; level 2 the same for every 64 level-1
// blocks (4096 points), level 3 for 262,144 points, level 4 for 16,777,216.
// An append updates the last block of each level: four comparisons. The
// pyramid adds 12 bytes per 64 points and a little more above, so a million
// points take about 9.2 bytes each.
//
// Reduction. Drawing every point of a series costs its length; the chart
// instead asks VisiblePoints for the points that matter to the pixels. With
// every point snapped to its pixel (AxisScale), the points of one pixel
// column are joined by vertical strokes inside that column, and a run of
// strokes of one colour covers exactly the rows from its lowest to its
// highest point. So the picture of a column is kept by its first point (the
// segment coming in from the left), its last point (the segment going on to
// the right) and, for every run of points of one colour in between, the
// lowest, the highest and the last point of the run, in their order: a
// column of one colour needs four points, whatever it holds, and a gap adds
// three per change of colour. Segments are drawn in order and a later one
// paints over an earlier one, which this order keeps too.
//
// Example: a column holding red points at y = 20, 25, 10, 30, 22, then a
// white one at 50 and red ones at 24 and 21. Kept: 20 (first), 10, 30 and 22
// (the red run: lowest, highest, last), 50 (white run of one point), then 24
// and 21 (the last red run: highest and last; its lowest is its last). The
// white stroke from 22 to 50 is painted over from 50 down to 24 by the red
// stroke after it, in the reduced drawing as in the full one.
//
// A column's points are found by binary search on x, and each run's
// extremes come from whole blocks of one colour plus at most 63 single
// points at either end of a block boundary, so a reduction costs about
// (pixel columns) x (a few dozen steps), not the length of the series.
class ChartSeries
{
public:
    // Points are numbered by 32-bit indexes; a series takes at most 2^31.
    static constexpr quint32 kMaxPoints = 0x80000000u;
    // Distinct colours one series can hold.
    static constexpr int kMaxColours = 255;

    ChartSeries();
    ~ChartSeries();
    ChartSeries(ChartSeries &&) noexcept;
    ChartSeries &operator=(ChartSeries &&) noexcept;

    // Appends the point (x, y) drawn in rgb. x is kept as a single-precision
    // number and may not be below the x of the last point (an equal one is
    // fine). Fails, storing nothing, when x or y is not a finite
    // single-precision number, when x goes back, when the series is full or
    // when it would take a 256th distinct colour.
    Result<> Append(double x, double y, ChartRgb rgb);

    // Removes every point (and forgets the colours).
    void Clear();

    quint32 Count() const { return m_count; }
    float X(quint32 i) const { return chunk(i).x[i & kChunkMask]; }
    float Y(quint32 i) const { return chunk(i).y[i & kChunkMask]; }
    ChartRgb Rgb(quint32 i) const { return m_palette[chunk(i).colour[i & kChunkMask]]; }

    // Bytes held for the points, the pyramid and the colour table.
    std::size_t MemoryBytes() const;

    // The indexes, ascending, of the points to draw on the columns
    // x.From()..x.To() so that the picture is the same as that of every
    // point (see above). Includes the last point before the first column and
    // the first point after the last column, when there are any, so that the
    // line enters and leaves the plot area; the caller clips. Replaces the
    // content of `indexes`.
    void VisiblePoints(const AxisScale &x, std::vector<quint32> &indexes) const;

private:
    static constexpr int kChunkShift = 12; // 4096 points
    static constexpr quint32 kChunkSize = 1u << kChunkShift;
    static constexpr quint32 kChunkMask = kChunkSize - 1;
    static constexpr int kBlockShift = 6; // 64 points, or 64 blocks
    static constexpr int kLevels = 4;
    static constexpr quint8 kMixed = 255; // a block of more than one colour

    struct Chunk
    {
        float x[kChunkSize];
        float y[kChunkSize];
        quint8 colour[kChunkSize];
    };

    struct Block
    {
        quint32 lowest;  // index of the point with the smallest y
        quint32 highest; // index of the point with the largest y
        quint8 colour;   // the colour index of all its points, or kMixed
    };

    const Chunk &chunk(quint32 i) const { return *m_chunks[i >> kChunkShift]; }
    quint8 ColourIndex(quint32 i) const { return chunk(i).colour[i & kChunkMask]; }
    // The first index in [from, end) whose column lies beyond `column`
    // (end if none): galloping from `from`, then halving.
    quint32 EndOfColumn(const AxisScale &x, quint32 from, quint32 end, int column) const;
    quint32 FirstAtOrBeyond(const AxisScale &x, quint32 end, int column) const;
    // Adds the runs of points first..last (inclusive) of one column.
    void AddColumnRuns(quint32 first, quint32 last, std::vector<quint32> &indexes) const;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::array<std::vector<Block>, kLevels> m_levels;
    std::vector<ChartRgb> m_palette;
    quint32 m_count = 0;
};

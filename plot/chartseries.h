#pragma once

#include "plot/chartaxis.h"
#include "result/result.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

// A colour as 0xRRGGBB; the chart widget turns it into a QColor.
using ChartRgb = quint32;

// A point to draw, as ChartSeries::VisiblePoints hands it out: with what
// drawing it needs, so that drawing reads nothing more of the series.
struct KeptPoint
{
    double pixel; // on the x scale: AxisScale::Pixel of the point's x
    float y;
    ChartRgb rgb;
    quint32 index; // in the series
};

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
// for every 64 points, the lowest and the highest y with the index of a
// point that has it, and the colour when all 64 share one; each level
// above does the same for four blocks of the level below (256, 1024, ...
// points, up to 16,777,216 at level 10). Four rather than 64 a level: a
// pixel column of a long series holds a thousand points or so, which
// blocks of 64 and 4096 would cover with some twenty blocks of 64, and
// blocks of four-fold sizes with at most three of each size at either end.
// Below level 1, every 64 points keep the same for their four quarters of
// 16, next to the points themselves. An append updates the last block of
// each level. The quarters add 48 bytes per 64 points and the blocks 20
// and a third more above, so a million points take about 10.2 bytes each.
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
// A column's points are found by searching x from where the last column
// ended, and each run's extremes come from whole blocks of one colour, the
// quarters at the block boundaries, and at most 15 single points at either
// end, so a reduction costs about (pixel columns) x (a few dozen steps),
// not the length of the series. The blocks keep the extreme values
// themselves, and the reduction hands out what it has read, so that
// neither it nor the drawing jumps about in the megabytes of points to
// fetch them again.
//
// Reduction again. The chart reduces anew whenever the time axis moves,
// at every reading, and then each column's edge moves by less than a
// point: on 780 columns a move of one second shifts the edge of column k
// by k/780 s, so that half the edges pass over one point and most columns
// hold the same points as before, or one more or one fewer at an end. So
// the series keeps what its last reduction found: per column edge the
// index of the column's first point and the eight points around it, and
// per column its runs. The next reduction on the same columns looks for
// each edge from where it was among the points it kept (no point of the
// series is read when an edge stays or moves by a point or two), and per
// column copies the runs when its points are the same; when a few points
// came or went at its ends it widens the runs by the points that came and
// cuts those that went, which is exact unless a point that went was a
// run's lowest or highest (or the first of equal ones), and then it
// reduces that column as above. Points never change
// once appended, so a column of the same points has the same runs. Where
// the columns hold fewer than 64 points on average, reading them costs
// less than all this, and the reduction keeps nothing.
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
    // Changes with every append and clear: what was drawn from the series
    // before is still good while it stays.
    quint64 Revision() const { return m_revision; }
    float X(quint32 i) const { return group(i).x[i & kGroupMask]; }
    float Y(quint32 i) const { return group(i).y[i & kGroupMask]; }
    ChartRgb Rgb(quint32 i) const { return m_palette[group(i).colour[i & kGroupMask]]; }

    // Bytes held for the points, the pyramid and the colour table.
    std::size_t MemoryBytes() const;

    // The points, by ascending index, to draw on the columns x.From() ..
    // x.To() so that the picture is the same as that of every point (see
    // above). Includes the last point before the first column and the first
    // point after the last column, when there are any, so that the line
    // enters and leaves the plot area; the caller clips. Replaces the
    // content of `kept`. Keeps what it found for the next call (see
    // above), so a series is reduced by one thread at a time.
    void VisiblePoints(const AxisScale &x, std::vector<KeptPoint> &kept) const;

private:
    static constexpr int kChunkShift = 12; // 4096 points
    static constexpr quint32 kChunkSize = 1u << kChunkShift;
    static constexpr quint32 kChunkMask = kChunkSize - 1;
    static constexpr int kGroupShift = 6; // 64 points
    static constexpr quint32 kGroupSize = 1u << kGroupShift;
    static constexpr quint32 kGroupMask = kGroupSize - 1;
    static constexpr int kQuarterShift = 4; // 16 points
    static constexpr quint32 kQuarterMask = (1u << kQuarterShift) - 1;
    // Blocks of 64 points, then of four blocks each: 256, 1024, ...
    // 16,777,216 points.
    static constexpr int kLevels = 10;
    static constexpr int LevelShift(int level) { return kGroupShift + 2 * level; }
    static constexpr quint8 kMixed = 255; // a block of more than one colour

    // The extremes of 16 points, as offsets from the quarter's first point.
    struct Quarter
    {
        float low;
        float high;
        quint8 lowest;
        quint8 highest;
        quint8 colour; // of all 16, or kMixed
    };
    // The points of one level-1 block side by side with their quarters
    // (624 bytes), so that what a reduction reads at the edge of a pixel
    // column lies in one page of memory rather than in arrays a page or more
    // apart: on a long series, reaching a new page costs more than reading
    // it.
    struct Group
    {
        float x[kGroupSize];
        float y[kGroupSize];
        quint8 colour[kGroupSize];
        Quarter quarters[kGroupSize >> kQuarterShift];
    };
    struct Chunk
    {
        Group groups[kChunkSize / kGroupSize];
    };

    struct Block
    {
        float low;       // the smallest y
        float high;      // the largest y
        quint32 lowest;  // the index of a point with the smallest y
        quint32 highest; // the index of a point with the largest y
        quint8 colour;   // the colour index of all its points, or kMixed
    };
    struct Run;
    // A run of one colour in a column as a reduction found it: its lowest,
    // highest and last point.
    struct KeptRun
    {
        float low;
        float high;
        float lastY;
        quint32 lowest;
        quint32 highest;
        quint32 last;
        quint8 colour;
    };
    // Where a column begins: the index of its first point (of the first
    // point beyond, when it has none), and the points around it, so that
    // an edge that moves by a point or two, and the columns on either side,
    // read nothing of the series: on a long series each edge lies on
    // another page of memory, and fetching it costs more than its work.
    static constexpr quint32 kNear = 8;
    struct Edge
    {
        quint32 index;
        quint32 base;  // the points base .. base + known - 1 are kept
        quint32 known; // up to kNear, from 3 before the index on
        std::array<float, kNear> x;
        std::array<float, kNear> y;
        std::array<quint8, kNear> colour;
    };
    // What a reduction found on the columns from .. to, for the next: the
    // edges (moved in place by the next), and per column where its runs
    // begin (then the end), with the runs; with those of the reduction
    // before while the next is made.
    struct Reduction
    {
        bool valid = false;
        int from = 0;
        int to = -1;
        quint32 count = 0;        // points of the series then
        std::vector<Edge> edges;  // to - from + 2: the last ends column `to`
        std::vector<quint32> was; // the edges' indexes before they moved
        std::vector<quint32> columns;
        std::vector<KeptRun> runs;
        std::vector<quint32> lastColumns;
        std::vector<KeptRun> lastRuns;
    };
    // Points a column's end may gain or lose and still be edited rather
    // than reduced anew; and the fewest points a column holds to be edited
    // (fewer are read as fast as their runs are copied).
    static constexpr quint32 kEditLimit = 64;

    // Widens the extremes of a block or quarter by one more point.
    template <typename Extremes, typename Index>
    static void TakeInto(Extremes &e, float y, Index index, quint8 colour);

    const Group &group(quint32 i) const
    {
        return m_chunks[i >> kChunkShift]->groups[(i & kChunkMask) >> kGroupShift];
    }
    quint8 ColourIndex(quint32 i) const { return group(i).colour[i & kGroupMask]; }
    // Asks the processor to fetch what a column edge at point i needs.
    void Prefetch(quint32 i) const
    {
        const char *g = reinterpret_cast<const char *>(&group(i));
        for (std::size_t line = 0; line < sizeof(Group); line += 64)
            __builtin_prefetch(g + line);
    }
    // The first index at or after `floor` whose column is `column` or
    // beyond (Count() if none), every index before `floor` lying before
    // the column; looked for from `start`, outwards in doubling steps,
    // with the x of point i as xOf(i) gives it.
    template <typename XOf>
    quint32 EdgeNear(const AxisScale &x, int column, quint32 floor, quint32 start, XOf xOf) const;
    // Point i as edge e keeps it, else as the series holds it.
    float NearX(const Edge &e, quint32 i) const
    {
        return i - e.base < e.known ? e.x[i - e.base] : X(i);
    }
    float NearY(const Edge &e, quint32 i) const
    {
        return i - e.base < e.known ? e.y[i - e.base] : Y(i);
    }
    quint8 NearColour(const Edge &e, quint32 i) const
    {
        return i - e.base < e.known ? e.colour[i - e.base] : ColourIndex(i);
    }
    // An edge at `index` with the points around it read from the series;
    // the same, keeping those of `near` when they are still around it.
    Edge EdgeAt(quint32 index) const;
    void MoveEdge(Edge &e, quint32 index) const;
    // The edges of every column, found by walking the series from the
    // first point of the first column, or from those of the last reduction.
    void FindEdges(const AxisScale &x, quint32 begin, Reduction &r) const;
    void MoveEdges(const AxisScale &x, Reduction &r) const;
    // The runs of column k (points first .. end - 1; the first is kept
    // apart) into r: reduced, or edited from the last reduction's, false
    // when that cannot be done exactly.
    void ReduceColumn(quint32 first, quint32 end, Reduction &r) const;
    bool EditColumn(Reduction &r, std::size_t k, quint32 first, quint32 end) const;
    // Adds the runs of points first..last (inclusive) of one column.
    void AddColumnRuns(quint32 first, quint32 last, std::vector<KeptRun> &runs) const;
    // Takes the points from..to - 1, all in one quarter, into the runs.
    void ScanPoints(quint32 from, quint32 to, Run &run, std::vector<KeptRun> &runs) const;
    // Ends the run, adding it to the runs.
    void FlushRun(Run &run, std::vector<KeptRun> &runs) const;
    // Hands out the points of the columns of begin .. end - 1 reduced one
    // by one, keeping nothing.
    void KeepEvery(const AxisScale &x, quint32 begin, quint32 end,
                   std::vector<KeptPoint> &kept) const;
    // Hands out the points of r; of runs kept in a column.
    void Keep(const AxisScale &x, const Reduction &r, std::vector<KeptPoint> &kept) const;
    void KeepRuns(const KeptRun *run, const KeptRun *end, double column,
                  std::vector<KeptPoint> &kept) const;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::array<std::vector<Block>, kLevels> m_levels;
    std::vector<ChartRgb> m_palette;
    quint32 m_count = 0;
    quint64 m_revision = 0;
    // What the last reduction found.
    mutable Reduction m_reduction;
};

#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>

#include <cmath>

#include <vector>

// Where an axis value lands on a line of pixels, which values an axis
// labels, and how a line is cut to an area: plain arithmetic, shared by the
// chart's painting, its per-column reduction and the tests.

// Maps axis values onto whole pixels: `min` lands on pixel `from` and `max`
// on pixel `to`. A vertical axis, whose values grow upwards, runs from the
// bottom row to the top row, so `from` may lie above `to`.
//
// Every value is snapped to the nearest whole pixel. The chart draws its
// lines between snapped points, so all points of one pixel column are drawn
// as vertical strokes in that column; that is what makes drawing only the
// first, last, lowest and highest point of a column exact (see
// ChartSeries::VisiblePoints). Snapping keeps the order of the values: a
// larger value never lands on a smaller pixel of an increasing axis.
//
// An axis whose maximum is not above its minimum (0..0 when the first point
// of a chart comes at minute 0) has no width: its minimum lands on `from`,
// smaller values before it and larger ones far beyond `to`. A line of one
// pixel (from == to) is taken as two pixels long.
class AxisScale
{
public:
    AxisScale(double min, double max, int from, int to);

    // The pixel of a value, a whole number; it may lie far outside from..to
    // (up to the range of a double), so callers clip before drawing.
    double Pixel(double value) const
    {
        return m_from + std::floor((value - m_min) * m_pixelsPerUnit + 0.5);
    }

    // For an increasing axis (from < to): the pixel column of a value, held
    // to one column beyond either end (from - 1 .. to + 1), which is all a
    // column walk needs to know of the points outside.
    int Column(double value) const
    {
        const double pixel = Pixel(value);
        if (pixel < m_from)
            return m_from - 1;
        if (pixel > m_to)
            return m_to + 1;
        return static_cast<int>(pixel);
    }

    int From() const { return m_from; }
    int To() const { return m_to; }

private:
    double m_min;
    double m_pixelsPerUnit;
    int m_from;
    int m_to;
};

// The labelled values of an axis from min to max drawn over `pixels`
// pixels: multiples of a step of 1, 2 or 5 times a power of ten, the
// smallest such step that leaves at least `spacing` pixels from one label to
// the next. 0..25 over 300 pixels with labels at least 30 apart gives the
// step 5 (0, 5, ..., 25: 60 pixels apart; the step 2 would put them 24
// apart). An axis without width (max <= min) is labelled at its minimum
// only.
struct AxisTicks
{
    double step = 0;
    int decimals = 0;           // digits after the point that the step needs
    std::vector<double> values; // ascending, within min..max
};

AxisTicks ChooseAxisTicks(double min, double max, double pixels, double spacing);

// A tick value as its label: `decimals` digits after the point, and no
// "-0" for a value that rounds to zero.
QString AxisTickLabel(double value, int decimals);

// Cuts the segment from a to b to the rectangle r (Liang-Barsky), moving
// the ends that lie outside onto its edge; false when nothing of the
// segment lies inside.
bool ClipSegment(QPointF &a, QPointF &b, const QRectF &r);

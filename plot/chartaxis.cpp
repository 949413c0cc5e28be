#include "plot/chartaxis.h"

#include <algorithm>
#include <cmath>

AxisScale::AxisScale(double min, double max, int from, int to)
    : m_min(min), m_from(from), m_to(to == from ? from + 1 : to)
{
    // An axis without width still needs a slope: make it so steep that any
    // value above the minimum lands beyond the far end.
    double span = max - min;
    if (!(span > 0))
        span = std::max(std::abs(min), 1.0) * 1e-9;
    m_pixelsPerUnit = (m_to - m_from) / span;
}

namespace {

// The fewest digits after the point (up to 6) that write v exactly enough.
int DecimalsOf(double v)
{
    for (int d = 0; d < 6; ++d) {
        const double scale = std::pow(10.0, d);
        if (std::abs(std::round(v * scale) / scale - v) <= 1e-9 * std::max(1.0, std::abs(v)))
            return d;
    }
    return 6;
}

} // namespace

AxisTicks ChooseAxisTicks(double min, double max, double pixels, double spacing)
{
    AxisTicks ticks;
    if (!(max > min) || !(pixels > 0) || !std::isfinite(max - min)) {
        ticks.decimals = DecimalsOf(min);
        ticks.values.push_back(min);
        return ticks;
    }
    // The step that puts labels exactly `spacing` apart, rounded up to 1, 2
    // or 5 times a power of ten.
    const double least = std::max(spacing, 1.0) * (max - min) / pixels;
    int exponent = static_cast<int>(std::floor(std::log10(least)));
    double mantissa = 10;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * std::pow(10.0, exponent) >= least * (1 - 1e-9)) {
            mantissa = m;
            break;
        }
    }
    if (mantissa == 10) {
        mantissa = 1;
        ++exponent;
    }
    ticks.step = mantissa * std::pow(10.0, exponent);
    ticks.decimals = std::max(0, -exponent);
    const double first = std::ceil(min / ticks.step - 1e-9);
    const double last = std::floor(max / ticks.step + 1e-9);
    for (double k = first; k <= last; ++k)
        ticks.values.push_back(k * ticks.step);
    return ticks;
}

QString AxisTickLabel(double value, int decimals)
{
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // not "-0.0"
    return QString::number(value, 'f', decimals);
}

bool ClipSegment(QPointF &a, QPointF &b, const QRectF &r)
{
    if (r.contains(a) && r.contains(b))
        return true;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    double t0 = 0, t1 = 1;
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    const QPointF start = a;
    a = start + t0 * QPointF(dx, dy);
    b = start + t1 * QPointF(dx, dy);
    return true;
}

#pragma once

#include "modules/moduletable.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>

// The arithmetic of the Temperature Plotting page (TPlot_F), apart from any
// widget: which chart shows which module, where a reading lands on the time
// axis, what a reading text plots as, how the temperature axis follows the
// readings, and what the page's OK does with the four axis limits.

// --- time ----------------------------------------------------------------

// The system's millisecond tick counter, 32 bits wide: it wraps to 0 after
// 2^32 ms, about 49.7 days. The plot page reads the time through one of
// these, so that a test can move it.
using TickClock = std::function<quint32()>;

// The monotonic clock's milliseconds, truncated to 32 bits.
quint32 SystemTickCount();

// Minutes from start to now on the tick counter, in whole seconds: the
// difference is taken modulo 2^32, so a wrap between the two still gives the
// true elapsed time, then cut to whole seconds and divided by 60 in single
// precision. start 0xFFFFF000 and now 0x00001000 lie 8192 ms apart across
// the wrap: 8 s, 0.1333 minutes. Exact to the second for 2^32 ms.
float ElapsedMinutes(quint32 start, quint32 now);

// --- charts --------------------------------------------------------------

inline constexpr int kPlotChartCount = 8;

// For module numbers 0..64, the chart (1..8) that shows the module, or 0.
// Entries 0 and 64 stay 0.
using ChartOfModule = std::array<int, kModuleCount + 2>;

// The charts of the checked modules, given in the order of their list
// items: the first checked item gets chart 1, the next chart 2, and so on.
// Checking modules 5, 2 and 9 in a list that holds them in ascending order
// hands them over as 2, 5, 9, so module 2 gets chart 1, 5 chart 2 and 9
// chart 3. Numbers outside 1..63 and a second mention of a module take no
// chart; beyond the eighth chart the rest take none.
ChartOfModule ChartsOfModules(const QList<int> &checkedInListOrder);

// The module number of a list item "Module %i", read after its first seven
// characters; 0 when the rest is not a number of 1..63.
int ModuleOfItemText(const QString &text);

// The list item of module m: "Module %i".
QString ModuleItemText(int m);

// --- readings --------------------------------------------------------------

// What one reading text puts on a chart. Texts are compared exactly, case
// included:
//   "Op"    -> a point at 220     "Sh"    -> a point at 230
//   "ERROR" -> a point at 240     "----"  -> a gap: no point, and the next
//                                            point of that input is not joined
//   a number as the metering writes it (one decimal, the decimal point of
//   the user's locale, or '.') -> a point at that number
//   anything else, the empty text included (the unit was neither Celsius
//   nor Fahrenheit) -> nothing at all: no point, no gap
// A number beyond single precision (which the chart cannot hold) counts as
// anything else.
struct PlotValue
{
    enum class Kind
    {
        Point,
        Gap,
        Nothing
    };
    Kind kind = Kind::Nothing;
    double y = 0;
};

PlotValue PlotValueOf(const QString &text);

// --- the temperature axis ----------------------------------------------------

struct AxisLimits
{
    double min = 0;
    double max = 0;
    bool operator==(const AxisLimits &) const = default;
};

// The left axis after a reading y with auto-scaling on. The axis widens only
// when y comes within 5 of a limit, and then to a multiple of 5 beyond y:
//   y + 5 > max: max = the next multiple of 5 above ceil(y) (strictly above:
//                a y of 25.0 gives 30, not 25);
//   y - 5 < min: min = the next multiple of 5 below floor(y) (strictly
//                below, with signed multiples: -3.2 gives -5, -5.0 gives -10).
// From the reset axis 0..5: 23.4 gives 0..25, then 25.0 gives 0..30, 21.0
// leaves 0..25 as it is, and -3.2 gives -5..25. The axis never narrows.
AxisLimits AutoScaleAxis(AxisLimits left, double y);

// The limits that the temperature spin edits take after auto-scaling: the
// axis limits, each truncated towards zero to a whole number.
AxisLimits SpinLimitsOf(AxisLimits left);

// --- the axis panel's OK ---------------------------------------------------

// The four spin edit values when OK is pressed, and what OK does with them:
// - a time minimum above the time maximum raises the maximum to minimum + 1
//   (time 10 and 4 give 10..11), which the time spin edit then shows;
// - the temperature pair applies only when its minimum is not above its
//   maximum (a reversed pair is left unapplied, silently);
// - the time pair applies when its minimum is not above its maximum, which
//   after the correction is always so for numbers.
struct AxisRequest
{
    double tempMin = 0;
    double tempMax = 0;
    double timeMin = 0;
    double timeMax = 0;
};

struct AxisAdjustment
{
    double timeMax = 0; // the time maximum, raised where needed
    bool timeMaxRaised = false;
    bool applyTemperature = false;
    bool applyTime = false;
};

AxisAdjustment AdjustAxes(const AxisRequest &request);

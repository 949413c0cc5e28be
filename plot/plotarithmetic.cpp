#include "plot/plotarithmetic.h"

#include <QLocale>

#include <chrono>
#include <cmath>
#include <limits>

quint32 SystemTickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<quint32>(static_cast<quint64>(ms.count()));
}

float ElapsedMinutes(quint32 start, quint32 now)
{
    // Unsigned subtraction is taken modulo 2^32.
    const quint32 elapsed = now - start;
    const quint32 seconds = elapsed / 1000;
    return static_cast<float>(seconds) / 60.0f;
}

ChartOfModule ChartsOfModules(const QList<int> &checkedInListOrder)
{
    ChartOfModule charts{};
    int n = 1;
    for (const int m : checkedInListOrder) {
        if (n > kPlotChartCount)
            break;
        if (m < 1 || m > kModuleCount || charts[size_t(m)] != 0)
            continue;
        charts[size_t(m)] = n++;
    }
    return charts;
}

namespace {

const QString kItemPrefix = QStringLiteral("Module ");

} // namespace

int ModuleOfItemText(const QString &text)
{
    if (text.size() <= kItemPrefix.size())
        return 0;
    bool ok = false;
    const int m = QStringView(text).mid(kItemPrefix.size()).toInt(&ok);
    return ok && m >= 1 && m <= kModuleCount ? m : 0;
}

QString ModuleItemText(int m)
{
    return kItemPrefix + QString::number(m);
}

PlotValue PlotValueOf(const QString &text)
{
    using Kind = PlotValue::Kind;
    if (text == QLatin1String("Op"))
        return {Kind::Point, 220};
    if (text == QLatin1String("Sh"))
        return {Kind::Point, 230};
    if (text == QLatin1String("ERROR"))
        return {Kind::Point, 240};
    if (text == QLatin1String("----"))
        return {Kind::Gap, 0};

    // The metering writes the number with the locale's decimal point and no
    // group separator; read it back the same way, and take '.' as well.
    QString number = text;
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        number.replace(point, QLatin1String("."));
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double y = c.toDouble(number, &ok);
    // "nan" and "inf" read as numbers, and the chart holds single precision.
    if (!ok || !std::isfinite(y) || std::fabs(y) > std::numeric_limits<float>::max())
        return {};
    return {Kind::Point, y};
}

AxisLimits AutoScaleAxis(AxisLimits left, double y)
{
    // Worked in doubles, not by counting up one by one: the multiples of 5
    // strictly beyond ceil(y) and floor(y).
    if (y + 5 > left.max)
        left.max = std::floor(std::ceil(y) / 5) * 5 + 5;
    if (y - 5 < left.min)
        left.min = std::ceil(std::floor(y) / 5) * 5 - 5;
    return left;
}

AxisLimits SpinLimitsOf(AxisLimits left)
{
    return {std::trunc(left.min), std::trunc(left.max)};
}

AxisAdjustment AdjustAxes(const AxisRequest &request)
{
    AxisAdjustment result;
    result.timeMax = request.timeMax;
    if (request.timeMin > request.timeMax) {
        result.timeMax = request.timeMin + 1;
        result.timeMaxRaised = true;
    }
    result.applyTemperature = !(request.tempMin > request.tempMax);
    result.applyTime = !(request.timeMin > result.timeMax);
    return result;
}

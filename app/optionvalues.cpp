#include "app/optionvalues.h"

#include "metering/meteringcycle.h"
#include "widgets/spineditvalue.h"

#include <climits>
#include <cmath>

QStringList TemperatureUnits()
{
    return {QStringLiteral("Celsius"), QStringLiteral("Fahrenheit")};
}

int TemperatureItem(const QString &Temperature)
{
    return int(TemperatureUnits().indexOf(Temperature));
}

PeriodSpin PeriodSpinFor(int Period, int activeModules)
{
    return {.min = 2.0 * activeModules,
            .value = double(MeteringCycle::PreparedPeriod(Period, activeModules))};
}

int StoredPeriod(double value)
{
    // The spin edit never holds NaN; should it, no period is better than UB.
    if (std::isnan(value))
        return 0;
    const double whole = std::trunc(value);
    if (whole >= double(INT_MAX))
        return INT_MAX;
    if (whole <= double(INT_MIN))
        return INT_MIN;
    return int(whole);
}

bool TypedPeriodStands(QStringView text, double min, double max)
{
    const Result<float> typed = SpinEditValue::ScanSingle(text);
    return typed && *typed >= min && *typed <= max;
}

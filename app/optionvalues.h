#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The values of "Temperature Display" and "Period Selection", apart from
// their dialogs.

// The items of the temperature dialog, in order.
QStringList TemperatureUnits();

// The item chosen when the dialog opens on Temperature: 0 for "Celsius", 1
// for "Fahrenheit" (exactly so written), -1 (none) for any other text. OK on
// no item stores an empty unit.
int TemperatureItem(const QString &Temperature);

// The period dialog's spin edit, for n active modules: Min is 2n, so that
// at least n + 1 idle ticks follow the reads of a period (as metering raises
// Period too, MeteringCycle::PreparedPeriod); Value is Period, raised to 2n
// when below. Five active modules and Period 63 give 63 with Min 10; Period
// 4 gives 10. Max is 9999, the step 1.
struct PeriodSpin
{
    static constexpr double kMax = 9999;
    static constexpr double kIncrement = 1;
    double min = 0;
    double value = 0;
};
PeriodSpin PeriodSpinFor(int Period, int activeModules);

// The Period that OK stores for the spin edit's value: its fraction cut off
// toward zero (100.9 gives 100), kept within the range of int.
int StoredPeriod(double value);

// Whether text typed into the spin edit stands as typed: it begins with a
// number (as the spin edit reads it) between min and max. Enter on such text
// is taken and confirms the dialog; text that is no number or lies outside
// the limits is corrected by the spin edit, and the dialog stays open so
// that the user sees what OK would store.
bool TypedPeriodStands(QStringView text, double min, double max);

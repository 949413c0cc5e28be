#include "modules/readingconversion.h"

#include "modules/moduletable.h"

#include <QLocale>

#include <cmath>

QString InputTypeText(int code)
{
    switch (code) {
    case kNotUsed:
        return QStringLiteral("-----");
    case kPt100:
        return QStringLiteral("Pt100");
    case kNi100:
        return QStringLiteral("Ni100");
    case kNi120:
        return QStringLiteral("Ni120");
    case kCu10:
        return QStringLiteral("Cu10");
    case k4to20mA:
        return QStringLiteral("4-20 mA");
    default:
        return QStringLiteral("Error");
    }
}

namespace {

QString formatFixed(double value, int decimals)
{
    // Round first, so that a value such as -0.04 does not come out as "-0.0".
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // drops the sign of a negative zero
    QString text = QString::number(rounded, 'f', decimals);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

} // namespace

QString FormatOneDecimal(double value)
{
    return formatFixed(value, 1);
}

QString FormatTwoDecimals(double value)
{
    return formatFixed(value, 2);
}

ModuleReadings ConvertReadings(bool readOk, const std::array<uint16_t, 8> &raw,
                               const std::array<int, 8> &types, const QString &unit)
{
    ModuleReadings result;
    for (int i = 0; i < 8; ++i) {
        QString &text = result.text[i];
        if (!readOk || types[i] == kNotUsed) {
            text = QStringLiteral("----");
            continue;
        }
        // The reading registers are signed: 65535 is -1, i.e. -0.1.
        const int value = static_cast<int16_t>(raw[i]);
        const float v = static_cast<float>(value) / 10.0f;
        if (value == kRawNotConfigured) {
            text = QStringLiteral("----");
            result.resend = true;
        } else if (value == kRawSensorOpen) {
            text = QStringLiteral("Op");
        } else if (value == kRawSensorShorted) {
            text = QStringLiteral("Sh");
        } else if (types[i] == k4to20mA) {
            if (value < kLoopRawMin || value > kLoopRawMax) {
                text = QStringLiteral("ERROR");
                result.resend = true;
            } else {
                text = FormatOneDecimal(v);
            }
        } else if (value < kRtdRawMin || value > kRtdRawMax) {
            text = QStringLiteral("ERROR");
            result.resend = true;
        } else if (unit == QLatin1String("Celsius")) {
            text = FormatOneDecimal(v);
        } else if (unit == QLatin1String("Fahrenheit")) {
            const float fahrenheit = v * 9.0f / 5.0f + 32.0f;
            text = FormatOneDecimal(fahrenheit);
        } else {
            text.clear();
        }
    }
    return result;
}

QString DeviceTypeText(int value)
{
    return value == 202 ? QStringLiteral("TAV RTD") : QStringLiteral("UNKNOWN");
}

QString FirmwareText(uint16_t value)
{
    return FormatTwoDecimals(value * 0.01);
}

QString NotchFrequencyText(int value)
{
    switch (value) {
    case 10:
    case 50:
    case 60:
        return QStringLiteral("%1 Hz").arg(value);
    default:
        return QStringLiteral("UNKNOWN");
    }
}

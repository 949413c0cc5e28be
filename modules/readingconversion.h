#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Turns what a module answers into the texts the user sees. The same eight
// texts go to the Metering grid, the plot page and the datalog; nothing else
// keeps the raw values.

// Grid text of an input type code: "-----", "Pt100", "Ni100", "Ni120",
// "Cu10", "4-20 mA", and "Error" for any other code.
QString InputTypeText(int code);

// Special raw register values of a reading.
inline constexpr int kRawNotConfigured = 20000;
inline constexpr int kRawSensorOpen = 21000;
inline constexpr int kRawSensorShorted = 22000;

// Readings are tenths of a degree Celsius for RTD inputs (valid -50.9 to
// 209.9) and tenths of a milliampere for 4-20 mA inputs (valid 2.0 to 22.0).
inline constexpr int kRtdRawMin = -509;
inline constexpr int kRtdRawMax = 2099;
inline constexpr int kLoopRawMin = 20;
inline constexpr int kLoopRawMax = 220;

// Eight reading texts, input k at [k - 1].
using ReadingTexts = std::array<QString, 8>;

struct ModuleReadings
{
    ReadingTexts text;
    // Set when a reading says the module lost its configuration or reads out
    // of range: the caller sends the whole configuration again.
    bool resend = false;
};

// Converts the outcome of one read of registers 16..23. raw[k - 1] is the
// register of input k as received (it is read as signed), types[k - 1] its
// input type code, unit the temperature unit preference ("Celsius",
// "Fahrenheit"; any other text leaves in-range RTD readings empty).
ModuleReadings ConvertReadings(bool readOk, const std::array<uint16_t, 8> &raw,
                               const std::array<int, 8> &types, const QString &unit);

// A number with exactly one decimal, at least one integer digit, rounded to
// the nearest tenth, with the decimal separator of the user's locale.
// A value that rounds to zero is written without a minus sign.
QString FormatOneDecimal(double value);

// The same with two decimals (firmware versions).
QString FormatTwoDecimals(double value);

// Device information texts of the Miscellaneous Info page.
QString DeviceTypeText(int value);     // 202 -> "TAV RTD", else "UNKNOWN"
QString FirmwareText(uint16_t value);  // 311 -> 3.11 (unsigned register)
QString NotchFrequencyText(int value); // 10/50/60 -> "10 Hz"..., else "UNKNOWN"

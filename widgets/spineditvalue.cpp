#include "widgets/spineditvalue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// printf's precision for "%.*f" stops mattering here: the exact decimal
// expansion of any double ends within 1074 digits after the point (its
// smallest step is 2^-1074) and has at most 767 significant digits, so a
// larger precision would only append zeros. Capping it keeps a careless
// Precision from asking for gigabytes of text.
constexpr int kMaxPrecision = 1074;
// printf's precision when the one given is negative.
constexpr int kDefaultPrecision = 6;
// A number needs at most 309 digits before the point, and the sign, the point
// and the exponent ("e+308") take a few more characters.
constexpr int kNumberOverhead = 320;
// An exponent beyond this is as good as infinite for a float; saturating here
// keeps its digits from overflowing an int.
constexpr int kExponentCap = 1000000;

// C's isspace in the "C" locale.
bool IsCSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool IsDigit(QStringView text, qsizetype i)
{
    return i < text.size() && text[i].unicode() >= u'0' && text[i].unicode() <= u'9';
}

int DigitAt(QStringView text, qsizetype i)
{
    return text[i].unicode() - u'0';
}

Failure NoNumber()
{
    return Fail(QStringLiteral("The text does not begin with a number."));
}

std::chars_format FormatOf(display_type_e type)
{
    switch (type) {
    case display_type_e::EXPONENT:
        return std::chars_format::scientific;
    case display_type_e::AUTO:
        return std::chars_format::general;
    case display_type_e::FLOAT:
        break;
    }
    return std::chars_format::fixed;
}

} // namespace

void SpinEditValue::SetValue(double value)
{
    Settle(value);
}

void SpinEditValue::SetIncrement(double increment)
{
    if (!std::isnan(increment))
        m_increment = increment;
}

void SpinEditValue::SetMin(double min)
{
    if (!std::isnan(min))
        m_min = min;
}

void SpinEditValue::SetMax(double max)
{
    if (!std::isnan(max))
        m_max = max;
}

void SpinEditValue::Settle(double candidate)
{
    if (!std::isnan(candidate))
        m_value = candidate;
}

QString SpinEditValue::Text() const
{
    const int precision =
        m_precision < 0 ? kDefaultPrecision : std::min(m_precision, kMaxPrecision);
    // to_chars writes as printf does in the "C" locale, whatever the
    // process's locale is (Qt sets the user's at start-up).
    std::string buffer(std::size_t(precision + kNumberOverhead), '\0');
    const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                       m_value, FormatOf(m_displayType), precision);
    if (written.ec != std::errc())
        return m_units; // cannot happen: the buffer holds the longest form
    return QString::fromLatin1(buffer.data(), written.ptr - buffer.data()) + m_units;
}

bool SpinEditValue::ReadText(QStringView text)
{
    const Result<float> read = ScanSingle(text);
    if (!read)
        return false;
    const double r = *read;
    double taken = m_max;
    if (r >= m_min && r <= m_max)
        taken = r;
    else if (r < m_min)
        taken = m_min;
    // Beyond the float range the number reads as infinity; only a finite
    // limit makes a value of it.
    if (!std::isfinite(taken))
        return false;
    m_value = taken;
    return true;
}

bool SpinEditValue::Commit(QStringView text)
{
    const double before = m_value;
    if (!ReadText(text))
        return false;
    // A number read from text is a float, so the old value counts as a float
    // too; a value clamped to a limit that is no float is compared exactly.
    return m_value != before && m_value != double(ToSingle(before));
}

void SpinEditValue::StepUp()
{
    const double next = m_value + m_increment;
    if (next > m_max)
        Settle(m_wrap ? m_min : m_max);
    else
        Settle(next);
}

void SpinEditValue::StepDown()
{
    const double next = m_value - m_increment;
    if (next >= m_min)
        Settle(next);
    else
        Settle(m_wrap ? m_max : m_min);
}

Result<float> SpinEditValue::ScanSingle(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;

    // The number's characters, all ASCII, for from_chars, which takes no '+'.
    std::string number;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        if (negative)
            number += '-';
        ++i;
    }

    // Where the first non-zero digit stands, as a power of ten: 1 for the
    // units digit, 2 for tens, 0 for tenths, -1 for hundredths... (before the
    // exponent). It tells an overflow from an underflow below.
    int magnitude = 0;
    bool significant = false;
    qsizetype digits = 0;
    qsizetype integerDigits = 0;
    while (IsDigit(text, i)) {
        if (significant || DigitAt(text, i) != 0) {
            significant = true;
            ++integerDigits;
        }
        number += char(text[i].unicode());
        ++i;
        ++digits;
    }
    if (significant)
        magnitude = int(std::min<qsizetype>(integerDigits, kExponentCap));
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        ++i;
        int place = 0;
        while (IsDigit(text, i)) {
            if (place > -kExponentCap)
                --place;
            if (!significant && DigitAt(text, i) != 0) {
                significant = true;
                magnitude = place + 1;
            }
            number += char(text[i].unicode());
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return NoNumber();

    // An exponent counts only with at least one digit: "5e" and "5e+" read 5.
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
            negativeExponent = text[j] == u'-';
            ++j;
        }
        if (IsDigit(text, j)) {
            number += 'e';
            if (negativeExponent)
                number += '-';
            int exponent = 0;
            while (IsDigit(text, j)) {
                exponent = std::min(exponent * 10 + DigitAt(text, j), kExponentCap);
                number += char(text[j].unicode());
                ++j;
            }
            magnitude += negativeExponent ? -exponent : exponent;
        }
    }

    float result = 0;
    const std::from_chars_result read = std::from_chars(
        number.data(), number.data() + number.size(), result, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        // Too large or too small for a float: C gives infinity or zero.
        result = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
        if (negative)
            result = -result;
    } else if (read.ec != std::errc()) {
        return NoNumber();
    }
    return result;
}

float SpinEditValue::ToSingle(double value)
{
    constexpr float kMaxSingle = std::numeric_limits<float>::max();
    // Halfway between the largest float and 2^128: from here on, rounding to
    // nearest (ties to even) gives infinity.
    constexpr double kRoundsToInfinity = 0x1.ffffffp127;
    if (std::isnan(value))
        return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(value) > double(kMaxSingle)) {
        const float far = std::fabs(value) >= kRoundsToInfinity
                              ? std::numeric_limits<float>::infinity()
                              : kMaxSingle;
        return value < 0 ? -far : far;
    }
    return static_cast<float>(value);
}

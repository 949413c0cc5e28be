#pragma once

#include "result/result.h"

#include <QObject>
#include <QString>
#include <QStringView>

// The arithmetic of the spin edit TQMSpinEdit, apart from any widget: its
// number, unit, limits and step, the text it shows, reading typed text back,
// and the arrow steps. The widget keeps one of these and only shows and asks.
//
// The text is the number printed as C's printf would with "%.*f%s",
// "%.*e%s" or "%.*g%s" (FLOAT, EXPONENT, AUTO), given Precision, the value
// and Units, always with '.' as decimal point whatever the user's locale:
// Precision 1 and 23.44 give "23.4"; AUTO with Precision 3 gives "23.4" too;
// EXPONENT with Precision 2 gives "2.34e+01"; Units " s", Precision 0 and 63
// give "63 s". A negative Precision counts as 6, as it does for printf.
//
// Reading text (ReadText) takes one number from the start of the text as C's
// scanf "%f" does into a float: white space skipped (' ', \t, \n, \v, \f,
// \r), an optional sign, decimal digits with '.' as decimal point and an
// optional exponent ("e" or "E", optional sign, digits); the first character
// that does not fit ends the number and the rest is ignored, so "12.5 s"
// reads 12.5, "12,5" reads 12 and "5e" reads 5. The number is rounded once,
// to the nearest single-precision float: typing 0.1 stores 0.100000001490116.
// It is then clamped to [Min, Max], never wrapped: with Min 63, "12" stores
// 63. Text that does not begin with a number leaves the value as it was.
//
// Hostile text never makes the value NaN or infinite:
// - "inf", "infinity" and "nan" are words, not numbers: the value stays;
// - hexadecimal forms are not read as such: "0x1A" reads 0 and stops at 'x';
// - a number beyond the float range ("1e39", "1e99999999999") reads as
//   +/- infinity, as C's does, and so is clamped to Max or Min; should that
//   limit itself be infinite, the value stays as it was;
// - a number too small for a float ("1e-50") reads as 0, with its sign;
// - digits outside ASCII, a NUL character, ',' and any other character end
//   the number where they stand; the length of the text does not matter.
// The user's locale plays no part, neither in writing nor in reading.
//
// The limits are those of the last read or step: setting Min, Max or Value
// stores the number only, so a value the program sets is kept (and shown)
// even outside the limits. A NaN given to any of the four numbers is ignored:
// the field keeps what it had. A step is
//   up:   value + increment > max ? (wrap ? min : max) : value + increment
//   down: value - increment >= min ? value - increment : (wrap ? max : min)
// so with Min 0, Max 10, Increment 3 and wrapping, 9 steps up to 0 and 0
// steps down to 10; without wrapping the value stops at the limit.
class SpinEditValue
{
    Q_GADGET

public:
    enum class display_type_e
    {
        FLOAT = 0,
        EXPONENT = 1,
        AUTO = 2
    };
    Q_ENUM(display_type_e)

    double Value() const { return m_value; }
    void SetValue(double value);
    QString Units() const { return m_units; }
    void SetUnits(const QString &units) { m_units = units; }
    double Increment() const { return m_increment; }
    void SetIncrement(double increment);
    int Precision() const { return m_precision; }
    void SetPrecision(int precision) { m_precision = precision; }
    display_type_e DisplayType() const { return m_displayType; }
    void SetDisplayType(display_type_e type) { m_displayType = type; }
    double Min() const { return m_min; }
    void SetMin(double min);
    double Max() const { return m_max; }
    void SetMax(double max);
    bool WrapValue() const { return m_wrap; }
    void SetWrapValue(bool wrap) { m_wrap = wrap; }

    // The text of the value in the current format, unit included.
    QString Text() const;

    // Reads text as described above into the value; true when a number was
    // taken, false when the value stayed as it was.
    bool ReadText(QStringView text);

    // What Enter and leaving the text box do with the text: ReadText, and
    // true when the value now differs from the old value rounded to single
    // precision. That rounding makes pressing Enter on the text of a number
    // typed earlier no change. A value that did not move at all is no change
    // either: text without a number, or a number clamped to the limit the
    // value already had, even when that limit is no float.
    bool Commit(QStringView text);

    // One arrow step, without reading any text first.
    void StepUp();
    void StepDown();

    // The number at the start of text, read as described above and rounded to
    // a float; +/- infinity beyond the float range, never NaN. A failure when
    // the text does not begin with a number.
    static Result<float> ScanSingle(QStringView text);

    // C's conversion of a double to float, spelt out: beyond the float range
    // it gives +/- infinity, where the language leaves the cast undefined.
    static float ToSingle(double value);

private:
    // Stores candidate unless it is NaN.
    void Settle(double candidate);

    double m_value = 0;
    QString m_units;
    double m_increment = 0;
    int m_precision = 0;
    display_type_e m_displayType = display_type_e::FLOAT;
    double m_min = 0;
    double m_max = 0;
    bool m_wrap = false;
};

using display_type_e = SpinEditValue::display_type_e;

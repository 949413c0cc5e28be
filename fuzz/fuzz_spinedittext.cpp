// Feeds fuzz bytes to the spin edit as typed text and checks what reading it
// may do: leave the value as it was, or make it a finite number within the
// limits, never NaN or infinite. Where the text is plain ASCII and not one of
// the forms the spin edit declines (hexadecimal, "inf", "nan"), the number
// read must be the one the C library's strtof reads, bit for bit. A float
// taken from text, shown with nine significant digits, reads back the same.
//
// Byte 0 picks the limits (low bits) and how the rest becomes text (bit 7):
// UTF-8, or raw UTF-16 code units, so that NULs and lone surrogates come too.

#include "fuzzcheck.h"
#include "widgets/spineditvalue.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

struct Limits
{
    double min;
    double max;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
// The period dialog, the plot page's axes, limits that are no float, none at
// all, and a minimum above the maximum.
constexpr Limits kLimits[] = {{63, 9999},    {-70, 400}, {0, 65536}, {0.05, 0.15},
                              {-kInf, kInf}, {10, 5},    {0, 0},     {-1e30, 1e30}};
constexpr double kStart = 1234.5;

// Whether strtof may serve as the reference for text: ASCII without NUL, and
// not starting (after blanks and sign) with a form the spin edit declines.
bool StrtofComparable(const std::string &ascii)
{
    std::size_t i = 0;
    while (i < ascii.size() && (ascii[i] == ' ' || (ascii[i] >= '\t' && ascii[i] <= '\r')))
        ++i;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-'))
        ++i;
    if (i >= ascii.size())
        return true;
    const char c = ascii[i];
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N')
        return false;
    return !(c == '0' && i + 1 < ascii.size() && (ascii[i + 1] == 'x' || ascii[i + 1] == 'X'));
}

void CheckAgainstStrtof(const QString &text)
{
    std::string ascii;
    for (const QChar c : text) {
        if (c.unicode() == 0 || c.unicode() > 127)
            return;
        ascii += char(c.unicode());
    }
    if (!StrtofComparable(ascii))
        return;
    char *end = nullptr;
    const float expected = std::strtof(ascii.c_str(), &end);
    const Result<float> read = SpinEditValue::ScanSingle(text);
    if (end == ascii.c_str()) {
        Check(!read.ok());
        return;
    }
    Check(read.ok());
    Check(std::memcmp(&expected, &*read, sizeof expected) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const Limits limits = kLimits[data[0] % std::size(kLimits)];
    const bool utf16 = (data[0] & 0x80) != 0;
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const QString text =
        utf16 ? QString(reinterpret_cast<const QChar *>(rest), qsizetype((size - 1) / 2))
              : QString::fromUtf8(rest, qsizetype(size - 1));

    const Result<float> read = SpinEditValue::ScanSingle(text);
    if (read)
        Check(!std::isnan(*read));
    CheckAgainstStrtof(text);

    SpinEditValue spin;
    spin.SetMin(limits.min);
    spin.SetMax(limits.max);
    spin.SetValue(kStart);
    const bool taken = spin.ReadText(text);
    const double value = spin.Value();
    if (!taken) {
        Check(value == kStart);
    } else {
        Check(std::isfinite(value));
        if (limits.min <= limits.max)
            Check(value >= limits.min && value <= limits.max);
        else
            Check(value == limits.min || value == limits.max);
    }

    // Enter on the same text agrees with the read.
    SpinEditValue again;
    again.SetMin(limits.min);
    again.SetMax(limits.max);
    again.SetValue(kStart);
    const bool changed = again.Commit(text);
    Check(again.Value() == value);
    Check(!changed || taken);

    // A float from the text comes back from its own text unchanged.
    if (taken && double(float(value)) == value) {
        spin.SetDisplayType(display_type_e::AUTO);
        spin.SetPrecision(9);
        spin.SetUnits(QStringLiteral(" s"));
        const Result<float> back = SpinEditValue::ScanSingle(spin.Text());
        Check(back.ok() && double(*back) == value);
    }
    return 0;
}

// The spin edit's arithmetic without a widget: the text of a value, reading
// typed text, Enter's change test and the arrow steps.

#include "widgets/spineditvalue.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

SpinEditValue Limited(double min, double max, double value)
{
    SpinEditValue spin;
    spin.SetMin(min);
    spin.SetMax(max);
    spin.SetValue(value);
    return spin;
}

// What C's printf writes for the control's three formats.
QString Printf(display_type_e type, int precision, double value, const char *units)
{
    const char *format = type == display_type_e::FLOAT      ? "%.*f%s"
                         : type == display_type_e::EXPONENT ? "%.*e%s"
                                                            : "%.*g%s";
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, precision, value, units);
    return QString::fromUtf8(buffer);
}

} // namespace

class TestSpinEditValue : public QObject
{
    Q_OBJECT

private slots:
    void textOfValue_data();
    void textOfValue();
    void textIsPrintfs_data();
    void textIsPrintfs();
    void hugePrecisionGivesBoundedText();
    void readText_data();
    void readText();
    void localeChangesNeitherWritingNorReading();
    void enterTellsAChange_data();
    void enterTellsAChange();
    void steps_data();
    void steps();
    void settingLimitsStoresOnly();
    void nanIsNeverStored();
    void toSingleSaturates_data();
    void toSingleSaturates();
};

void TestSpinEditValue::textOfValue_data()
{
    QTest::addColumn<display_type_e>("type");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("units");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    const auto FLOAT = display_type_e::FLOAT;
    const auto EXPONENT = display_type_e::EXPONENT;
    const auto AUTO = display_type_e::AUTO;
    QTest::newRow("one decimal") << FLOAT << 1 << QString() << 23.44 << QStringLiteral("23.4");
    QTest::newRow("auto, three digits")
        << AUTO << 3 << QString() << 23.44 << QStringLiteral("23.4");
    QTest::newRow("exponent, two decimals")
        << EXPONENT << 2 << QString() << 23.44 << QStringLiteral("2.34e+01");
    QTest::newRow("period in seconds")
        << FLOAT << 0 << QStringLiteral(" s") << 63.0 << QStringLiteral("63 s");
    QTest::newRow("unit right after the number")
        << FLOAT << 2 << QStringLiteral("\u00b0C") << -3.456 << QStringLiteral("-3.46\u00b0C");
    QTest::newRow("auto, precision 0 counts as 1")
        << AUTO << 0 << QString() << 23.44 << QStringLiteral("2e+01");
    QTest::newRow("auto, large") << AUTO << 3 << QString() << 1e100 << QStringLiteral("1e+100");
    QTest::newRow("auto, six digits") << AUTO << 6 << QString() << 1e6 << QStringLiteral("1e+06");
    QTest::newRow("negative precision is printf's 6")
        << FLOAT << -1 << QString() << 0.5 << QStringLiteral("0.500000");
    QTest::newRow("three-digit exponent")
        << EXPONENT << 1 << QString() << 1e-300 << QStringLiteral("1.0e-300");
    QTest::newRow("plot axis, one decimal")
        << FLOAT << 1 << QString() << double(0.1f) << QStringLiteral("0.1");
}

void TestSpinEditValue::textOfValue()
{
    QFETCH(display_type_e, type);
    QFETCH(int, precision);
    QFETCH(QString, units);
    QFETCH(double, value);
    QFETCH(QString, text);
    SpinEditValue spin;
    spin.SetDisplayType(type);
    spin.SetPrecision(precision);
    spin.SetUnits(units);
    spin.SetValue(value);
    QCOMPARE(spin.Text(), text);
}

void TestSpinEditValue::textIsPrintfs_data()
{
    // A test without an application object runs in the "C" locale, so the
    // C library's printf is a reference written by someone else.
    QTest::addColumn<display_type_e>("type");
    QTest::addColumn<int>("precision");
    QTest::addColumn<double>("value");
    const double values[] = {0.0,      -0.0, 2.5,         0.125, -0.05,  1.0 / 3,
                             99999.95, 1e-7, 123456789.0, 1e21,  5e-324, 1.7976931348623157e308,
                             kInf,     -kInf};
    const int precisions[] = {0, 1, 2, 6, 17, 40};
    for (const auto type :
         {display_type_e::FLOAT, display_type_e::EXPONENT, display_type_e::AUTO}) {
        for (const double value : values) {
            for (const int precision : precisions) {
                QTest::addRow("%s %.17g %d",
                              type == display_type_e::FLOAT      ? "f"
                              : type == display_type_e::EXPONENT ? "e"
                                                                 : "g",
                              value, precision)
                    << type << precision << value;
            }
        }
    }
}

void TestSpinEditValue::textIsPrintfs()
{
    QFETCH(display_type_e, type);
    QFETCH(int, precision);
    QFETCH(double, value);
    SpinEditValue spin;
    spin.SetDisplayType(type);
    spin.SetPrecision(precision);
    spin.SetUnits(QStringLiteral(" s"));
    spin.SetValue(value);
    QCOMPARE(spin.Text(), Printf(type, precision, value, " s"));
}

void TestSpinEditValue::hugePrecisionGivesBoundedText()
{
    SpinEditValue spin;
    spin.SetPrecision(std::numeric_limits<int>::max());
    spin.SetValue(0.1);
    const QString text = spin.Text();
    QVERIFY(text.startsWith(
        QStringLiteral("0.1000000000000000055511151231257827021181583404541015625")));
    QVERIFY(text.size() < 2000);
    spin.SetDisplayType(display_type_e::EXPONENT);
    spin.SetValue(-1.7976931348623157e308);
    QVERIFY(spin.Text().startsWith(QStringLiteral("-1.7976931348623157081452742373170435679807")));
    QVERIFY(spin.Text().endsWith(QStringLiteral("e+308")));
}

void TestSpinEditValue::readText_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<double>("value"); // the value afterwards; it was 5

    const auto no = [](const char *name, const QString &text) {
        QTest::newRow(name) << -100.0 << 100.0 << text << false << 5.0;
    };
    const auto reads = [](const char *name, const QString &text, double value) {
        QTest::newRow(name) << -100.0 << 100.0 << text << true << value;
    };

    // The period dialog's limits.
    QTest::newRow("below the minimum") << 63.0 << 9999.0 << QStringLiteral("12") << true << 63.0;
    QTest::newRow("above the maximum")
        << 63.0 << 9999.0 << QStringLiteral("12000") << true << 9999.0;
    QTest::newRow("with its unit") << 63.0 << 9999.0 << QStringLiteral("120 s") << true << 120.0;
    QTest::newRow("nearest float") // 2^24 + 1 lies halfway: ties go to even
        << 0.0 << 1e9 << QStringLiteral("16777217") << true << 16777216.0;
    QTest::newRow("minimum above maximum: below both")
        << 10.0 << 5.0 << QStringLiteral("7") << true << 10.0;
    QTest::newRow("minimum above maximum: above both")
        << 10.0 << 5.0 << QStringLiteral("12") << true << 5.0;

    reads("unit ignored", QStringLiteral("12.5 s"), 12.5);
    reads("blanks and a sign first", QStringLiteral(" \t\n-7.25"), -7.25);
    reads("plus sign", QStringLiteral("+3"), 3);
    reads("no integer digits", QStringLiteral("-.5"), -0.5);
    reads("no fraction digits", QStringLiteral("5."), 5);
    reads("exponent", QStringLiteral("1.5e1"), 15);
    reads("exponent with sign", QStringLiteral("1E+1"), 10);
    reads("negative exponent, single precision", QStringLiteral("2e-1"), double(0.2f));
    reads("exponent without digits", QStringLiteral("5e"), 5);
    reads("exponent sign without digits", QStringLiteral("5e+"), 5);
    reads("0.1 is stored as a float", QStringLiteral("0.1"), double(0.1f));
    no("letters only", QStringLiteral("abc"));
    no("empty", QString());
    no("blanks only", QStringLiteral("   "));
    no("sign only", QStringLiteral("-"));
    no("point only", QStringLiteral("."));
    no("two signs", QStringLiteral("+-5"));
    no("unit before the number", QStringLiteral("s 12"));
    no("no-break space first", QStringLiteral("\u00a012"));

    // Hostile text.
    no("infinity", QStringLiteral("inf"));
    no("negative infinity", QStringLiteral("-Infinity"));
    no("not a number", QStringLiteral("nan"));
    no("not a number with payload", QStringLiteral("NAN(123)"));
    no("full-width digits", QStringLiteral("\uff11\uff12"));
    no("Arabic-Indic digits", QStringLiteral("\u0661\u0662"));
    reads("hexadecimal stops at x", QStringLiteral("0x1A"), 0);
    reads("hexadecimal float stops at x", QStringLiteral("0x1p4"), 0);
    reads("comma ends the number", QStringLiteral("12,5"), 12);
    reads("NUL ends the number",
          QString::fromUtf16(u"12\0"
                             u"34",
                             5),
          12);
    reads("overflow is the maximum", QStringLiteral("1e39"), 100);
    reads("negative overflow is the minimum", QStringLiteral("-1e39"), -100);
    reads("huge exponent", QStringLiteral("1e99999999999999999999999999"), 100);
    reads("huge negative exponent", QStringLiteral("1e-99999999999999999999999999"), 0);
    reads("underflow is zero", QStringLiteral("1e-50"), 0);
    reads("smallest float", QStringLiteral("1e-45"), double(1e-45f));
    reads("70 nines", QString(70, u'9'), 100);
    reads("many digits cancel the exponent",
          QStringLiteral("1") + QString(300, u'0') + QStringLiteral("e-300"), 1);
    reads("80 zeros after the point",
          QStringLiteral("0.") + QString(80, u'0') + QStringLiteral("1e81"), 1);
    reads("digits past float precision", QStringLiteral("3.14159265358979323846264338327950288"),
          double(3.14159265f));
    QTest::newRow("overflow with no upper limit leaves the value")
        << -kInf << kInf << QStringLiteral("1e39") << false << 5.0;
    QTest::newRow("overflow below no lower limit leaves the value")
        << -kInf << kInf << QStringLiteral("-1e39") << false << 5.0;
    QTest::newRow("no limits, a finite number")
        << -kInf << kInf << QStringLiteral("1e38") << true << double(1e38f);
}

void TestSpinEditValue::readText()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(QString, text);
    QFETCH(bool, taken);
    QFETCH(double, value);
    SpinEditValue spin = Limited(min, max, 5);
    QCOMPARE(spin.ReadText(text), taken);
    QCOMPARE(spin.Value(), value);
    QCOMPARE(std::signbit(spin.Value()), std::signbit(value));
}

void TestSpinEditValue::localeChangesNeitherWritingNorReading()
{
    // A user whose locale writes 23,4: the control still writes and reads
    // 23.4. Qt takes the user's C locale at start-up, so try one too.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name))
            break;
    }

    SpinEditValue spin = Limited(-100, 100, 23.44);
    spin.SetPrecision(1);
    const QString text = spin.Text();
    const bool taken = spin.ReadText(QStringLiteral("12.5"));
    const double value = spin.Value();

    std::setlocale(LC_NUMERIC, numeric.c_str());
    QLocale::setDefault(before);
    QCOMPARE(text, QStringLiteral("23.4"));
    QVERIFY(taken);
    QCOMPARE(value, 12.5);
}

void TestSpinEditValue::enterTellsAChange_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<double>("after");

    QTest::newRow("the number shown") << 63.0 << QStringLiteral("63 s") << false << 63.0;
    QTest::newRow("a new number") << 63.0 << QStringLiteral("80 s") << true << 80.0;
    QTest::newRow("letters only") << 63.0 << QStringLiteral("abc") << false << 63.0;
    // The minimum 0.05 is no float: clamping to it again is no change.
    QTest::newRow("clamped to the same number") << 0.05 << QStringLiteral("0") << false << 0.05;
    QTest::newRow("clamped to a new number") << 100.0 << QStringLiteral("0") << true << 0.05;
    // 0.1 typed earlier is stored as the float nearest to it; Enter on its
    // text again is no change.
    QTest::newRow("0.1 again") << double(0.1f) << QStringLiteral("0.1") << false << double(0.1f);
    // A double set by the program compares as a float: its shown text,
    // read back, is the same float.
    QTest::newRow("program's 0.1") << 0.1 << QStringLiteral("0.1") << false << double(0.1f);
    // The text shows fewer digits than the value has: Enter takes the text.
    QTest::newRow("rounded text") << 23.44 << QStringLiteral("23.4") << true << double(23.4f);
    // No number read means the value is untouched, even when it is no float.
    QTest::newRow("letters, value no float") << 23.44 << QStringLiteral("x") << false << 23.44;
}

void TestSpinEditValue::enterTellsAChange()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QFETCH(bool, changed);
    QFETCH(double, after);
    SpinEditValue spin = Limited(0.05, 9999, value);
    QCOMPARE(spin.Commit(text), changed);
    QCOMPARE(spin.Value(), after);
}

void TestSpinEditValue::steps_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("increment");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<double>("up");
    QTest::addColumn<double>("down");

    // Min 0, max 10 throughout.
    QTest::newRow("inside") << 5.0 << 3.0 << false << 8.0 << 2.0;
    QTest::newRow("onto the limits") << 7.0 << 3.0 << false << 10.0 << 4.0;
    QTest::newRow("at the limits, no wrap") << 10.0 << 3.0 << false << 10.0 << 7.0;
    QTest::newRow("past the top, no wrap") << 9.0 << 3.0 << false << 10.0 << 6.0;
    QTest::newRow("past the bottom, no wrap") << 2.0 << 3.0 << false << 5.0 << 0.0;
    QTest::newRow("past the top wraps to min") << 9.0 << 3.0 << true << 0.0 << 6.0;
    QTest::newRow("down from min wraps to max") << 0.0 << 3.0 << true << 3.0 << 10.0;
    QTest::newRow("exactly onto min, wrap") << 3.0 << 3.0 << true << 6.0 << 0.0;
    QTest::newRow("exactly onto max, wrap") << 7.0 << 3.0 << true << 10.0 << 4.0;
    // A value the program set outside the limits steps from where it is.
    QTest::newRow("from below the limits") << -5.0 << 1.0 << false << -4.0 << 0.0;
    QTest::newRow("from above the limits") << 15.0 << 1.0 << false << 10.0 << 14.0;
}

void TestSpinEditValue::steps()
{
    QFETCH(double, value);
    QFETCH(double, increment);
    QFETCH(bool, wrap);
    QFETCH(double, up);
    QFETCH(double, down);
    SpinEditValue spin = Limited(0, 10, value);
    spin.SetIncrement(increment);
    spin.SetWrapValue(wrap);
    spin.StepUp();
    QCOMPARE(spin.Value(), up);
    spin.SetValue(value);
    spin.StepDown();
    QCOMPARE(spin.Value(), down);
}

void TestSpinEditValue::settingLimitsStoresOnly()
{
    SpinEditValue spin = Limited(0, 100, 50);
    spin.SetMax(10);
    spin.SetMin(20);
    QCOMPARE(spin.Value(), 50.0);
    QCOMPARE(spin.Text(), QStringLiteral("50"));
    // The program may set a value outside the limits; it is shown as it is.
    spin.SetValue(-7);
    QCOMPARE(spin.Value(), -7.0);
    QCOMPARE(spin.Text(), QStringLiteral("-7"));

    const SpinEditValue fresh;
    QCOMPARE(fresh.Text(), QStringLiteral("0"));
    QCOMPARE(fresh.DisplayType(), display_type_e::FLOAT);
    QVERIFY(!fresh.WrapValue());
}

void TestSpinEditValue::nanIsNeverStored()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SpinEditValue spin = Limited(0, 10, 4);
    spin.SetIncrement(2);
    spin.SetValue(nan);
    spin.SetMin(nan);
    spin.SetMax(nan);
    spin.SetIncrement(nan);
    QCOMPARE(spin.Value(), 4.0);
    QCOMPARE(spin.Min(), 0.0);
    QCOMPARE(spin.Max(), 10.0);
    QCOMPARE(spin.Increment(), 2.0);

    // Infinities the program sets meet in a step: inf - inf is no value.
    spin.SetMax(kInf);
    spin.SetValue(kInf);
    spin.SetIncrement(-kInf);
    spin.StepUp();
    QVERIFY(!std::isnan(spin.Value()));
}

void TestSpinEditValue::toSingleSaturates_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<float>("single");
    const float maxSingle = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("0.1") << 0.1 << 0.1f;
    QTest::newRow("largest float") << double(maxSingle) << maxSingle;
    QTest::newRow("just above, rounds down") << 3.4028235e38 << maxSingle;
    QTest::newRow("halfway to 2^128") << 0x1.ffffffp127 << inf;
    QTest::newRow("far above") << 1e300 << inf;
    QTest::newRow("far below") << -1e300 << -inf;
    QTest::newRow("tiny") << 1e-300 << 0.0f;
}

void TestSpinEditValue::toSingleSaturates()
{
    QFETCH(double, value);
    QFETCH(float, single);
    QCOMPARE(SpinEditValue::ToSingle(value), single);
}

QTEST_APPLESS_MAIN(TestSpinEditValue)
#include "tst_spineditvalue.moc"

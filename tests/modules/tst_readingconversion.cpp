#include "modules/readingconversion.h"

#include <QLocale>
#include <QTest>

namespace {

std::array<uint16_t, 8> rawOf(int input, int value)
{
    std::array<uint16_t, 8> raw{};
    raw[input - 1] = static_cast<uint16_t>(value);
    return raw;
}

std::array<int, 8> typesOf(int input, int type)
{
    std::array<int, 8> types{};
    types[input - 1] = type;
    return types;
}

} // namespace

class TestReadingConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void inputTypeText_data();
    void inputTypeText();
    void oneInput_data();
    void oneInput();
    void failedReadGivesDashesWithoutResend();
    void decimalSeparatorFollowsLocale();
    void deviceInformation_data();
    void deviceInformation();
};

void TestReadingConversion::inputTypeText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "-----";
    QTest::newRow("1") << 1 << "Pt100";
    QTest::newRow("2") << 2 << "Ni100";
    QTest::newRow("3") << 3 << "Ni120";
    QTest::newRow("4") << 4 << "Cu10";
    QTest::newRow("5") << 5 << "4-20 mA";
    QTest::newRow("6") << 6 << "Error";
    QTest::newRow("-1") << -1 << "Error";
    QTest::newRow("255") << 255 << "Error";
}

void TestReadingConversion::inputTypeText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(InputTypeText(code), text);
}

// Each row puts one raw value on input 3 of a module whose input 3 has the
// given type; the other inputs are "Not Used" and must read "----".
void TestReadingConversion::oneInput_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("resend");

    const QString c = QStringLiteral("Celsius");
    const QString f = QStringLiteral("Fahrenheit");

    QTest::newRow("Not Used ignores raw 20000") << 0 << 20000 << c << "----" << false;
    QTest::newRow("Not Used ignores out of range") << 0 << 5000 << c << "----" << false;
    QTest::newRow("Pt100 not configured") << 1 << 20000 << c << "----" << true;
    QTest::newRow("4-20 mA not configured") << 5 << 20000 << c << "----" << true;
    QTest::newRow("Pt100 open") << 1 << 21000 << c << "Op" << false;
    QTest::newRow("4-20 mA open before range test") << 5 << 21000 << c << "Op" << false;
    QTest::newRow("Cu10 shorted") << 4 << 22000 << c << "Sh" << false;
    QTest::newRow("4-20 mA shorted") << 5 << 22000 << f << "Sh" << false;

    QTest::newRow("RTD lower limit") << 1 << -509 << c << "-50.9" << false;
    QTest::newRow("RTD below lower limit") << 1 << -510 << c << "ERROR" << true;
    QTest::newRow("RTD upper limit") << 2 << 2099 << c << "209.9" << false;
    QTest::newRow("RTD above upper limit") << 3 << 2100 << c << "ERROR" << true;
    QTest::newRow("RTD zero") << 1 << 0 << c << "0.0" << false;
    QTest::newRow("RTD 23.5") << 1 << 235 << c << "23.5" << false;
    QTest::newRow("register 65535 is -0.1") << 1 << 65535 << c << "-0.1" << false;
    QTest::newRow("register 32768 is far below range") << 1 << 32768 << c << "ERROR" << true;
    QTest::newRow("unknown type code reads as RTD") << 9 << 250 << c << "25.0" << false;

    QTest::newRow("4-20 mA lower limit") << 5 << 20 << c << "2.0" << false;
    QTest::newRow("4-20 mA below") << 5 << 19 << c << "ERROR" << true;
    QTest::newRow("4-20 mA upper limit") << 5 << 220 << c << "22.0" << false;
    QTest::newRow("4-20 mA above") << 5 << 221 << c << "ERROR" << true;
    QTest::newRow("4-20 mA stays mA in Fahrenheit") << 5 << 120 << f << "12.0" << false;
    QTest::newRow("4-20 mA with unknown unit") << 5 << 120 << "Kelvin"
                                               << "12.0" << false;

    QTest::newRow("Fahrenheit 100 C") << 1 << 1000 << f << "212.0" << false;
    QTest::newRow("Fahrenheit -40") << 1 << -400 << f << "-40.0" << false;
    QTest::newRow("Fahrenheit 0 C") << 1 << 0 << f << "32.0" << false;
    QTest::newRow("Fahrenheit rounds to tenth") << 1 << 1005 << f << "212.9" << false;
    // 0.1 C is 32.18 F, 0.3 C 32.54 F, -0.1 C 31.82 F: to the nearest tenth.
    QTest::newRow("Fahrenheit 0.1 C rounds up") << 1 << 1 << f << "32.2" << false;
    QTest::newRow("Fahrenheit 0.3 C rounds down") << 1 << 3 << f << "32.5" << false;
    QTest::newRow("Fahrenheit -0.1 C rounds down") << 1 << -1 << f << "31.8" << false;
    QTest::newRow("Fahrenheit near zero has no minus") << 1 << -178 << f << "0.0" << false;

    QTest::newRow("unknown unit leaves RTD empty") << 1 << 235 << "Kelvin"
                                                   << "" << false;
    QTest::newRow("empty unit leaves RTD empty") << 1 << 235 << ""
                                                 << "" << false;
    QTest::newRow("unknown unit still flags ERROR") << 1 << 3000 << "Kelvin"
                                                    << "ERROR" << true;
    QTest::newRow("unit is case sensitive") << 1 << 235 << "celsius"
                                            << "" << false;
}

void TestReadingConversion::oneInput()
{
    QFETCH(int, type);
    QFETCH(int, raw);
    QFETCH(QString, unit);
    QFETCH(QString, text);
    QFETCH(bool, resend);

    const ModuleReadings r = ConvertReadings(true, rawOf(3, raw), typesOf(3, type), unit);
    QCOMPARE(r.text[2], text);
    QCOMPARE(r.resend, resend);
    for (int i : {0, 1, 3, 4, 5, 6, 7})
        QCOMPARE(r.text[i], QStringLiteral("----"));
}

void TestReadingConversion::failedReadGivesDashesWithoutResend()
{
    std::array<uint16_t, 8> raw;
    raw.fill(20000);
    std::array<int, 8> types;
    types.fill(1);
    const ModuleReadings r = ConvertReadings(false, raw, types, QStringLiteral("Celsius"));
    for (const QString &t : r.text)
        QCOMPARE(t, QStringLiteral("----"));
    QVERIFY(!r.resend);
}

void TestReadingConversion::decimalSeparatorFollowsLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const ModuleReadings r =
        ConvertReadings(true, rawOf(1, 235), typesOf(1, 1), QStringLiteral("Celsius"));
    QCOMPARE(r.text[0], QStringLiteral("23,5"));
    QCOMPARE(FirmwareText(311), QStringLiteral("3,11"));
    QLocale::setDefault(QLocale::c());
}

void TestReadingConversion::deviceInformation_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    QTest::newRow("device 202") << DeviceTypeText(202) << "TAV RTD";
    QTest::newRow("device 201") << DeviceTypeText(201) << "UNKNOWN";
    QTest::newRow("firmware 311") << FirmwareText(311) << "3.11";
    QTest::newRow("firmware 300") << FirmwareText(300) << "3.00";
    QTest::newRow("firmware unsigned 65535") << FirmwareText(65535) << "655.35";
    QTest::newRow("firmware 0") << FirmwareText(0) << "0.00";
    QTest::newRow("notch 10") << NotchFrequencyText(10) << "10 Hz";
    QTest::newRow("notch 50") << NotchFrequencyText(50) << "50 Hz";
    QTest::newRow("notch 60") << NotchFrequencyText(60) << "60 Hz";
    QTest::newRow("notch 0") << NotchFrequencyText(0) << "UNKNOWN";
}

void TestReadingConversion::deviceInformation()
{
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

QTEST_APPLESS_MAIN(TestReadingConversion)
#include "tst_readingconversion.moc"

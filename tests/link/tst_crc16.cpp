#include "link/crc16.h"
#include "support/wire.h"

#include <QtTest>

// The CRC-16 of Modbus, in both of its forms, against values from outside the
// code: the published check value of CRC-16/MODBUS and frames whose CRC is
// written in the protocol descriptions and seen on real buses.
class TestCrc16 : public QObject
{
    Q_OBJECT

private slots:
    void vectors_data();
    void vectors();
    void frameWithItsCrcRunsToZero_data() { vectors_data(); }
    void frameWithItsCrcRunsToZero();
    void tableAgreesWithBitwiseOnEveryByte();
};

void TestCrc16::vectors_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("crcOnWire"); // low byte first

    QTest::newRow("check value 123456789") << QByteArray("123456789") << frame("37 4B");
    QTest::newRow("empty: the initial value") << QByteArray() << frame("FF FF");
    QTest::newRow("read 8 registers from 16 at slave 1")
        << frame("01 03 00 10 00 08") << frame("45 C9");
    QTest::newRow("exception reply 01 83 02") << frame("01 83 02") << frame("C0 F1");
    QTest::newRow("write reply, 4 registers from 0")
        << frame("01 10 00 00 00 04") << frame("C1 CA");
    QTest::newRow("relay module 1, all Not Used")
        << frame("0D 09 01 00 00 00 00 00 00 00 00") << frame("E0 F7");
    QTest::newRow("relay module 1, all Pt100")
        << frame("0D 09 01 01 01 01 01 01 01 01 01") << frame("9D 86");
    QTest::newRow("relay module 2, types 1 2 3 4 5 0 1 1")
        << frame("0E 09 01 01 02 03 04 05 00 01 01") << frame("3C D0");
}

void TestCrc16::vectors()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, crcOnWire);
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.constData());
    const uint16_t expected = uint16_t(uint8_t(crcOnWire[1]) << 8 | uint8_t(crcOnWire[0]));

    QCOMPARE(Crc16Bitwise(bytes, size_t(data.size())), expected);
    QCOMPARE(Crc16Table(bytes, size_t(data.size())), expected);
}

void TestCrc16::frameWithItsCrcRunsToZero()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, crcOnWire);
    const QByteArray frame = data + crcOnWire;
    uint16_t crc = kCrcInit;
    for (char c : frame)
        crc = Crc16Update(crc, uint8_t(c));
    QCOMPARE(crc, uint16_t(0));
}

void TestCrc16::tableAgreesWithBitwiseOnEveryByte()
{
    // Every table entry is reached by some single byte, so this checks all 512
    // table bytes; the pairs check the carry from one byte into the next.
    for (int a = 0; a < 256; ++a) {
        const uint8_t one[1] = {uint8_t(a)};
        QCOMPARE(Crc16Table(one, 1), Crc16Bitwise(one, 1));
        for (int b = 0; b < 256; b += 17) {
            const uint8_t two[2] = {uint8_t(a), uint8_t(b)};
            QCOMPARE(Crc16Table(two, 2), Crc16Bitwise(two, 2));
        }
    }
}

QTEST_APPLESS_MAIN(TestCrc16)
#include "tst_crc16.moc"

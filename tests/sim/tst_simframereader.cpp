#include "sim/simframereader.h"

#include <QtTest>

// Frames in hexadecimal, CRC included; the CRCs come from an independent
// CRC-16/MODBUS calculation, and the relay polls are the published vectors.
class TestSimFrameReader : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue()
    {
        QCOMPARE(simCrc16("123456789"), quint16(0x4B37));
        QCOMPARE(simWithCrc(QByteArray::fromHex("010300100008")),
                 QByteArray::fromHex("01030010000845C9"));
    }

    void frames_data()
    {
        QTest::addColumn<QStringList>("chunks"); // appended one after another
        QTest::addColumn<QStringList>("frames"); // taken out, in order

        const QString read = QStringLiteral("01030010000845C9");
        const QString write = QStringLiteral("051000000004080102030405000105 60D9");
        const QString relay = QStringLiteral("0D09010000000000000000E0F7");
        const QString relayOfModule2 = QStringLiteral("0E09010102030405000101 3CD0");

        QTest::newRow("read") << QStringList{read} << QStringList{read};
        QTest::newRow("write, by byte count") << QStringList{write} << QStringList{write};
        QTest::newRow("relay poll") << QStringList{relay} << QStringList{relay};
        QTest::newRow("relay poll, address byte first")
            << QStringList{QStringLiteral("0E"), QStringLiteral("09010102030405000101 3CD0")}
            << QStringList{relayOfModule2};
        QTest::newRow("modbus read at a relay address")
            << QStringList{QStringLiteral("0D030010000845 05")}
            << QStringList{QStringLiteral("0D0300100008 4505")};
        QTest::newRow("split in three")
            << QStringList{QStringLiteral("01"), QStringLiteral("030010"),
                           QStringLiteral("000845C9")}
            << QStringList{read};
        QTest::newRow("back to back")
            << QStringList{read + write + relay} << QStringList{read, write, relay};
        QTest::newRow("noise ahead")
            << QStringList{QStringLiteral("FF0011") + read} << QStringList{read};
        QTest::newRow("wrong CRC dropped")
            << QStringList{QStringLiteral("01030010000845C8") + write} << QStringList{write};
        // A fragment whose byte count promises 255 more bytes must not hold
        // back the complete request behind it.
        QTest::newRow("fragment with a bogus length")
            << QStringList{QStringLiteral("0510000000FFFF"), read} << QStringList{read};
        QTest::newRow("incomplete waits")
            << QStringList{QStringLiteral("01030010")} << QStringList{};
        QTest::newRow("unknown function")
            << QStringList{QStringLiteral("0141000100 0000")} << QStringList{};
    }

    void frames()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, frames);
        SimFrameReader reader;
        QStringList taken;
        for (const QString &chunk : chunks) {
            reader.append(QByteArray::fromHex(chunk.toLatin1()));
            while (const auto frame = reader.takeFrame())
                taken << QString::fromLatin1(frame->toHex().toUpper());
        }
        QStringList expected;
        for (const QString &f : frames)
            expected << QString::fromLatin1(QByteArray::fromHex(f.toLatin1()).toHex().toUpper());
        QCOMPARE(taken, expected);
    }

    // Once a frame has been taken, the noise ahead of it is gone, and a
    // request that arrives afterwards is taken on its own.
    void noiseDoesNotLinger()
    {
        SimFrameReader reader;
        reader.append(QByteArray::fromHex("AA55 01030010000845C9"));
        QVERIFY(reader.takeFrame());
        QVERIFY(reader.isEmpty());
    }

    void bufferIsBounded()
    {
        SimFrameReader reader;
        reader.append(QByteArray(3 * SimFrameReader::kMaxBuffered, '\x10'));
        reader.append(QByteArray::fromHex("01030010000845C9"));
        QCOMPARE(reader.takeFrame(), QByteArray::fromHex("01030010000845C9"));
    }
};

QTEST_APPLESS_MAIN(TestSimFrameReader)
#include "tst_simframereader.moc"

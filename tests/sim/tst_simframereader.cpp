#include "sim/simframereader.h"

#include <QtTest>

using namespace std::chrono_literals;

// Frames in hexadecimal, CRC included; the CRCs come from an independent
// CRC-16/MODBUS calculation, and the relay polls are the published vectors.
//
// The reader is driven with made-up times: the silence of 3.5 characters at
// 19200 baud (3.5 * 11 / 19200 s = 2005 us) and the relay address byte's
// hold of 50 ms.
namespace {

using Clock = SimFrameReader::Clock;

constexpr auto kSilence = 2005us;
constexpr auto kHold = 50ms;

const QString kRead = QStringLiteral("01030010000845C9");
const QString kWrite = QStringLiteral("05100000000408010203040500010560D9");
const QString kPollOf2 = QStringLiteral("0E090101020304050001013CD0");
const QString kPollRest = QStringLiteral("090101020304050001013CD0");

} // namespace

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
        QTest::addColumn<QList<int>>("at");      // microseconds after the first chunk
        QTest::addColumn<QStringList>("chunks"); // read off the line at those times
        QTest::addColumn<QStringList>("frames"); // handed out, in order
        QTest::addColumn<int>("ended");          // frames silence ended

        QTest::newRow("one request")
            << QList<int>{0} << QStringList{kRead} << QStringList{kRead} << 1;
        QTest::newRow("pause below 3.5 characters")
            << QList<int>{0, 2000}
            << QStringList{QStringLiteral("01030010"), QStringLiteral("000845C9")}
            << QStringList{kRead} << 1;
        QTest::newRow("pause of 3.5 characters cuts")
            << QList<int>{0, 2005}
            << QStringList{QStringLiteral("01030010"), QStringLiteral("000845C9")}
            << QStringList{QStringLiteral("01030010"), QStringLiteral("000845C9")} << 2;
        QTest::newRow("pause of 40 ms cuts")
            << QList<int>{0, 40000}
            << QStringList{QStringLiteral("01030010"), QStringLiteral("000845C9")}
            << QStringList{QStringLiteral("01030010"), QStringLiteral("000845C9")} << 2;
        QTest::newRow("two requests without silence are one frame")
            << QList<int>{0, 500} << QStringList{kRead, kWrite} << QStringList{kRead + kWrite} << 1;
        QTest::newRow("two requests with silence")
            << QList<int>{0, 20000} << QStringList{kRead, kWrite} << QStringList{kRead, kWrite}
            << 2;
        QTest::newRow("a function of any length")
            << QList<int>{0} << QStringList{QStringLiteral("05074322")}
            << QStringList{QStringLiteral("05074322")} << 1;
        QTest::newRow("relay poll in one piece")
            << QList<int>{0} << QStringList{kPollOf2} << QStringList{kPollOf2} << 1;
        QTest::newRow("relay poll, rest 10 ms after the address byte")
            << QList<int>{0, 10000} << QStringList{QStringLiteral("0E"), kPollRest}
            << QStringList{kPollOf2} << 2;
        QTest::newRow("relay poll, rest after the hold")
            << QList<int>{0, 50001} << QStringList{QStringLiteral("0E"), kPollRest}
            << QStringList{QStringLiteral("0E"), kPollRest} << 2;
        QTest::newRow("relay poll, rest with a CRC for another address")
            << QList<int>{0, 10000} << QStringList{QStringLiteral("0D"), kPollRest}
            << QStringList{QStringLiteral("0D"), kPollRest} << 2;
        QTest::newRow("relay address byte, then a Modbus request")
            << QList<int>{0, 10000} << QStringList{QStringLiteral("0E"), kRead}
            << QStringList{QStringLiteral("0E"), kRead} << 2;
        QTest::newRow("a lone byte that is no relay address")
            << QList<int>{0, 10000} << QStringList{QStringLiteral("05"), kPollRest}
            << QStringList{QStringLiteral("05"), kPollRest} << 2;
        QTest::newRow("a second address byte replaces the first")
            << QList<int>{0, 5000, 10000}
            << QStringList{QStringLiteral("0D"), QStringLiteral("0E"), kPollRest}
            << QStringList{QStringLiteral("0D"), kPollOf2} << 3;
        QTest::newRow("Modbus read at a relay address")
            << QList<int>{0} << QStringList{QStringLiteral("0D0300100008 4505")}
            << QStringList{QStringLiteral("0D03001000084505")} << 1;
    }

    void frames()
    {
        QFETCH(QList<int>, at);
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, frames);
        QFETCH(int, ended);
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        QStringList taken;
        const auto takeAll = [&](Clock::time_point now) {
            while (const auto frame = reader.takeFrame(now))
                taken << QString::fromLatin1(frame->bytes.toHex().toUpper());
        };
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            const Clock::time_point now = t0 + std::chrono::microseconds(at[i]);
            takeAll(now);
            reader.append(QByteArray::fromHex(chunks[i].toLatin1()), now);
        }
        takeAll(t0 + std::chrono::microseconds(at.constLast()) + 1s);
        QStringList expected;
        for (const QString &f : frames)
            expected << QString::fromLatin1(QByteArray::fromHex(f.toLatin1()).toHex().toUpper());
        QCOMPARE(taken, expected);
        QCOMPARE(reader.framesEnded(), qint64(ended));
        QVERIFY(!reader.nextDeadline());
    }

    // A frame is handed out once the line has been silent for 3.5
    // characters after its last byte, and not a moment before.
    void frameEndsAtTheSilence()
    {
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        QVERIFY(!reader.nextDeadline());
        reader.append(QByteArray::fromHex("0103001000"), t0);
        reader.append(QByteArray::fromHex("0845C9"), t0 + 1ms);
        QCOMPARE(reader.nextDeadline(), t0 + 1ms + kSilence);
        QVERIFY(!reader.takeFrame(t0 + 1ms + kSilence - 1ns));
        QCOMPARE(reader.framesEnded(), qint64(0));
        const auto frame = reader.takeFrame(t0 + 1ms + kSilence);
        QVERIFY(frame);
        QCOMPARE(frame->bytes, QByteArray::fromHex(kRead.toLatin1()));
        QCOMPARE(frame->end, t0 + 1ms + kSilence);
        QCOMPARE(reader.framesEnded(), qint64(1));
        QVERIFY(!reader.nextDeadline());
    }

    // A reader that looks late still dates the end of a frame by the line:
    // its last byte plus the silence.
    void frameEndIsTheLinesNotTheReaders()
    {
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        reader.append(QByteArray::fromHex("0E"), t0);
        reader.append(QByteArray::fromHex(kPollRest.toLatin1()), t0 + 20ms);
        const auto poll = reader.takeFrame(t0 + 1s);
        QVERIFY(poll);
        QCOMPARE(poll->bytes, QByteArray::fromHex(kPollOf2.toLatin1()));
        QCOMPARE(poll->end, t0 + 20ms + kSilence);
    }

    // The address byte waits for the rest of its poll until the hold is
    // over, and no longer.
    void addressByteWaitsForItsHold()
    {
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        reader.append(QByteArray::fromHex("0D"), t0);
        QVERIFY(!reader.takeFrame(t0 + kSilence));
        QCOMPARE(reader.framesEnded(), qint64(1));
        QCOMPARE(reader.nextDeadline(), t0 + kHold);
        QVERIFY(!reader.takeFrame(t0 + kHold - 1ns));
        const auto alone = reader.takeFrame(t0 + kHold);
        QVERIFY(alone);
        QCOMPARE(alone->bytes, QByteArray::fromHex("0D"));
        QCOMPARE(alone->end, t0 + kSilence);
        QVERIFY(!reader.nextDeadline());
    }

    void frameIsBounded()
    {
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        reader.append(QByteArray(3 * SimFrameReader::kMaxFrame, '\x10'), t0);
        reader.append(QByteArray::fromHex(kRead.toLatin1()), t0);
        const auto frame = reader.takeFrame(t0 + kSilence);
        QVERIFY(frame);
        QCOMPARE(frame->bytes.size(), SimFrameReader::kMaxFrame);
        QVERIFY(frame->bytes.endsWith(QByteArray::fromHex(kRead.toLatin1())));
    }

    void clearForgetsEverything()
    {
        SimFrameReader reader(kSilence, kHold);
        const Clock::time_point t0 = Clock::now();
        reader.append(QByteArray::fromHex("0E"), t0);
        QVERIFY(!reader.takeFrame(t0 + kSilence)); // held
        reader.append(QByteArray::fromHex("0103"), t0 + 5ms);
        reader.clear();
        QVERIFY(!reader.nextDeadline());
        reader.append(QByteArray::fromHex(kPollRest.toLatin1()), t0 + 6ms);
        const auto rest = reader.takeFrame(t0 + 1s);
        QVERIFY(rest);
        QCOMPARE(rest->bytes, QByteArray::fromHex(kPollRest.toLatin1()));
    }
};

QTEST_APPLESS_MAIN(TestSimFrameReader)
#include "tst_simframereader.moc"

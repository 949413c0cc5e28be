#include "sim/simtransmitter.h"

#include <QtTest>

using namespace std::chrono_literals;

// When the bytes of the simulator's replies reach the master, worked out on
// made-up times. A character is 10 bits on the RTD modules' line (8 data bits,
// no parity, one stop bit): 10 / 19200 s = 520833 ns; 11 bits on the relay
// modules' line, with its parity bit: 11 / 57600 s = 190972 ns.
namespace {

using Clock = SimTransmitter::Clock;

constexpr std::chrono::nanoseconds kChar19200{520833};
constexpr std::chrono::nanoseconds kChar57600{190972};

// The answer to a read of the eight readings: 5 + 16 bytes.
QByteArray readAnswer()
{
    return QByteArray::fromHex("0603100001000200030004000500060007000822BB");
}

} // namespace

class TestSimTransmitter : public QObject
{
    Q_OBJECT

private slots:
    void characterTimes()
    {
        QCOMPARE(SimTransmitter::characterTime(19200, 10), kChar19200);
        QCOMPARE(SimTransmitter::characterTime(57600, 11), kChar57600);
    }

    // 21 bytes at 19200 baud take 21 * 520833 ns = 10.937493 ms; the first
    // is complete one character after the reply begins.
    void readAnswerAt19200()
    {
        SimTransmitter line;
        const Clock::time_point begin = Clock::now() + 3ms;
        const QByteArray answer = readAnswer();
        QCOMPARE(answer.size(), 21);
        line.queue(answer, begin, kChar19200);
        QVERIFY(!line.isIdle());
        QCOMPARE(line.nextDue(), begin + 520833ns);
        QVERIFY(line.takeDue(begin).isEmpty());
        QVERIFY(line.takeDue(begin + 520832ns).isEmpty());
        QCOMPARE(line.takeDue(begin + 520833ns), answer.left(1));
        QCOMPARE(line.nextDue(), begin + 1041666ns);
        QCOMPARE(line.takeDue(begin + 10937492ns), answer.mid(1, 19));
        QCOMPARE(line.nextDue(), begin + 10937493ns);
        QCOMPARE(line.takeDue(begin + 10937493ns), answer.right(1));
        QVERIFY(line.isIdle());
        QVERIFY(!line.nextDue());
    }

    // The relay module's 12 bytes at 57600 baud: 12 * 190972 ns = 2.291664 ms.
    void relayAnswerAt57600()
    {
        SimTransmitter line;
        const Clock::time_point begin = Clock::now();
        const QByteArray answer = QByteArray::fromHex("0D0881494A4B4C4D4E4F5000");
        line.queue(answer, begin, kChar57600);
        QCOMPARE(line.takeDue(begin + 2291663ns), answer.left(11));
        QCOMPARE(line.takeDue(begin + 2291664ns), answer.right(1));
        QVERIFY(line.isIdle());
    }

    void withoutPacingTheReplyLeavesWhole()
    {
        SimTransmitter line;
        const Clock::time_point start = Clock::now();
        line.queue(readAnswer(), start, Clock::duration::zero());
        QCOMPARE(line.nextDue(), start);
        QVERIFY(line.takeDue(start - 1ns).isEmpty());
        QCOMPARE(line.takeDue(start), readAnswer());
        QVERIFY(line.isIdle());
    }

    // One station sends at a time: a reply due while another is still on
    // the line begins when that one has left it.
    void secondReplyWaitsForTheFirst()
    {
        SimTransmitter line;
        const Clock::time_point t0 = Clock::now();
        const QByteArray second = QByteArray::fromHex("05830340F0");
        line.queue(readAnswer(), t0, kChar19200);
        line.queue(second, t0 + 1ms, kChar19200);
        QCOMPARE(line.takeDue(t0 + 10937493ns), readAnswer());
        QCOMPARE(line.nextDue(), t0 + 10937493ns + 520833ns);
        QCOMPARE(line.takeDue(t0 + 10937493ns + 5 * 520833ns), second);
        QVERIFY(line.isIdle());
    }

    // A late reply queued first does not hold back a prompt one that
    // starts before it.
    void promptReplyGoesAheadOfALateOne()
    {
        SimTransmitter line;
        const Clock::time_point t0 = Clock::now();
        const QByteArray late = QByteArray::fromHex("050302 00CA C9D3");
        const QByteArray prompt = QByteArray::fromHex("060302 00CA 8DD3");
        line.queue(late, t0 + 80ms, kChar19200);
        line.queue(prompt, t0 + 3ms, kChar19200);
        QCOMPARE(line.takeDue(t0 + 79ms), prompt);
        QCOMPARE(line.takeDue(t0 + 80ms + 7 * 520833ns), late);
    }

    // A reply whose bytes have begun to leave is not overtaken by one given
    // a start before its own.
    void replyUnderWayIsNotOvertaken()
    {
        SimTransmitter line;
        const Clock::time_point t0 = Clock::now();
        const QByteArray first = readAnswer();
        const QByteArray other = QByteArray::fromHex("05830340F0");
        line.queue(first, t0 + 2ms, kChar19200);
        QCOMPARE(line.takeDue(t0 + 2ms + 520833ns), first.left(1));
        line.queue(other, t0 + 1ms, kChar19200);
        QCOMPARE(line.takeDue(t0 + 1s), first.mid(1) + other);
    }

    // A simulator thread that wakes late hands over every byte that is due
    // by then, in one piece.
    void lateWakeTakesEverythingDue()
    {
        SimTransmitter line;
        const Clock::time_point t0 = Clock::now();
        line.queue(readAnswer(), t0, kChar19200);
        QCOMPARE(line.takeDue(t0 + 10 * 520833ns), readAnswer().left(10));
        QCOMPARE(line.takeDue(t0 + 1s), readAnswer().mid(10));
    }

    void clearDropsEverything()
    {
        SimTransmitter line;
        const Clock::time_point t0 = Clock::now();
        line.queue(readAnswer(), t0, kChar19200);
        line.queue(QByteArray(), t0, kChar19200); // nothing to send, nothing queued
        line.clear();
        QVERIFY(line.isIdle());
        QVERIFY(line.takeDue(t0 + 1s).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestSimTransmitter)
#include "tst_simtransmitter.moc"

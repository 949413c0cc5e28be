#include "sim/bussimulator.h"

#include "support/modbusmaster.h"
#include "support/pty.h"
#include "support/wire.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The simulator on a pty, seen from the master's side: libmodbus as an
// independent master, and raw frames whose CRCs were worked out apart from
// the code under test.
//
// The bus of every test: module 5 without configuration, module 6 holding
// Pt100, Ni100, Ni120, Cu10, 4-20 mA, not used, Pt100, 4-20 mA, Modbus
// module 13 on a relay module's address, and the three relay modules.
//
// A missing answer is shown without waiting for a time-out: the request goes
// out, the test waits until the simulator has seen its frame end, and then a
// probe for module 6 goes out. The first bytes that come back must be the
// probe's answer, which the simulator would have sent after any answer to
// the first request. (Written in one piece, the two would be one frame with
// no silence between them, and neither would be answered.)
namespace {

const QByteArray kProbe = frame("06 03 00 04 00 01 C4 7C");    // module 6, register 4
const QByteArray kProbeAnswer = frame("06 03 02 00 CA 8D D3"); // 202
const QByteArray kDeviceTypeOf5 = frame("05 03 00 04 00 01 C4 4F");
const QByteArray kDeviceTypeOf5Answer = frame("05 03 02 00 CA C9 D3");

constexpr int kNotConfigured = 20000;

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Bytes waiting in a client's input, not yet read.
int unreadBytes(int fd)
{
    int count = -1;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

// What a master does after a reply it could not use: wait until the line
// has been quiet for a while, then drop everything that came. Flushing at
// once would leave the rest of the reply, still arriving a character at a
// time, in front of the next answer.
void dropRestOfReply(modbus_t *master)
{
    const int fd = modbus_get_socket(master);
    int seen = -1;
    for (int count = unreadBytes(fd); count != seen; count = unreadBytes(fd)) {
        seen = count;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    modbus_flush(master);
}

} // namespace

class TestBusSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttySIM")));
        m_sim->addModule(5);
        m_sim->addModule(6, {1, 2, 3, 4, 5, 0, 1, 5});
        m_sim->addModule(13);
        m_sim->setRelayModules(true);
        const Result<> started = m_sim->start();
        QVERIFY2(started, qPrintable(started.error()));
    }

    void cleanup() { m_sim.reset(); }

    // Sends bytes and waits until silence has ended them as a frame.
    bool sendFrame(RawLine &line, const QByteArray &bytes)
    {
        const qint64 before = m_sim->framesReceived();
        return line.send(bytes) && waitUntil([&] { return m_sim->framesReceived() > before; });
    }

    void deviceRegisters_data()
    {
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::newRow("device type") << 4 << 202;
        QTest::newRow("firmware 3.11") << 5 << 311;
        QTest::newRow("notch, factory 60 Hz") << 7 << 60;
        QTest::newRow("unknown register 6") << 6 << 0;
        QTest::newRow("unknown register 1000") << 1000 << 0;
    }

    void deviceRegisters()
    {
        QFETCH(int, reg);
        QFETCH(int, value);
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 5);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), reg, 1), QList<quint16>{quint16(value)});
    }

    void readingsWaitForConfiguration()
    {
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 5);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 16, 8), QList<quint16>(8, kNotConfigured));

        // Input 1 in the high byte of register 0, input 8 in the low byte of 3.
        const quint16 packed[4] = {0x0102, 0x0304, 0x0500, 0x0105};
        QCOMPARE(modbus_write_registers(master.get(), 0, 4, packed), 4);
        QCOMPARE(readRegisters(master.get(), 0, 4),
                 (QList<quint16>{0x0102, 0x0304, 0x0500, 0x0105}));
        const SimModuleState state = *m_sim->moduleState(5);
        QVERIFY(state.configured);
        QCOMPARE(state.inputTypes, (SimInputTypes{1, 2, 3, 4, 5, 0, 1, 5}));

        const QList<quint16> readings = readRegisters(master.get(), 16, 8);
        QCOMPARE(readings.size(), 8);
        for (const int rtd : {0, 1, 2, 3, 6}) // 15.0 to 30.0 degrees Celsius
            QVERIFY2(readings[rtd] >= 150 && readings[rtd] <= 300,
                     qPrintable(QString::number(readings[rtd])));
        for (const int loop : {4, 7}) // 10.0 to 14.0 mA
            QVERIFY2(readings[loop] >= 100 && readings[loop] <= 140,
                     qPrintable(QString::number(readings[loop])));
        QCOMPARE(readings[5], quint16(0));
    }

    void notchCommand_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("hz"); // 0: refused with exception 3, notch stays 60
        QTest::newRow("10 Hz") << 266 << 10;
        QTest::newRow("50 Hz") << 306 << 50;
        QTest::newRow("60 Hz") << 316 << 60;
        QTest::newRow("100 Hz is no choice") << 356 << 0;
        QTest::newRow("plain 50") << 50 << 0;
    }

    void notchCommand()
    {
        QFETCH(int, command);
        QFETCH(int, hz);
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        const quint16 values[2] = {quint16(command), 0};
        const int rc = modbus_write_registers(master.get(), 46252, 2, values);
        if (hz) {
            QCOMPARE(rc, 2);
        } else {
            QCOMPARE(rc, -1);
            QCOMPARE(errno, int(EMBXILVAL));
        }
        const int expected = hz ? hz : 60;
        QCOMPARE(readRegisters(master.get(), 7, 1), QList<quint16>{quint16(expected)});
        QCOMPARE(m_sim->moduleState(6)->notchHz, expected);
    }

    // What a user sets with "set ADDR device|firmware|notch N" reads back
    // through an independent master, and the notch command still changes
    // register 7 afterwards.
    void identityRegistersCanBeSet()
    {
        QVERIFY(m_sim->setIdentity(6, SimIdentity::DeviceType, 201));
        QVERIFY(m_sim->setIdentity(6, SimIdentity::Firmware, 65535));
        QVERIFY(m_sim->setIdentity(6, SimIdentity::Notch, 0));
        QVERIFY(!m_sim->setIdentity(9, SimIdentity::DeviceType, 201));
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 4, 2), (QList<quint16>{201, 65535}));
        QCOMPARE(readRegisters(master.get(), 7, 1), QList<quint16>{0});
        const SimModuleState state = *m_sim->moduleState(6);
        QCOMPARE(state.deviceType, quint16(201));
        QCOMPARE(state.firmware, quint16(65535));
        QCOMPARE(state.notchHz, 0);

        const quint16 fifty[2] = {306, 0};
        QCOMPARE(modbus_write_registers(master.get(), 46252, 2, fifty), 2);
        QCOMPARE(readRegisters(master.get(), 7, 1), QList<quint16>{50});
        // Identity is state, not a fault.
        m_sim->clearAllFaults();
        QCOMPARE(readRegisters(master.get(), 4, 1), QList<quint16>{201});
        // Module 5 beside it keeps the factory values.
        modbus_set_slave(master.get(), 5);
        QCOMPARE(readRegisters(master.get(), 4, 2), (QList<quint16>{202, 311}));
    }

    // A fault set for one first register fails only the requests that start
    // there: of the three reads a scan makes (from 4, 5 and 7, two registers
    // each) exactly one fails.
    void registerFaultFailsOneReadOnly_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("error"); // errno of the failed read
        QTest::newRow("exception from 4") << 4 << Fault::Exception << int(EMBXSFAIL);
        QTest::newRow("exception from 5") << 5 << Fault::Exception << int(EMBXSFAIL);
        QTest::newRow("silent from 7") << 7 << Fault::Silent << int(ETIMEDOUT);
        QTest::newRow("bad CRC from 5") << 5 << Fault::BadCrc << int(EMBBADCRC);
    }

    void registerFaultFailsOneReadOnly()
    {
        QFETCH(int, first);
        QFETCH(Fault, fault);
        QFETCH(int, error);
        QVERIFY(m_sim->setRegisterFault(6, first, fault));
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        const QMap<int, QList<quint16>> answers{{4, {202, 311}}, {5, {311, 0}}, {7, {60, 0}}};
        for (const int from : {4, 5, 7}) {
            if (from != first) {
                QCOMPARE(readRegisters(master.get(), from, 2), answers[from]);
                continue;
            }
            // A silent module is given up on after 100 ms; nothing is late.
            if (fault == Fault::Silent)
                modbus_set_response_timeout(master.get(), 0, 100000);
            QVERIFY(readRegisters(master.get(), from, 2).isEmpty());
            QCOMPARE(errno, error);
            modbus_set_response_timeout(master.get(), 2, 0);
        }
        QCOMPARE(m_sim->moduleState(6)->faults.registers.at(first), fault);
        QVERIFY(m_sim->setRegisterFault(6, first, Fault::None));
        QVERIFY(m_sim->moduleState(6)->faults.isClear());
        QVERIFY(waitUntil([&] {
            dropRestOfReply(master.get());
            return readRegisters(master.get(), first, 2) == answers[first];
        }));
    }

    void registerFaultArgumentsChecked()
    {
        QVERIFY(!m_sim->setRegisterFault(9, 5, Fault::Silent));
        QVERIFY(!m_sim->setRegisterFault(6, -1, Fault::Silent));
        QVERIFY(!m_sim->setRegisterFault(6, 65536, Fault::Silent));
        QVERIFY(!m_sim->setRegisterFault(6, 5, Fault::Open));
        QVERIFY(!m_sim->setRegisterFault(6, 5, Fault::LostConfiguration));
        QVERIFY(m_sim->setRegisterFault(6, 46252, Fault::Exception));
    }

    void illegalRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("input type 6")
            << frame("05 10 00 00 00 01 02 06 00 97 30") << frame("05 90 03 4D C0");
        QTest::newRow("write to the device type")
            << frame("05 10 00 04 00 01 02 00 01 54 D4") << frame("05 90 02 8C 00");
        QTest::newRow("byte count short of the register count")
            << frame("05 10 00 00 00 02 02 01 01 54 84") << frame("05 90 03 4D C0");
        QTest::newRow("read of 126 registers")
            << frame("05 03 00 00 00 7E C4 6E") << frame("05 83 03 40 F0");
        QTest::newRow("read past register 65535")
            << frame("05 03 FF FF 00 02 C5 AB") << frame("05 83 02 81 30");
        QTest::newRow("byte count above the register count")
            << frame("05 10 00 00 00 01 04 00 01 00 02 36 AD") << frame("05 90 03 4D C0");
        QTest::newRow("byte count agrees, two data bytes missing")
            << frame("05 10 00 00 00 02 04 01 01 B4 85") << frame("05 90 03 4D C0");
        QTest::newRow("byte count agrees, one data byte too many")
            << frame("05 10 00 00 00 01 02 01 01 05 01 FC") << frame("05 90 03 4D C0");
        QTest::newRow("write without byte count")
            << frame("05 10 00 00 00 01 00 4D") << frame("05 90 03 4D C0");
        QTest::newRow("read with a byte too many")
            << frame("05 03 00 04 00 01 00 4E 93") << frame("05 83 03 40 F0");
        QTest::newRow("read without count")
            << frame("05 03 00 04 F1 2B") << frame("05 83 03 40 F0");
        // Every function but 3 and 16 is refused with exception 1.
        QTest::newRow("function 1") << frame("05 01 00 00 00 08 3C 48") << frame("05 81 01 C0 51");
        QTest::newRow("function 2") << frame("05 02 00 00 00 08 78 48") << frame("05 82 01 C0 A1");
        QTest::newRow("function 4") << frame("05 04 00 10 00 08 F1 8D") << frame("05 84 01 C3 01");
        QTest::newRow("function 5") << frame("05 05 00 00 FF 00 8D BE") << frame("05 85 01 C2 91");
        QTest::newRow("function 6") << frame("05 06 00 07 00 32 B8 5A") << frame("05 86 01 C2 61");
        QTest::newRow("function 7, no data") << frame("05 07 43 22") << frame("05 87 01 C3 F1");
        QTest::newRow("function 8") << frame("05 08 00 00 12 34 EC F8") << frame("05 88 01 C6 01");
        QTest::newRow("function 15")
            << frame("05 0F 00 00 00 08 01 FF BF 26") << frame("05 8F 01 C4 31");
        QTest::newRow("function 17, no data") << frame("05 11 C2 EC") << frame("05 91 01 CD 91");
        QTest::newRow("function 22")
            << frame("05 16 00 07 00 FF 00 00 72 05") << frame("05 96 01 CF A1");
        QTest::newRow("function 23")
            << frame("05 17 00 00 00 01 00 07 00 01 02 00 32 DA 48") << frame("05 97 01 CE 31");
        QTest::newRow("function 43") << frame("05 2B 0E 01 00 81 B7") << frame("05 AB 01 DF 31");
    }

    void illegalRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(request));
        QCOMPARE(line.receive(answer.size()), answer);
        QVERIFY(!m_sim->moduleState(5)->configured);
    }

    // The same through libmodbus, an independent master: whatever function
    // it offers beyond 3 and 16, the module refuses with exception 1.
    void unsupportedFunctions_data()
    {
        QTest::addColumn<int>("function");
        for (const int function : {1, 2, 4, 5, 6, 15, 17, 22, 23})
            QTest::addRow("function %d", function) << function;
    }

    void unsupportedFunctions()
    {
        QFETCH(int, function);
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        modbus_t *ctx = master.get();
        uint8_t bits[8] = {};
        uint16_t words[8] = {};
        uint8_t id[64] = {};
        int rc = 0;
        switch (function) {
        case 1:
            rc = modbus_read_bits(ctx, 0, 8, bits);
            break;
        case 2:
            rc = modbus_read_input_bits(ctx, 0, 8, bits);
            break;
        case 4:
            rc = modbus_read_input_registers(ctx, 16, 8, words);
            break;
        case 5:
            rc = modbus_write_bit(ctx, 0, 1);
            break;
        case 6:
            rc = modbus_write_register(ctx, 7, 50);
            break;
        case 15:
            rc = modbus_write_bits(ctx, 0, 8, bits);
            break;
        case 17:
            rc = modbus_report_slave_id(ctx, int(sizeof id), id);
            break;
        case 22:
            rc = modbus_mask_write_register(ctx, 7, 0x00FF, 0);
            break;
        case 23:
            rc = modbus_write_and_read_registers(ctx, 0, 1, words, 4, 1, words);
            break;
        }
        QCOMPARE(rc, -1);
        QCOMPARE(errno, int(EMBXILFUN));
        const SimRequest logged = m_sim->requests().constLast();
        QCOMPARE(logged.address, 6);
        QCOMPARE(logged.function, function);
        QCOMPARE(m_sim->moduleState(6)->notchHz, 60);
        // The module still answers what it serves.
        QCOMPARE(readRegisters(ctx, 4, 1), QList<quint16>{202});
    }

    // Requests libmodbus has no call for, sent raw: it adds the CRC itself.
    void unsupportedRawFunctions_data()
    {
        QTest::addColumn<QByteArray>("request"); // without CRC
        QTest::newRow("7, read exception status") << frame("06 07");
        QTest::newRow("8, diagnostics") << frame("06 08 00 00 12 34");
        QTest::newRow("43, device identification") << frame("06 2B 0E 01 00");
        QTest::newRow("65, user-defined") << frame("06 41 00 01");
    }

    void unsupportedRawFunctions()
    {
        QFETCH(QByteArray, request);
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        const auto *raw = reinterpret_cast<const uint8_t *>(request.constData());
        QCOMPARE(modbus_send_raw_request(master.get(), raw, int(request.size())),
                 int(request.size()) + 2);
        uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH] = {};
        QCOMPARE(modbus_receive_confirmation(master.get(), answer), 5);
        QCOMPARE(int(answer[0]), 6);
        QCOMPARE(int(answer[1]), quint8(request[1]) | 0x80);
        QCOMPARE(int(answer[2]), 1);
    }

    void replyFaults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("error"); // errno after the failed read, 0: any
        QTest::newRow("bad CRC") << Fault::BadCrc << int(EMBBADCRC);
        QTest::newRow("exception") << Fault::Exception << int(EMBXSFAIL);
        QTest::newRow("garbage") << Fault::Garbage << 0;
    }

    void replyFaults()
    {
        QFETCH(Fault, fault);
        QFETCH(int, error);
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        QVERIFY(m_sim->setFault(6, fault));
        QVERIFY(readRegisters(master.get(), 4, 1).isEmpty());
        if (error)
            QCOMPARE(errno, error);

        // The rest of a faulty answer may still be on its way, a character
        // at a time, after libmodbus has given up on it; as on a real line,
        // the master waits for quiet, drops what it finds and asks again.
        m_sim->clearFaults(6);
        QVERIFY(waitUntil([&] {
            dropRestOfReply(master.get());
            return readRegisters(master.get(), 4, 1) == QList<quint16>{202};
        }));
    }

    void exceptionFaultRefusesWrites()
    {
        QVERIFY(m_sim->setFault(5, Fault::Exception));
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(frame("05 10 00 00 00 04 08 01 02 03 04 05 00 01 05 60 D9")));
        QCOMPARE(line.receive(5), frame("05 90 04 0C 02"));
        QVERIFY(!m_sim->moduleState(5)->configured);
    }

    void noAnswer_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("silence5");
        QTest::newRow("silent module") << kDeviceTypeOf5 << true;
        QTest::newRow("address not simulated") << frame("09 03 00 04 00 01 C4 83") << false;
        QTest::newRow("wrong CRC") << frame("05 03 00 04 00 01 C4 4E") << false;
        QTest::newRow("broadcast read") << frame("00 03 00 04 00 01 C4 1A") << false;
        QTest::newRow("broadcast of another function") << frame("00 07 40 72") << false;
        QTest::newRow("two requests in one piece") << kDeviceTypeOf5 + kDeviceTypeOf5 << false;
        QTest::newRow("noise") << frame("FF 00 11") << false;
        // The relay modules own command 9 at 13 to 15, so Modbus module 13
        // does not refuse these.
        QTest::newRow("relay poll with 2 for its constant")
            << frame("0D 09 02 01 01 01 01 01 01 01 01 89 76") << false;
        QTest::newRow("relay poll with 0 for its constant")
            << frame("0D 09 00 01 01 01 01 01 01 01 01 90 16") << false;
        QTest::newRow("relay poll a byte too long")
            << frame("0D 09 01 01 01 01 01 01 01 01 01 00 47 A9") << false;
        QTest::newRow("relay poll a byte short")
            << frame("0D 09 01 01 01 01 01 01 01 01 F6 DC") << false;
    }

    void noAnswer()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, silence5);
        if (silence5)
            QVERIFY(m_sim->setFault(5, Fault::Silent));
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, request));
        QVERIFY(line.send(kProbe));
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
    }

    // 3.5 characters of 10 bits at 19200 baud: 3.5 * 10 / 19200 s.
    void frameSilenceIsThreeAndAHalfCharacters()
    {
        QCOMPARE(std::chrono::nanoseconds(BusSimulator::kFrameSilence),
                 std::chrono::nanoseconds(1822915));
    }

    // Regression: pauses of up to 40 ms inside a request were bridged. A
    // module takes 3.5 characters of silence (1.8 ms at 19200 baud) for the
    // end of a request, so each part is a frame of its own and neither is
    // answered.
    void pauseInsideARequestLosesIt()
    {
        RawLine line(m_sim->linkPath());
        m_sim->clearRequests();
        QVERIFY(sendFrame(line, kDeviceTypeOf5.left(4)));
        QVERIFY(sendFrame(line, kDeviceTypeOf5.mid(4)));
        QVERIFY(line.send(kProbe));
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
        QCOMPARE(m_sim->requests(), (QList<SimRequest>{{6, 3, 4, 1, {}}}));
    }

    // The program's relay link sends the address byte, reopens the port with
    // the other parity and sends the rest: the pause between them ends a
    // frame, and still the poll is answered.
    void relayPollPausesAfterItsAddressByte()
    {
        const QByteArray poll = frame("0E 09 01 01 02 03 04 05 00 01 01 3C D0");
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, poll.left(1)));
        QVERIFY(line.send(poll.mid(1)));
        QCOMPARE(line.receive(3), frame("0E 08 81"));
        QCOMPARE(m_sim->requests().constLast(),
                 (SimRequest{14, 9, 0, 8, {1, 2, 3, 4, 5, 0, 1, 1}}));
    }

    // Fault::Late answers after the master's 50 ms window; the module answers
    // the next request in the meantime.
    void lateAnswerFollowsAPromptOne()
    {
        QVERIFY(m_sim->setFault(5, Fault::Late));
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, kDeviceTypeOf5));
        QVERIFY(line.send(kProbe));
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
        QCOMPARE(line.receive(kDeviceTypeOf5Answer.size()), kDeviceTypeOf5Answer);
    }

    // Paced, a reply reaches the master a character at a time: when the first
    // byte of 255 is there, the rest is still 145 ms away on the line (254
    // characters at 19200 baud). Unpaced, it is handed over in one piece.
    void pacedReplyArrivesByteByByte_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::newRow("paced") << true;
        QTest::newRow("not paced") << false;
    }

    void pacedReplyArrivesByteByByte()
    {
        QFETCH(bool, paced);
        m_sim->setPacing(paced);
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(frame("06 03 00 00 00 7D 84 5C"))); // 125 registers
        pollfd in{line.fd(), POLLIN, 0};
        QCOMPARE(::poll(&in, 1, 5000), 1);
        const int first = unreadBytes(line.fd());
        if (paced)
            QVERIFY2(first < 255, qPrintable(QString::number(first)));
        else
            QCOMPARE(first, 255);
        const QByteArray answer = line.receive(255);
        QCOMPARE(answer.size(), 255);
        QCOMPARE(answer.left(3), frame("06 03 FA"));
    }

    // A reply waits for the turnaround: with half a second set, nothing has
    // come a tenth of a second after the request ended.
    void turnaroundHoldsTheReply()
    {
        m_sim->setTurnaround(std::chrono::milliseconds(500));
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, kProbe));
        pollfd in{line.fd(), POLLIN, 0};
        QCOMPARE(::poll(&in, 1, 100), 0);
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
    }

    // Regression: a reply nobody read stayed in the pty, and the next master
    // took it for the answer to its own request (a read of register 5 gave
    // register 4's 202). On a real line it would have been lost.
    void unreadReplyIsDiscarded()
    {
        {
            RawLine first(m_sim->linkPath());
            QVERIFY(first.send(kProbe)); // register 4 of module 6
            QVERIFY(waitUntil([&] { return unreadBytes(first.fd()) == kProbeAnswer.size(); }));
            QVERIFY(waitUntil([&] { return unreadBytes(first.fd()) == 0; }));
        }
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 5, 1), QList<quint16>{311});
    }

    void readingFaults_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<Fault>("fault"); // Fault::None: force the raw value
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("raw");
        QTest::newRow("open Pt100") << 6 << Fault::Open << 1 << 21000;
        QTest::newRow("shorted Ni100") << 6 << Fault::Shorted << 2 << 22000;
        QTest::newRow("out of range, RTD") << 6 << Fault::OutOfRange << 3 << 2500;
        QTest::newRow("out of range, 4-20 mA") << 6 << Fault::OutOfRange << 5 << 250;
        QTest::newRow("open, but not used") << 6 << Fault::Open << 6 << 0;
        QTest::newRow("open, not configured") << 5 << Fault::Open << 1 << kNotConfigured;
        QTest::newRow("forced") << 6 << Fault::None << 4 << 65535;
        QTest::newRow("forced, not configured") << 5 << Fault::None << 8 << 1234;
    }

    void readingFaults()
    {
        QFETCH(int, address);
        QFETCH(Fault, fault);
        QFETCH(int, input);
        QFETCH(int, raw);
        QVERIFY(fault == Fault::None ? m_sim->setReading(address, input, quint16(raw))
                                     : m_sim->setFault(address, fault, input));
        const ModbusMaster master = connectMaster(m_sim->linkPath(), address);
        QVERIFY(master);
        const QList<quint16> readings = readRegisters(master.get(), 16, 8);
        QCOMPARE(readings.size(), 8);
        QCOMPARE(readings[input - 1], quint16(raw));

        QVERIFY(m_sim->setFault(address, Fault::None, input));
        QVERIFY(m_sim->moduleState(address)->faults.isClear());
    }

    void faultArgumentsChecked_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("input");
        QTest::newRow("module not simulated") << 7 << Fault::Silent << 0;
        QTest::newRow("reading fault without input") << 6 << Fault::Open << 0;
        QTest::newRow("reply fault on an input") << 6 << Fault::Silent << 3;
        QTest::newRow("input 9") << 6 << Fault::Open << 9;
        QTest::newRow("lost configuration of one input") << 6 << Fault::LostConfiguration << 2;
    }

    void faultArgumentsChecked()
    {
        QFETCH(int, address);
        QFETCH(Fault, fault);
        QFETCH(int, input);
        QVERIFY(!m_sim->setFault(address, fault, input));
        QVERIFY(m_sim->moduleState(6)->faults.isClear());
    }

    void lostConfiguration()
    {
        QVERIFY(m_sim->setFault(6, Fault::LostConfiguration));
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 16, 8), QList<quint16>(8, kNotConfigured));
        QCOMPARE(readRegisters(master.get(), 0, 4), QList<quint16>(4, 0));
        QCOMPARE(m_sim->moduleState(6)->notchHz, 60);
    }

    // Random faults: every kind the simulator offers turns up, each request
    // to a module draws at most one, and a module that draws lost
    // configuration forgets its types. With none chosen, nothing is spoilt.
    void chaosSpoilsTheChosenShareOfRequests()
    {
        QVERIFY(!m_sim->setChaos(101));
        QVERIFY(!m_sim->setChaos(-1));
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        // Past the late answer (80 ms), short of the time a silent module
        // would otherwise cost.
        modbus_set_response_timeout(master.get(), 0, 200000);

        QVERIFY(m_sim->setChaos(100));
        m_sim->clearRequests();
        constexpr int kReads = 90;
        for (int i = 0; i < kReads; ++i) {
            if (readRegisters(master.get(), 16, 8).isEmpty())
                dropRestOfReply(master.get());
        }
        const std::map<Fault, qint64> counts = m_sim->chaosCounts();
        qint64 drawn = 0;
        for (const auto &[kind, count] : counts)
            drawn += count;
        QCOMPARE(drawn, qint64(m_sim->requests().size()));
        QCOMPARE(drawn, qint64(kReads));
        for (const Fault kind :
             {Fault::Silent, Fault::Late, Fault::BadCrc, Fault::Exception, Fault::Garbage,
              Fault::Open, Fault::Shorted, Fault::OutOfRange, Fault::LostConfiguration})
            QVERIFY2(counts.count(kind), qPrintable(QString::number(int(kind))));
        QVERIFY(!m_sim->moduleState(6)->configured);
        QVERIFY(m_sim->moduleState(6)->faults.isClear());

        QVERIFY(m_sim->setChaos(0));
        for (int i = 0; i < 20; ++i)
            QCOMPARE(readRegisters(master.get(), 4, 1), QList<quint16>{202});
        QCOMPARE(m_sim->chaosCounts(), counts);
    }

    void broadcastWriteReachesEveryModule()
    {
        QVERIFY(m_sim->setFault(13, Fault::Silent));
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, frame("00 10 00 00 00 04 08 01 02 03 04 05 00 01 05 A5 DA")));
        QVERIFY(line.send(kProbe));
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
        const SimInputTypes written{1, 2, 3, 4, 5, 0, 1, 5};
        QCOMPARE(m_sim->moduleState(5)->inputTypes, written);
        QCOMPARE(m_sim->moduleState(6)->inputTypes, written);
        QVERIFY(!m_sim->moduleState(13)->configured);
    }

    void relayPolls_data()
    {
        QTest::addColumn<QByteArray>("poll");
        QTest::addColumn<QList<int>>("types");
        QTest::newRow("module 1, not used")
            << frame("0D 09 01 00 00 00 00 00 00 00 00 E0 F7") << QList<int>(8, 0);
        QTest::newRow("module 1, Pt100")
            << frame("0D 09 01 01 01 01 01 01 01 01 01 9D 86") << QList<int>(8, 1);
        QTest::newRow("module 2, mixed") << frame("0E 09 01 01 02 03 04 05 00 01 01 3C D0")
                                         << QList<int>{1, 2, 3, 4, 5, 0, 1, 1};
        QTest::newRow("module 3, 4-20 mA")
            << frame("0F 09 01 05 05 05 05 05 05 05 05 61 BB") << QList<int>(8, 5);
    }

    void relayPolls()
    {
        QFETCH(QByteArray, poll);
        QFETCH(QList<int>, types);
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(poll));
        const QByteArray answer = line.receive(12);
        QCOMPARE(answer.size(), 12);
        QCOMPARE(answer.left(3), poll.left(1) + frame("08 81"));
        for (int i = 0; i < 8; ++i) {
            const int reading = quint8(answer[3 + i]);
            if (types[i] == 0)
                QCOMPARE(reading, 0);
            else if (types[i] == 5) // 10.0 to 14.0 mA
                QVERIFY2(reading >= 100 && reading <= 140, qPrintable(QString::number(reading)));
            else // 15 to 30 degrees Celsius, plus 50
                QVERIFY2(reading >= 65 && reading <= 80, qPrintable(QString::number(reading)));
        }
        QCOMPARE(m_sim->requests().constLast().values,
                 (QList<quint16>(types.begin(), types.end())));
    }

    void relayFaults_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<Fault>("fault"); // Fault::None: force the byte
        QTest::addColumn<int>("reading");
        QTest::newRow("open") << 2 << Fault::Open << 1;
        QTest::newRow("shorted") << 8 << Fault::Shorted << 255;
        QTest::newRow("forced 75") << 1 << Fault::None << 75;
    }

    void relayFaults()
    {
        QFETCH(int, input);
        QFETCH(Fault, fault);
        QFETCH(int, reading);
        QVERIFY(fault == Fault::None ? m_sim->setRelayReading(1, input, quint8(reading))
                                     : m_sim->setRelayFault(1, fault, input));
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(frame("0D 09 01 01 01 01 01 01 01 01 01 9D 86")));
        const QByteArray answer = line.receive(12);
        QCOMPARE(answer.size(), 12);
        QCOMPARE(int(quint8(answer[2 + input])), reading);
    }

    void relayModuleSilent()
    {
        QVERIFY(m_sim->setRelayFault(1, Fault::Silent));
        RawLine line(m_sim->linkPath());
        QVERIFY(sendFrame(line, frame("0D 09 01 01 01 01 01 01 01 01 01 9D 86")));
        QVERIFY(line.send(kProbe));
        QCOMPARE(line.receive(kProbeAnswer.size()), kProbeAnswer);
    }

    // Without the relay modules, a poll for 13 is a Modbus request with
    // function 9, and Modbus module 13 refuses it as any slave would.
    void relayPollWithoutRelayModules()
    {
        m_sim->setRelayModules(false);
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(frame("0D 09 01 01 01 01 01 01 01 01 01 9D 86")));
        QCOMPARE(line.receive(5), frame("0D 89 01 46 53"));
    }

    void modbusAtARelayAddress()
    {
        RawLine line(m_sim->linkPath());
        QVERIFY(line.send(frame("0D 03 00 04 00 01 C5 07")));
        QCOMPARE(line.receive(7), frame("0D 03 02 00 CA 28 12"));
        QVERIFY(line.send(frame("0D 09 01 00 00 00 00 00 00 00 00 E0 F7")));
        QCOMPARE(line.receive(3), frame("0D 08 81"));
    }

    void requestLog()
    {
        const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
        QVERIFY(master);
        const quint16 packed[4] = {0x0101, 0x0202, 0x0303, 0x0505};
        QCOMPARE(modbus_write_registers(master.get(), 0, 4, packed), 4);
        modbus_set_slave(master.get(), 9);
        modbus_set_response_timeout(master.get(), 0, 100000);
        QVERIFY(readRegisters(master.get(), 16, 8).isEmpty());
        const QList<SimRequest> expected{{6, 16, 0, 4, {0x0101, 0x0202, 0x0303, 0x0505}},
                                         {9, 3, 16, 8, {}}};
        QCOMPARE(m_sim->requests(), expected);
        m_sim->clearRequests();
        QVERIFY(m_sim->requests().isEmpty());
    }

    // The program opens and closes its port for every transaction.
    void manyOpensAndCloses()
    {
        for (int i = 0; i < 100; ++i) {
            const ModbusMaster master = connectMaster(m_sim->linkPath(), 6);
            QVERIFY(master);
            QCOMPARE(readRegisters(master.get(), 4, 1), QList<quint16>{202});
        }
    }

    // Regression: a client's TIOCEXCL stayed on the pty after it closed, so
    // every later open by an ordinary user failed with EBUSY.
    void exclusiveModeDoesNotOutliveItsClient()
    {
        {
            RawLine client(m_sim->linkPath());
            QVERIFY(::ioctl(client.fd(), TIOCEXCL) == 0);
            QVERIFY(client.send(kProbe));
            QCOMPARE(client.receive(kProbeAnswer.size()), kProbeAnswer);
        }
        RawLine next(m_sim->linkPath()); // root may open it anyway, and look
        int exclusive = -1;
        QVERIFY(::ioctl(next.fd(), TIOCGEXCL, &exclusive) == 0);
        QCOMPARE(exclusive, 0);
        {
            RawLine prober(m_sim->linkPath()); // opens and writes nothing
            QVERIFY(::ioctl(prober.fd(), TIOCEXCL) == 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(::ioctl(next.fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0,
                                 5000);
    }

    void vanishAndReturn()
    {
        const QString link = m_sim->linkPath();
        RawLine client(link);
        QVERIFY(client.isOpen());
        QVERIFY(m_sim->vanish());
        QVERIFY(m_sim->hasVanished());
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!m_sim->vanish());
        pollfd hangup{client.fd(), POLLIN, 0};
        QVERIFY(::poll(&hangup, 1, 5000) == 1 && (hangup.revents & (POLLHUP | POLLERR)));

        QVERIFY(m_sim->reappear().ok());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), m_sim->ptyPath());
        const ModbusMaster master = connectMaster(link, 6);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 0, 4),
                 (QList<quint16>{0x0102, 0x0304, 0x0500, 0x0105}));
        QVERIFY(!m_sim->reappear().ok());
    }

    void stopRemovesTheLink()
    {
        const QString link = m_sim->linkPath();
        QVERIFY(QFileInfo(link).isSymLink());
        m_sim->stop();
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!m_sim->isRunning());
        m_sim->stop();
    }

    void refusesToReplaceAFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("plain"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        BusSimulator sim(path);
        const Result<> started = sim.start();
        QVERIFY(!started);
        QVERIFY(!started.error().isEmpty());
        QVERIFY(QFileInfo(path).isFile());
    }

    void servesAnOpenPort()
    {
        int master = -1;
        int slave = -1;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        {
            BusSimulator sim(BusSimulator::OpenPort{master});
            sim.addModule(5);
            QVERIFY(sim.start().ok());
            QVERIFY(!sim.vanish());
            RawLine client(slave);
            QVERIFY(client.send(kDeviceTypeOf5));
            const QByteArray answer = client.receive(kDeviceTypeOf5Answer.size());
            QCOMPARE(answer, kDeviceTypeOf5Answer);
        }
        ::close(master);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
};

QTEST_APPLESS_MAIN(TestBusSimulator)
#include "tst_bussimulator.moc"

#include "debug/vrxprotocol.h"
#include "link/busline.h"
#include "link/protocol.h"
#include "link/tcomport.h"
#include "sim/bussimulator.h"

#include <QTemporaryDir>
#include <QtTest>

#include <array>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The program's own master (TComPort, Protocol with its guard, VRXProtocol)
// against the bus simulator on a pseudo-terminal, in the real 50 ms reply
// window. The port is opened by the simulator's link path, as a user would
// name it.
//
// The bus of every test: module 5 without configuration, module 6 holding
// Pt100, Ni100, Ni120, Cu10, 4-20 mA, not used, Pt100, 4-20 mA, and the three
// relay modules. Nothing answers at address 9.
//
// A failed attempt costs 60 ms when nothing came back, and one more 50 ms
// reply window when a reply had begun and was cut off (see MBProtocol); a
// call that fails makes two attempts.
namespace {

using Types = SimInputTypes;
using Values = QList<quint16>;

const Types kModule6Types = {1, 2, 3, 4, 5, 0, 1, 5};

// Input types two to a register, the odd input in the high byte.
QList<qint16> PackedTypes(const Types &types)
{
    QList<qint16> packed;
    for (size_t r = 0; r < types.size(); r += 2)
        packed.append(qint16(types[r] << 8 | types[r + 1]));
    return packed;
}

// Whether a reading in tenths is one the simulator gives for an input of this
// type: 15.0 to 30.0 degrees for an RTD, 10.0 to 14.0 mA for a loop, 0 when
// the input is not used.
bool PlausibleReading(int type, int tenths)
{
    if (type == 0)
        return tenths == 0;
    if (type == 5)
        return tenths >= 100 && tenths <= 140;
    return tenths >= 150 && tenths <= 300;
}

// The same for a relay module's reading byte: degrees plus 50 for an RTD,
// tenths of a milliampere for a loop.
bool PlausibleRelayByte(int type, int reading)
{
    if (type == 0)
        return reading == 0;
    if (type == 5)
        return reading >= 100 && reading <= 140;
    return reading >= 65 && reading <= 80;
}

// Waits until count bytes are waiting in an open line's input, without
// taking them. The simulator's replies arrive a character at a time.
bool InputArrives(int fd, int count, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    int waiting = 0;
    while (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting < count && !deadline.hasExpired())
        QThread::msleep(1);
    return waiting >= count;
}

// A TComPort that lets the line vanish at one chosen step of a transaction,
// so the step is certain and not a matter of timing.
class VanishingLine : public SerialLine
{
public:
    enum class Step
    {
        Never,
        Write,
        Read
    };

    VanishingLine(TComPort &port, BusSimulator &sim, Step step)
        : m_port(port), m_sim(sim), m_step(step)
    {}

    QString Port() const override { return m_port.Port(); }
    void SetPort(const QString &name) override { m_port.SetPort(name); }
    void Open() override { m_port.Open(); }
    void Close() override { m_port.Close(); }
    bool Connected() const override { return m_port.Connected(); }
    void Purge(bool input, bool output) override { m_port.Purge(input, output); }
    int PendingOutput() override { return m_port.PendingOutput(); }
    int Write(const uint8_t *bytes, int count) override
    {
        VanishAt(Step::Write);
        return m_port.Write(bytes, count);
    }
    int ReadAvailable(QByteArray &text, int count) override
    {
        VanishAt(Step::Read);
        return m_port.ReadAvailable(text, count);
    }
    int BaudRate() const override { return m_port.BaudRate(); }
    void SetBaudRate(int baud) override { m_port.SetBaudRate(baud); }
    ParityBits Parity() const override { return m_port.Parity(); }
    void SetParity(ParityBits parity) override { m_port.SetParity(parity); }

private:
    void VanishAt(Step step)
    {
        if (step != m_step)
            return;
        m_step = Step::Never;
        m_sim.vanish();
    }

    TComPort &m_port;
    BusSimulator &m_sim;
    Step m_step;
};

} // namespace

class TestMasterOnSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void configurationThenReadings_data();
    void configurationThenReadings();
    void identityRegisters_data();
    void identityRegisters();
    void notchCommand_data();
    void notchCommand();
    void broadcastWriteReachesEveryModuleWithoutReply();
    void failedCallsMakeTwoTransactions_data();
    void failedCallsMakeTwoTransactions();
    void lateReplyReadsAsFailedNotAsTheNextAnswer();
    void vanishingLine_data();
    void vanishingLine();

    void relayPolls_data();
    void relayPolls();
    void relayPollFailures_data();
    void relayPollFailures();

private:
    // Guarded calls on the Modbus port; Read gives the values, or none when
    // the call failed. A call that leaves the port open is remembered and
    // fails the test in cleanup().
    Values Read(int address, int first, int count);
    bool Write(int address, int first, const QList<qint16> &values);
    void NoteLeftOpen(const char *call);

    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
    TComPort m_port; // the program's m_comport
    SerialLine *m_line = &m_port;
    QString m_leftOpen;
};

void TestMasterOnSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestMasterOnSim::init()
{
    m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttyBUS")));
    m_sim->addModule(5);
    m_sim->addModule(6, kModule6Types);
    m_sim->setRelayModules(true);
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));
    m_port.SetPort(m_sim->linkPath());
    m_port.SetBaudRate(19200);
    m_line = &m_port;
    m_leftOpen.clear();
}

void TestMasterOnSim::cleanup()
{
    m_port.Close();
    m_sim.reset();
    QVERIFY2(m_leftOpen.isEmpty(), qPrintable(m_leftOpen + QStringLiteral(" left the port open")));
}

void TestMasterOnSim::NoteLeftOpen(const char *call)
{
    if (m_port.Connected() && m_leftOpen.isEmpty())
        m_leftOpen = QString::fromLatin1(call);
}

Values TestMasterOnSim::Read(int address, int first, int count)
{
    Values values(count, 0xBEEF);
    const bool ok = Protocol().ReadRegisters({address, m_line}, first, count, values.data());
    NoteLeftOpen("ReadRegisters");
    return ok ? values : Values();
}

bool TestMasterOnSim::Write(int address, int first, const QList<qint16> &values)
{
    const bool ok =
        Protocol().WriteRegisters({address, m_line}, first, int(values.size()), values.data());
    NoteLeftOpen("WriteRegisters");
    return ok;
}

void TestMasterOnSim::configurationThenReadings_data()
{
    QTest::addColumn<Types>("types");
    QTest::newRow("Pt100, -, Ni100, Ni120, Cu10, 4-20 mA, -, Pt100")
        << Types{1, 0, 2, 3, 4, 5, 0, 1};
    QTest::newRow("all Pt100") << Types{1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("all 4-20 mA") << Types{5, 5, 5, 5, 5, 5, 5, 5};
}

void TestMasterOnSim::configurationThenReadings()
{
    QFETCH(Types, types);
    QCOMPARE(Read(5, 16, 8), Values(8, 20000)); // no configuration yet

    QVERIFY(Write(5, 0, PackedTypes(types)));
    const SimModuleState state = *m_sim->moduleState(5);
    QVERIFY(state.configured);
    QCOMPARE(state.inputTypes, types);

    const Values readings = Read(5, 16, 8);
    QCOMPARE(readings.size(), 8);
    for (int k = 0; k < 8; ++k) {
        QVERIFY2(PlausibleReading(types[size_t(k)], readings[k]),
                 qPrintable(QStringLiteral("input %1 type %2 reads %3")
                                .arg(k + 1)
                                .arg(types[size_t(k)])
                                .arg(readings[k])));
    }
    QCOMPARE(Read(5, 0, 4),
             Values({quint16(types[0] << 8 | types[1]), quint16(types[2] << 8 | types[3]),
                     quint16(types[4] << 8 | types[5]), quint16(types[6] << 8 | types[7])}));
}

// The three reads of the module scan: two registers each from 4, 5 and 7.
void TestMasterOnSim::identityRegisters_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<Values>("expected");
    QTest::newRow("device type 202") << 4 << Values{202, 311};
    QTest::newRow("firmware 3.11") << 5 << Values{311, 0};
    QTest::newRow("notch 60 Hz") << 7 << Values{60, 0};
}

void TestMasterOnSim::identityRegisters()
{
    QFETCH(int, first);
    QFETCH(Values, expected);
    m_sim->clearRequests();
    QCOMPARE(Read(6, first, 2), expected);
    QCOMPARE(m_sim->requests().size(), 1);
}

void TestMasterOnSim::notchCommand_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("hz"); // 0: refused, the notch stays at 60 Hz
    QTest::newRow("10 Hz") << 266 << 10;
    QTest::newRow("50 Hz") << 306 << 50;
    QTest::newRow("60 Hz") << 316 << 60;
    QTest::newRow("100 Hz is refused") << 356 << 0;
}

void TestMasterOnSim::notchCommand()
{
    QFETCH(int, command);
    QFETCH(int, hz);
    m_sim->clearRequests();
    QCOMPARE(Write(6, 46252, {qint16(command), 0}), hz != 0);
    const int expected = hz ? hz : 60;
    QCOMPARE(m_sim->moduleState(6)->notchHz, expected);
    QCOMPARE(m_sim->requests().constFirst(), (SimRequest{6, 16, 46252, 2, {quint16(command), 0}}));
    QCOMPARE(m_sim->requests().size(), hz ? 1 : 2); // a refusal is tried once more
    QCOMPARE(Read(6, 7, 2), (Values{quint16(expected), 0}));
}

void TestMasterOnSim::broadcastWriteReachesEveryModuleWithoutReply()
{
    const Types types = {4, 4, 3, 3, 2, 2, 1, 5};
    m_sim->clearRequests();
    QVERIFY(Write(0, 0, PackedTypes(types)));
    // No module answers a broadcast, so the call returned as soon as the
    // request was written; the modules apply it when it reaches them.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->moduleState(5)->inputTypes == types &&
                                 m_sim->moduleState(6)->inputTypes == types,
                             5000);
    QCOMPARE(m_sim->requests().size(), 1);
    QCOMPARE(m_sim->requests().constFirst().address, 0);
}

void TestMasterOnSim::failedCallsMakeTwoTransactions_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("write"); // else a read of the eight readings
    QTest::newRow("silent, read") << 6 << Fault::Silent << false;
    QTest::newRow("silent, write") << 6 << Fault::Silent << true;
    QTest::newRow("exception, read") << 6 << Fault::Exception << false;
    QTest::newRow("exception, write") << 6 << Fault::Exception << true;
    QTest::newRow("bad CRC, read") << 6 << Fault::BadCrc << false;
    QTest::newRow("garbage, read") << 6 << Fault::Garbage << false;
    QTest::newRow("garbage, write") << 6 << Fault::Garbage << true;
    QTest::newRow("address not simulated, read") << 9 << Fault::None << false;
    QTest::newRow("address not simulated, write") << 9 << Fault::None << true;
}

void TestMasterOnSim::failedCallsMakeTwoTransactions()
{
    QFETCH(int, address);
    QFETCH(Fault, fault);
    QFETCH(bool, write);
    if (fault != Fault::None)
        QVERIFY(m_sim->setFault(address, fault));
    m_sim->clearRequests();

    const QList<qint16> types = PackedTypes({5, 5, 5, 5, 0, 0, 0, 0});
    if (write)
        QVERIFY(!Write(address, 0, types));
    else
        QVERIFY(Read(address, 16, 8).isEmpty());

    const SimRequest request =
        write ? SimRequest{address, 16, 0, 4, Values(types.begin(), types.end())}
              : SimRequest{address, 3, 16, 8, {}};
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->requests(), (QList<SimRequest>{request, request}), 2000);

    // The faulty answers left nothing behind that the next call could take.
    m_sim->clearAllFaults();
    m_sim->clearRequests();
    QCOMPARE(Read(6, 4, 2), (Values{202, 311}));
    QCOMPARE(m_sim->requests().size(), 1);
}

// A module that answers 80 ms after the request misses the 50 ms window of
// every attempt. Its answers reach the line while later transactions wait for
// theirs; none may be taken for the answer to another request. A read of
// register 4 then 5 then 7 gives each register's own values or fails, never
// the values of the register before (the device type {202, 311} read as the
// firmware).
void TestMasterOnSim::lateReplyReadsAsFailedNotAsTheNextAnswer()
{
    QVERIFY(m_sim->setFault(6, Fault::Late));
    const QList<std::pair<int, Values>> registers = {
        {4, {202, 311}}, {5, {311, 0}}, {7, {60, 0}}, {4, {202, 311}}};
    for (const auto &[first, own] : registers) {
        const Values got = Read(6, first, 2);
        if (!got.isEmpty())
            QCOMPARE(got, own);
    }

    m_sim->clearAllFaults();
    WaitMs(200); // the last late answer has come and gone
    m_sim->clearRequests();
    QCOMPARE(Read(6, 7, 2), (Values{60, 0}));
    QCOMPARE(m_sim->requests().size(), 1);
}

void TestMasterOnSim::vanishingLine_data()
{
    QTest::addColumn<VanishingLine::Step>("step"); // Never: before the call
    QTest::newRow("between calls") << VanishingLine::Step::Never;
    QTest::newRow("as the request is written") << VanishingLine::Step::Write;
    QTest::newRow("while the reply is read") << VanishingLine::Step::Read;
}

void TestMasterOnSim::vanishingLine()
{
    QFETCH(VanishingLine::Step, step);
    QCOMPARE(Read(6, 4, 2), (Values{202, 311}));
    if (step == VanishingLine::Step::Never)
        QVERIFY(m_sim->vanish());
    VanishingLine line(m_port, *m_sim, step);
    m_line = &line;

    QVERIFY(Read(6, 16, 8).isEmpty());
    QVERIFY(m_sim->hasVanished());
    QVERIFY(!Write(6, 0, PackedTypes({1, 1, 1, 1, 1, 1, 1, 1})));
    QVERIFY(Read(6, 4, 2).isEmpty());

    QVERIFY(m_sim->reappear().ok());
    QCOMPARE(Read(6, 4, 2), (Values{202, 311}));
    QVERIFY(Write(6, 0, PackedTypes({1, 1, 1, 1, 1, 1, 1, 1})));
    QCOMPARE(m_sim->moduleState(6)->inputTypes, (Types{1, 1, 1, 1, 1, 1, 1, 1}));
}

void TestMasterOnSim::relayPolls_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<Types>("types");
    QTest::newRow("module 1, not used") << 1 << Types{0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("module 1, Pt100") << 1 << Types{1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("module 2, mixed") << 2 << Types{1, 2, 3, 4, 5, 0, 1, 1};
    QTest::newRow("module 3, 4-20 mA") << 3 << Types{5, 5, 5, 5, 5, 5, 5, 5};
}

void TestMasterOnSim::relayPolls()
{
    QFETCH(int, module);
    QFETCH(Types, types);
    TComPort vrxPort; // the program's vrx_comport
    vrxPort.SetPort(m_sim->linkPath());
    // Polled twice on the same object: the line stays open between polls.
    for (int poll = 0; poll < 2; ++poll) {
        VrxResult result;
        result.module = -1;
        QVERIFY(VRXProtocol(&vrxPort).PollModule(module, types, result));
        QCOMPARE(result.module, module);
        for (size_t k = 0; k < 8; ++k) {
            QVERIFY2(PlausibleRelayByte(types[k], result.readings[k]),
                     qPrintable(QStringLiteral("input %1 type %2 reads %3")
                                    .arg(k + 1)
                                    .arg(types[k])
                                    .arg(result.readings[k])));
        }
        QVERIFY(vrxPort.Connected());
        QCOMPARE(vrxPort.Parity(), ParityBits::Space);
        QCOMPARE(vrxPort.BaudRate(), 57600);
    }
    const SimRequest expected{module + 12, 9, 0, 8, Values(types.begin(), types.end())};
    QCOMPARE(m_sim->requests(), (QList<SimRequest>{expected, expected}));
}

void TestMasterOnSim::relayPollFailures_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("relayOn");
    QTest::newRow("silent") << 2 << Fault::Silent << true;
    QTest::newRow("garbage") << 2 << Fault::Garbage << true;
    QTest::newRow("late") << 2 << Fault::Late << true;
    QTest::newRow("module 4 is not simulated") << 4 << Fault::None << true;
    QTest::newRow("relay modules off") << 2 << Fault::None << false;
}

void TestMasterOnSim::relayPollFailures()
{
    QFETCH(int, module);
    QFETCH(Fault, fault);
    QFETCH(bool, relayOn);
    m_sim->setRelayModules(relayOn);
    if (fault != Fault::None)
        QVERIFY(m_sim->setRelayFault(2, fault));
    TComPort vrxPort;
    vrxPort.SetPort(m_sim->linkPath());
    const Types types = {1, 1, 1, 1, 5, 5, 5, 5};
    VrxResult result;
    QVERIFY(!VRXProtocol(&vrxPort).PollModule(module, types, result));

    // Whatever the failed poll left on the line is purged by the next one.
    m_sim->setRelayModules(true);
    m_sim->clearRelayFaults(2);
    if (fault == Fault::Late)
        QVERIFY(InputArrives(vrxPort.Handle(), 12));
    QVERIFY(VRXProtocol(&vrxPort).PollModule(2, types, result));
    QCOMPARE(result.module, 2);
    QVERIFY(PlausibleRelayByte(1, result.readings[0]));
    QVERIFY(PlausibleRelayByte(5, result.readings[7]));
}

QTEST_APPLESS_MAIN(TestMasterOnSim)
#include "tst_masteronsim.moc"

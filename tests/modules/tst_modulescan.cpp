// The module scan and the notch filter command, apart from the page: on the
// bus simulator through the program's own master (Protocol on a TComPort,
// over a pseudo-terminal, in the real reply window), and with recording
// functions for the order of the calls.

#include "link/protocol.h"
#include "link/tcomport.h"
#include "modules/modulescan.h"
#include "modules/moduletable.h"
#include "sim/bussimulator.h"
#include "sim/simconsole.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kDashes = QStringLiteral("----");

bool ReadOnBus(const BusTarget &target, int first, int count, uint16_t *values)
{
    return Protocol().ReadRegisters(target, first, count, values);
}

bool WriteOnBus(const BusTarget &target, int first, int count, const int16_t *values)
{
    return Protocol().WriteRegisters(target, first, count, values);
}

ModuleInfo Info(const char *device, const char *firmware, const char *frequency)
{
    return {QString::fromLatin1(device), QString::fromLatin1(firmware),
            QString::fromLatin1(frequency)};
}

// Everything the scan or the command asks of the bus and tells its caller,
// in the order it happens.
struct Recorder
{
    QStringList calls;
    // What the recording reader answers: the address in the first value
    // (module 4 answers 202 to its device read), nothing for a silent one.
    QList<int> silent;

    RegisterReader Reader()
    {
        return [this](const BusTarget &target, int first, int count, uint16_t *values) {
            calls << QStringLiteral("read %1 from %2 count %3")
                         .arg(target.address)
                         .arg(first)
                         .arg(count);
            if (silent.contains(target.address))
                return false;
            values[0] = uint16_t(first == 4 ? 202 : first == 5 ? 311 : 50);
            values[1] = 0;
            return true;
        };
    }
    RegisterWriter Writer()
    {
        return [this](const BusTarget &target, int first, int count, const int16_t *values) {
            QStringList written;
            for (int i = 0; i < count; ++i)
                written << QString::number(values[i]);
            calls << QStringLiteral("write %1 from %2 count %3 values %4")
                         .arg(target.address)
                         .arg(first)
                         .arg(count)
                         .arg(written.join(QLatin1Char(' ')));
            return !silent.contains(target.address);
        };
    }
    ScanProgress Progress()
    {
        return [this](int step) { calls << QStringLiteral("progress %1").arg(step); };
    }
    ModuleInfoHook Show()
    {
        return [this](int step, const ModuleInfo &info) {
            calls << QStringLiteral("show %1: %2 / %3 / %4")
                         .arg(step)
                         .arg(info.device_type, info.firmware, info.frequency);
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(ModuleInfo)

class TestModuleScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scanOnTheSimulator_data();
    void scanOnTheSimulator();
    void threeReadsOfTwoRegisters();
    void scanInListOrderWithProgress();
    void noModuleListedAsksNothing();
    void notchCommandValue_data();
    void notchCommandValue();
    void notchWritesEveryListedModuleInOrder();
    void refusedFrequencyWritesNothing();
    void notchOnTheSimulatorThenScan();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
    TComPort m_port;
    ModuleTable m_table;
};

void TestModuleScan::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The firmware is written with the locale's decimal point; these
    // expectations are in the C locale.
    QLocale::setDefault(QLocale::c());
}

// Modules 5 and 6 on the line, both factory-new (202, 3.11, 60 Hz); nothing
// at 9.
void TestModuleScan::init()
{
    m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttyBUS")));
    m_sim->addModule(5);
    m_sim->addModule(6);
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));
    m_port.SetPort(m_sim->linkPath());
    m_port.SetBaudRate(19200);
    m_table.bus_target.port = &m_port;
}

void TestModuleScan::cleanup()
{
    QVERIFY(!m_port.Connected());
    m_sim.reset();
}

// Each row sets module 5 up as a user would at kelvora-sim's prompt.
void TestModuleScan::scanOnTheSimulator_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<int>("address");
    QTest::addColumn<ModuleInfo>("expected");
    const auto row = [](const char *name, QStringList setup, int address, ModuleInfo info) {
        QTest::newRow(name) << setup << address << info;
    };
    row("factory module", {}, 5, Info("TAV RTD", "3.11", "60 Hz"));
    row("device 201 is unknown, the rest still shows", {QStringLiteral("set 5 device 201")}, 5,
        Info("UNKNOWN", "3.11", "60 Hz"));
    row("device 0", {QStringLiteral("set 5 device 0")}, 5, Info("UNKNOWN", "3.11", "60 Hz"));
    row("firmware 3.00", {QStringLiteral("set 5 firmware 300")}, 5,
        Info("TAV RTD", "3.00", "60 Hz"));
    row("firmware is unsigned: 65535", {QStringLiteral("set 5 firmware 65535")}, 5,
        Info("TAV RTD", "655.35", "60 Hz"));
    row("notch 10 Hz", {QStringLiteral("set 5 notch 10")}, 5, Info("TAV RTD", "3.11", "10 Hz"));
    row("notch 50 Hz", {QStringLiteral("set 5 notch 50")}, 5, Info("TAV RTD", "3.11", "50 Hz"));
    row("notch 0 is unknown", {QStringLiteral("set 5 notch 0")}, 5,
        Info("TAV RTD", "3.11", "UNKNOWN"));
    row("notch 316, the command value, is unknown", {QStringLiteral("set 5 notch 316")}, 5,
        Info("TAV RTD", "3.11", "UNKNOWN"));
    row("silent module", {QStringLiteral("fault 5 silent")}, 5, Info("----", "----", "----"));
    row("module that refuses everything", {QStringLiteral("fault 5 exception")}, 5,
        Info("----", "----", "----"));
    row("nothing at the address", {}, 9, Info("----", "----", "----"));
    row("device read refused", {QStringLiteral("fault 5 exception register 4")}, 5,
        Info("----", "3.11", "60 Hz"));
    row("firmware read unanswered", {QStringLiteral("fault 5 silent register 5")}, 5,
        Info("TAV RTD", "----", "60 Hz"));
    row("frequency read with a bad CRC", {QStringLiteral("fault 5 badcrc register 7")}, 5,
        Info("TAV RTD", "3.11", "----"));
    row("device unknown and frequency unanswered",
        {QStringLiteral("set 5 device 201"), QStringLiteral("fault 5 silent register 7")}, 5,
        Info("UNKNOWN", "3.11", "----"));
}

void TestModuleScan::scanOnTheSimulator()
{
    QFETCH(QStringList, setup);
    QFETCH(int, address);
    QFETCH(ModuleInfo, expected);
    SimConsole console(*m_sim);
    for (const QString &line : setup)
        QVERIFY2(console.execute(line).ok(), qPrintable(line));

    const ModuleInfo info = ReadModuleInfo(m_table.bus_target, address, ReadOnBus);
    QCOMPARE(info.device_type, expected.device_type);
    QCOMPARE(info.firmware, expected.firmware);
    QCOMPARE(info.frequency, expected.frequency);
    QCOMPARE(m_table.bus_target.address, address);
    // The scan only reads.
    for (const SimRequest &request : m_sim->requests())
        QCOMPARE(request.function, 3);
}

// Function 3, two registers from 4, from 5 and from 7, in that order; a read
// that fails is tried once more.
void TestModuleScan::threeReadsOfTwoRegisters()
{
    QVERIFY(m_sim->setRegisterFault(6, 5, Fault::Exception));
    const ModuleInfo info = ReadModuleInfo(m_table.bus_target, 6, ReadOnBus);
    QCOMPARE(info, Info("TAV RTD", "----", "60 Hz"));
    const auto read = [](int first) { return SimRequest{6, 3, first, 2, {}}; };
    QCOMPARE(m_sim->requests(), (QList<SimRequest>{read(4), read(5), read(5), read(7)}));
}

void TestModuleScan::scanInListOrderWithProgress()
{
    Recorder recorder;
    recorder.silent = {17};
    // The page never lists 0 or 64; were one there, it would be passed over
    // rather than read as the broadcast or refused by the master.
    ScanModuleRows(m_table, {3, 17, 0, 40}, recorder.Reader(), recorder.Show(),
                   recorder.Progress());
    const QStringList expected{
        QStringLiteral("progress 1"),
        QStringLiteral("read 3 from 4 count 2"),
        QStringLiteral("read 3 from 5 count 2"),
        QStringLiteral("read 3 from 7 count 2"),
        QStringLiteral("show 1: TAV RTD / 3.11 / 50 Hz"),
        QStringLiteral("progress 2"),
        QStringLiteral("read 17 from 4 count 2"),
        QStringLiteral("read 17 from 5 count 2"),
        QStringLiteral("read 17 from 7 count 2"),
        QStringLiteral("show 2: ---- / ---- / ----"),
        QStringLiteral("progress 3"),
        QStringLiteral("show 3: ---- / ---- / ----"),
        QStringLiteral("progress 4"),
        QStringLiteral("read 40 from 4 count 2"),
        QStringLiteral("read 40 from 5 count 2"),
        QStringLiteral("read 40 from 7 count 2"),
        QStringLiteral("show 4: TAV RTD / 3.11 / 50 Hz"),
    };
    QCOMPARE(recorder.calls, expected);
    QCOMPARE(m_table.bus_target.address, 40);
}

void TestModuleScan::noModuleListedAsksNothing()
{
    Recorder recorder;
    ScanModuleRows(m_table, {}, recorder.Reader(), recorder.Show(), recorder.Progress());
    QVERIFY(SetNotchFrequencyRows(m_table, {}, 50, recorder.Writer(), recorder.Progress()).ok());
    QVERIFY(recorder.calls.isEmpty());
}

void TestModuleScan::notchCommandValue_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("value"); // 0: refused
    QTest::newRow("10 Hz") << 10 << 266;
    QTest::newRow("50 Hz") << 50 << 306;
    QTest::newRow("60 Hz") << 60 << 316;
    QTest::newRow("0 Hz") << 0 << 0;
    QTest::newRow("55 Hz") << 55 << 0;
    QTest::newRow("the command value itself") << 306 << 0;
    QTest::newRow("-246 Hz, which would give 10") << -246 << 0;
}

void TestModuleScan::notchCommandValue()
{
    QFETCH(int, hz);
    QFETCH(int, value);
    const Result<int16_t> command = NotchCommandValue(hz);
    QCOMPARE(command.ok(), value != 0);
    if (value != 0)
        QCOMPARE(int(*command), value);
    else
        QVERIFY(!command.error().isEmpty());
}

// Two registers from 46252: 256 + hz, then 0; every listed module in list
// order, each after its progress step, whether the one before answered or
// not.
void TestModuleScan::notchWritesEveryListedModuleInOrder()
{
    Recorder recorder;
    recorder.silent = {2};
    QVERIFY(
        SetNotchFrequencyRows(m_table, {2, 9, 64, 40}, 50, recorder.Writer(), recorder.Progress())
            .ok());
    const QStringList expected{
        QStringLiteral("progress 1"),
        QStringLiteral("write 2 from 46252 count 2 values 306 0"),
        QStringLiteral("progress 2"),
        QStringLiteral("write 9 from 46252 count 2 values 306 0"),
        QStringLiteral("progress 3"),
        QStringLiteral("progress 4"),
        QStringLiteral("write 40 from 46252 count 2 values 306 0"),
    };
    QCOMPARE(recorder.calls, expected);
}

void TestModuleScan::refusedFrequencyWritesNothing()
{
    Recorder recorder;
    const Result<> done =
        SetNotchFrequencyRows(m_table, {2, 9}, 55, recorder.Writer(), recorder.Progress());
    QVERIFY(!done.ok());
    QVERIFY(recorder.calls.isEmpty());
}

// The command through the program's master: both modules take 10 Hz (the
// one with old firmware too), the absent one is tried twice and passed over,
// and the scan after it shows the new frequency.
void TestModuleScan::notchOnTheSimulatorThenScan()
{
    QVERIFY(m_sim->setIdentity(6, SimIdentity::Firmware, 300));
    QList<int> steps;
    QVERIFY(SetNotchFrequencyRows(m_table, {5, 6, 9}, 10, WriteOnBus, [&steps](int step) {
                steps << step;
            }).ok());
    QCOMPARE(steps, (QList<int>{1, 2, 3}));
    const auto command = [](int address) { return SimRequest{address, 16, 46252, 2, {266, 0}}; };
    QCOMPARE(m_sim->requests(),
             (QList<SimRequest>{command(5), command(6), command(9), command(9)}));
    QCOMPARE(m_sim->moduleState(5)->notchHz, 10);
    QCOMPARE(m_sim->moduleState(6)->notchHz, 10);

    QList<ModuleInfo> shown;
    ScanModuleRows(m_table, {5, 6, 9}, ReadOnBus,
                   [&shown](int, const ModuleInfo &info) { shown << info; });
    QCOMPARE(shown,
             (QList<ModuleInfo>{Info("TAV RTD", "3.11", "10 Hz"), Info("TAV RTD", "3.00", "10 Hz"),
                                Info("----", "----", "----")}));
}

QTEST_APPLESS_MAIN(TestModuleScan)
#include "tst_modulescan.moc"

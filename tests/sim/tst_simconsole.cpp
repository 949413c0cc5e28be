#include "sim/bussimulator.h"
#include "sim/simconsole.h"

#include <QTemporaryDir>
#include <QtTest>

// The commands and command-line specifications of kelvora-sim, applied to a
// simulator that is not running (its state is the same either way).
// Module 5 holds the default mix, module 6 no configuration; relay modules on.
class TestSimConsole : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_sim = std::make_unique<BusSimulator>(m_dir.filePath(QStringLiteral("ttySIM")));
        m_sim->addModule(5, SimConsole::defaultMix());
        m_sim->addModule(6);
        m_sim->setRelayModules(true);
        m_console = std::make_unique<SimConsole>(*m_sim);
    }

    void faultCommands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("module"); // "5" or "r2": whose faults to look at
        QTest::addColumn<SimFaults>("faults");

        const auto reply = [](Fault fault) {
            SimFaults f;
            f.reply = fault;
            return f;
        };
        const auto input = [](int k, Fault fault) {
            SimFaults f;
            f.inputs[k - 1] = fault;
            return f;
        };
        const auto from = [](int first, Fault fault) {
            SimFaults f;
            f.registers[first] = fault;
            return f;
        };
        SimFaults forced;
        forced.forced[1] = 65535;
        const QString m5 = QStringLiteral("5");

        QTest::newRow("silent") << "fault 5 silent" << true << m5 << reply(Fault::Silent);
        QTest::newRow("any case") << "FAULT 5 Late" << true << m5 << reply(Fault::Late);
        QTest::newRow("bad crc") << "fault 5 badcrc" << true << m5 << reply(Fault::BadCrc);
        QTest::newRow("exception") << "fault 5 exception" << true << m5 << reply(Fault::Exception);
        QTest::newRow("garbage") << "  fault   5 garbage " << true << m5 << reply(Fault::Garbage);
        QTest::newRow("wrong address")
            << "fault 5 wrongaddress" << true << m5 << reply(Fault::WrongAddress);
        QTest::newRow("cut off") << "fault 5 cutoff" << true << m5 << reply(Fault::CutOff);
        QTest::newRow("relay cut off") << "fault r1 cutoff" << true << "r1" << reply(Fault::CutOff);
        QTest::newRow("open input 3") << "fault 5 open 3" << true << m5 << input(3, Fault::Open);
        QTest::newRow("shorted input 8")
            << "fault 5 shorted 8" << true << m5 << input(8, Fault::Shorted);
        QTest::newRow("range input 1")
            << "fault 5 range 1" << true << m5 << input(1, Fault::OutOfRange);
        QTest::newRow("value -1 is 65535") << "fault 5 value 2 -1" << true << m5 << forced;
        QTest::newRow("relay late") << "fault r2 late" << true << "r2" << reply(Fault::Late);
        QTest::newRow("relay open") << "fault r2 open 4" << true << "r2" << input(4, Fault::Open);
        QTest::newRow("exception from register 5")
            << "fault 5 exception register 5" << true << m5 << from(5, Fault::Exception);
        QTest::newRow("silent from register 7")
            << "fault 5 Silent Register 7" << true << m5 << from(7, Fault::Silent);

        QTest::newRow("open needs an input") << "fault 5 open" << false << m5 << SimFaults{};
        QTest::newRow("silent takes none") << "fault 5 silent 3" << false << m5 << SimFaults{};
        QTest::newRow("input 9") << "fault 5 open 9" << false << m5 << SimFaults{};
        QTest::newRow("unknown fault") << "fault 5 melted" << false << m5 << SimFaults{};
        QTest::newRow("value out of 16 bits")
            << "fault 5 value 2 65536" << false << m5 << SimFaults{};
        QTest::newRow("value without input") << "fault 5 value 1234" << false << m5 << SimFaults{};
        QTest::newRow("module not simulated") << "fault 9 silent" << false << m5 << SimFaults{};
        QTest::newRow("address 64") << "fault 64 silent" << false << m5 << SimFaults{};
        QTest::newRow("relay has no CRC") << "fault r2 badcrc" << false << "r2" << SimFaults{};
        QTest::newRow("relay byte") << "fault r2 value 1 256" << false << "r2" << SimFaults{};
        QTest::newRow("relay 4") << "fault r4 late" << false << "r2" << SimFaults{};
        QTest::newRow("unknown command") << "explode 5" << false << m5 << SimFaults{};
        QTest::newRow("register needs a number")
            << "fault 5 silent register" << false << m5 << SimFaults{};
        QTest::newRow("register 65536")
            << "fault 5 silent register 65536" << false << m5 << SimFaults{};
        QTest::newRow("reading fault on a register")
            << "fault 5 open register 5" << false << m5 << SimFaults{};
        QTest::newRow("relay has no registers")
            << "fault r2 silent register 5" << false << "r2" << SimFaults{};
    }

    void setCommands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reply"); // "ok", or the error
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("notch");
        QTest::newRow("device 201") << "set 5 device 201"
                                    << "ok" << 201 << 311 << 60;
        QTest::newRow("firmware 65535") << "set 5 firmware 65535"
                                        << "ok" << 202 << 65535 << 60;
        QTest::newRow("notch 0") << "SET 5 Notch 0"
                                 << "ok" << 202 << 311 << 0;
        QTest::newRow("value above 16 bits") << "set 5 firmware 65536"
                                             << "value must be 0..65535: 65536" << 202 << 311 << 60;
        QTest::newRow("unknown register")
            << "set 5 colour 3"
            << "set takes device, firmware or notch: colour" << 202 << 311 << 60;
        QTest::newRow("module not simulated") << "set 9 device 1"
                                              << "module 9 is not simulated" << 202 << 311 << 60;
        QTest::newRow("missing value")
            << "set 5 device"
            << "usage: set ADDR device|firmware|notch VALUE" << 202 << 311 << 60;
    }

    void setCommands()
    {
        QFETCH(QString, line);
        QFETCH(QString, reply);
        const Result<QString> done = m_console->execute(line);
        QCOMPARE(done ? *done : done.error(), reply);
        const SimModuleState state = *m_sim->moduleState(5);
        QTEST(int(state.deviceType), "device");
        QTEST(int(state.firmware), "firmware");
        QTEST(state.notchHz, "notch");
    }

    void setSpecUsesTheSameWords()
    {
        QVERIFY(m_console->applySetSpec(QStringLiteral("6:device:201")).ok());
        QCOMPARE(m_sim->moduleState(6)->deviceType, quint16(201));
        QVERIFY(m_console->applyFaultSpec(QStringLiteral("6:exception:register:5")).ok());
        QCOMPARE(m_sim->moduleState(6)->faults.registers.at(5), Fault::Exception);
        const Result<> refused = m_console->applySetSpec(QStringLiteral("6:device"));
        QVERIFY(!refused.ok());
        QCOMPARE(refused.error(), QStringLiteral("usage: set ADDR device|firmware|notch VALUE"));
    }

    void faultCommands()
    {
        QFETCH(QString, line);
        QFETCH(bool, accepted);
        QFETCH(QString, module);
        QFETCH(SimFaults, faults);
        const Result<QString> reply = m_console->execute(line);
        QCOMPARE(reply.ok(), accepted);
        if (accepted)
            QCOMPARE(*reply, QStringLiteral("ok"));
        else
            QVERIFY(!reply.error().isEmpty());
        const bool relay = module.startsWith(QLatin1Char('r'));
        const SimFaults now = relay ? *m_sim->relayFaults(module.mid(1).toInt())
                                    : m_sim->moduleState(module.toInt())->faults;
        QVERIFY(now == faults);
    }

    void faultSpecsUseTheSameWords()
    {
        QVERIFY(m_console->applyFaultSpec(QStringLiteral("5:open:3")).ok());
        QCOMPARE(m_sim->moduleState(5)->faults.inputs[2], Fault::Open);
        QVERIFY(m_console->applyFaultSpec(QStringLiteral("r1:silent")).ok());
        QCOMPARE(m_sim->relayFaults(1)->reply, Fault::Silent);
        const Result<> refused = m_console->applyFaultSpec(QStringLiteral("5:open"));
        QVERIFY(!refused.ok());
        QCOMPARE(refused.error(), QStringLiteral("fault open does not apply to a whole module"));
    }

    // What a refused command says, word for word: the program prints it
    // after "error: ", and nothing else tells the user what went wrong.
    void refusalsSayWhy_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("why");
        QTest::newRow("module not simulated") << "fault 9 silent"
                                              << "module 9 is not simulated";
        QTest::newRow("no such module")
            << "fault 64 silent"
            << "no such module: 64 (1..63, or r1..r3 for a relay module)";
        QTest::newRow("unknown fault") << "fault 5 melted"
                                       << "unknown fault 'melted' (see help)";
        QTest::newRow("reply fault on an input") << "fault 5 silent 3"
                                                 << "fault silent does not apply to one input";
        QTest::newRow("input 9") << "fault 5 open 9"
                                 << "input must be 1..8: 9";
        QTest::newRow("clear unknown") << "clear 9"
                                       << "module 9 is not simulated";
        QTest::newRow("log 0") << "log 0"
                               << "usage: log [N]";
        QTest::newRow("report 0") << "report 0"
                                  << "usage: report [N]";
        QTest::newRow("unknown command") << "explode 5"
                                         << "unknown command 'explode 5' (try help)";
        QTest::newRow("return before vanish") << "return"
                                              << "the line has not vanished";
    }

    void refusalsSayWhy()
    {
        QFETCH(QString, line);
        QFETCH(QString, why);
        const Result<QString> reply = m_console->execute(line);
        QVERIFY(!reply.ok());
        QCOMPARE(reply.error(), why);
    }

    void chaosCommand()
    {
        QCOMPARE(run(QStringLiteral("chaos 10")), QStringLiteral("ok"));
        QCOMPARE(m_sim->chaos(), 10);
        QCOMPARE(run(QStringLiteral("chaos")), QStringLiteral("chaos 10 %: 0 random faults"));
        QVERIFY(run(QStringLiteral("list"))
                    .contains(QStringLiteral("random faults on 10 % of the requests")));
        for (const char *line : {"chaos 101", "chaos -1", "chaos ten", "chaos 5 6"}) {
            QVERIFY2(!m_console->execute(QString::fromLatin1(line)).ok(), line);
            QCOMPARE(m_sim->chaos(), 10);
        }
    }

    void lostForgetsTheTypes()
    {
        QCOMPARE(run(QStringLiteral("fault 5 lost")), QStringLiteral("ok"));
        QVERIFY(!m_sim->moduleState(5)->configured);
        QCOMPARE(m_sim->moduleState(5)->inputTypes, SimInputTypes{});
    }

    void clearCommands()
    {
        for (const char *line : {"fault 5 silent", "fault 5 open 2", "fault 5 value 3 7",
                                 "fault 6 late", "fault r1 garbage", "fault r3 shorted 1"})
            QCOMPARE(run(QString::fromLatin1(line)), QStringLiteral("ok"));
        QCOMPARE(run(QStringLiteral("clear 5")), QStringLiteral("ok"));
        QVERIFY(m_sim->moduleState(5)->faults.isClear());
        QCOMPARE(m_sim->moduleState(6)->faults.reply, Fault::Late);
        QCOMPARE(run(QStringLiteral("clear r1")), QStringLiteral("ok"));
        QVERIFY(m_sim->relayFaults(1)->isClear());
        QCOMPARE(run(QStringLiteral("clear all")), QStringLiteral("ok"));
        QVERIFY(m_sim->moduleState(6)->faults.isClear());
        QVERIFY(m_sim->relayFaults(3)->isClear());
        QVERIFY(!m_console->execute(QStringLiteral("clear 9")).ok());
    }

    void listShowsTheLineTiming()
    {
        m_sim->setTurnaround(std::chrono::microseconds(7500));
        QVERIFY(run(QStringLiteral("list"))
                    .section(QLatin1Char('\n'), 0, 0)
                    .endsWith(QLatin1String(", replies paced, turnaround 7.5 ms")));
        m_sim->setPacing(false);
        QVERIFY(run(QStringLiteral("list"))
                    .section(QLatin1Char('\n'), 0, 0)
                    .endsWith(QLatin1String(", replies not paced")));
    }

    void listShowsModulesAndFaults()
    {
        QCOMPARE(run(QStringLiteral("fault 6 silent")), QStringLiteral("ok"));
        QCOMPARE(run(QStringLiteral("fault 5 value 4 1234")), QStringLiteral("ok"));
        QCOMPARE(run(QStringLiteral("fault 5 exception register 7")), QStringLiteral("ok"));
        QCOMPARE(run(QStringLiteral("set 5 device 201")), QStringLiteral("ok"));
        const QStringList lines = run(QStringLiteral("list")).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 1 + 2 + 3);
        QVERIFY(lines[0].endsWith(QLatin1String(", replies paced, turnaround 3 ms")));
        QVERIFY(lines[1].contains(QLatin1String("pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none")));
        QVERIFY(lines[1].contains(QLatin1String("input 4 = 1234")));
        QVERIFY(lines[1].contains(QLatin1String("register 7 exception")));
        QVERIFY(lines[1].contains(QLatin1String("device 201  firmware 311  notch 60 Hz")));
        QVERIFY(lines[2].contains(QLatin1String("no configuration")));
        QVERIFY(lines[2].contains(QLatin1String("silent")));
        QVERIFY(lines[3].contains(QLatin1String("r1")));
    }

    void quitAndHelp()
    {
        QVERIFY(run(QStringLiteral("help")).contains(QLatin1String("vanish")));
        QVERIFY(run(QStringLiteral("")).isEmpty());
        QVERIFY(!m_console->quitRequested());
        QCOMPARE(run(QStringLiteral("quit")), QStringLiteral("bye"));
        QVERIFY(m_console->quitRequested());
    }

    void vanishNeedsARunningLine()
    {
        QVERIFY(!m_console->execute(QStringLiteral("vanish")).ok());
        QVERIFY(!m_console->execute(QStringLiteral("return")).ok());
    }

    void moduleSpecs_data()
    {
        QTest::addColumn<QString>("option"); // "module" or "modules"
        QTest::addColumn<QString>("spec");
        QTest::addColumn<QList<int>>("addresses"); // empty: refused
        QTest::addColumn<bool>("configured");
        QTest::addColumn<SimInputTypes>("types");

        const SimInputTypes mix = SimConsole::defaultMix();
        const QString one = QStringLiteral("module");
        const QString many = QStringLiteral("modules");
        QTest::newRow("bare") << one << "7" << QList<int>{7} << false << SimInputTypes{};
        QTest::newRow("names") << one << "7:pt100,NI100,ni120,cu10,4-20ma,none" << QList<int>{7}
                               << true << SimInputTypes{1, 2, 3, 4, 5, 0, 0, 0};
        QTest::newRow("codes") << one << "63:5,5,0,1" << QList<int>{63} << true
                               << SimInputTypes{5, 5, 0, 1, 0, 0, 0, 0};
        QTest::newRow("range with the mix")
            << many << "7-9,11" << QList<int>{7, 8, 9, 11} << true << mix;
        QTest::newRow("range with types") << many << "7-8:cu10" << QList<int>{7, 8} << true
                                          << SimInputTypes{4, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("address 0") << one << "0" << QList<int>{} << false << SimInputTypes{};
        QTest::newRow("address 64") << many << "60-64" << QList<int>{} << false << SimInputTypes{};
        QTest::newRow("type 6") << one << "7:6" << QList<int>{} << false << SimInputTypes{};
        QTest::newRow("nine types")
            << one << "7:1,1,1,1,1,1,1,1,1" << QList<int>{} << false << SimInputTypes{};
        QTest::newRow("taken") << one << "5" << QList<int>{} << false << SimInputTypes{};
        QTest::newRow("backwards") << many << "9-7" << QList<int>{} << false << SimInputTypes{};
    }

    void moduleSpecs()
    {
        QFETCH(QString, option);
        QFETCH(QString, spec);
        QFETCH(QList<int>, addresses);
        QFETCH(bool, configured);
        QFETCH(SimInputTypes, types);
        const Result<> added = option == QLatin1String("module")
                                   ? SimConsole::addModuleSpec(*m_sim, spec)
                                   : SimConsole::addModuleRange(*m_sim, spec);
        QCOMPARE(added.ok(), !addresses.isEmpty());
        QCOMPARE(added.error().isEmpty(), added.ok());
        for (const int address : addresses) {
            const auto state = m_sim->moduleState(address);
            QVERIFY(state);
            QCOMPARE(state->configured, configured);
            QCOMPARE(state->inputTypes, types);
        }
    }

private:
    // What a command that must succeed gives to print.
    QString run(const QString &line)
    {
        const Result<QString> reply = m_console->execute(line);
        if (!reply)
            return QStringLiteral("refused: ") + reply.error();
        return *reply;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<BusSimulator> m_sim;
    std::unique_ptr<SimConsole> m_console;
};

QTEST_APPLESS_MAIN(TestSimConsole)
#include "tst_simconsole.moc"

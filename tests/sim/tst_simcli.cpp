#include "support/modbusmaster.h"
#include "support/pty.h"
#include "support/tcpclient.h"
#include "support/wire.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// kelvora-sim as a user or a script runs it.
class TestSimCli : public QObject
{
    Q_OBJECT

private slots:
    void help()
    {
        QProcess sim;
        sim.start(program(), {QStringLiteral("--help")});
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        const QString text = QString::fromLocal8Bit(sim.readAllStandardOutput());
        for (const char *word :
             {"--link", "--module", "--modules", "--relay", "--seed", "--fault", "--no-stdin",
              "--turnaround", "--no-pacing", "--listen", "vanish", "return", "clear all", "quit"})
            QVERIFY2(text.contains(QLatin1String(word)), word);
    }

    void wrongCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")};
        QTest::newRow("module 64") << QStringList{QStringLiteral("--module"), QStringLiteral("64")};
        QTest::newRow("fault on a module not simulated")
            << QStringList{QStringLiteral("--modules"), QStringLiteral("1-2"),
                           QStringLiteral("--fault"), QStringLiteral("7:silent")};
        QTest::newRow("set on a module not simulated")
            << QStringList{QStringLiteral("--modules"), QStringLiteral("1-2"),
                           QStringLiteral("--set"), QStringLiteral("7:device:201")};
        QTest::newRow("stray argument") << QStringList{QStringLiteral("ttyS0")};
        QTest::newRow("negative turnaround")
            << QStringList{QStringLiteral("--turnaround"), QStringLiteral("-1")};
        QTest::newRow("turnaround above a second")
            << QStringList{QStringLiteral("--turnaround"), QStringLiteral("1001")};
        QTest::newRow("turnaround not a number")
            << QStringList{QStringLiteral("--turnaround"), QStringLiteral("3ms")};
    }

    void wrongCommandLine()
    {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(program(), arguments << QStringLiteral("--link") << link());
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(!QFileInfo(link()).isSymLink());
    }

    // A --listen that cannot be served as asked is a wrong command line, and
    // the reason names what was given.
    void wrongListenAddress_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << QStringList{QStringLiteral("--listen"),
                                                QStringLiteral("tcp://127.0.0.1")}
                                 << "tcp://127.0.0.1";
        QTest::newRow("port out of range")
            << QStringList{QStringLiteral("--listen"), QStringLiteral("tcp://127.0.0.1:70000")}
            << "tcp://127.0.0.1:70000";
        QTest::newRow("IPv6 without brackets")
            << QStringList{QStringLiteral("--listen"), QStringLiteral("tcp://::1:502")}
            << "tcp://::1:502";
        QTest::newRow("with --link")
            << QStringList{QStringLiteral("--listen"), QStringLiteral("tcp://127.0.0.1:0"),
                           QStringLiteral("--link"), link()}
            << "--link";
        QTest::newRow("with --port")
            << QStringList{QStringLiteral("--listen"), QStringLiteral("tcp://127.0.0.1:0"),
                           QStringLiteral("--port"), QStringLiteral("/dev/null")}
            << "--port";
    }

    void wrongListenAddress()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        QProcess sim;
        sim.start(program(), arguments);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        const QString error = QString::fromLocal8Bit(sim.readAllStandardError());
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(sim.readAllStandardOutput().isEmpty());
    }

    // With --listen on port 0 the first line is the address as bound; a
    // client connecting there is answered, and list shows it.
    void listensOnTcp()
    {
        QProcess sim;
        sim.start(program(), {QStringLiteral("--listen"), QStringLiteral("tcp://127.0.0.1:0"),
                              QStringLiteral("--module"), QStringLiteral("1")});
        QVERIFY(sim.waitForStarted(10000));
        const QString first = readLine(sim);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^tcp://127\\.0\\.0\\.1:([0-9]+)$")).match(first);
        QVERIFY2(match.hasMatch(), qPrintable(first));
        const quint16 port = match.captured(1).toUShort();
        QVERIFY(port > 0);

        RawLine client(connectLoopback(port));
        QVERIFY(client.send(frame("01 03 00 04 00 01 C5 CB")));
        QCOMPARE(client.receive(7), frame("01 03 02 00 CA 38 13"));
        sim.write("list\n");
        const QString line = readLine(sim);
        QVERIFY2(line.startsWith(QStringLiteral("line: %1 (client 127.0.0.1:").arg(first)),
                 qPrintable(line));

        sim.write("quit\n");
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
        QCOMPARE(connectLoopback(port), -1);
    }

    // Start, read the printed path, talk to a module, set a fault at run time,
    // see it, quit: the link goes with the program.
    void commandsAndQuit()
    {
        QProcess sim;
        startSim(sim, {QStringLiteral("--modules"), QStringLiteral("1-2"),
                       QStringLiteral("--module"), QStringLiteral("7"), QStringLiteral("--fault"),
                       QStringLiteral("2:value:8:4321")});
        QCOMPARE(readLine(sim), link());

        const ModbusMaster master = connectMaster(link(), 7);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 4, 2), (QList<quint16>{202, 311}));
        modbus_set_slave(master.get(), 2);
        QCOMPARE(readRegisters(master.get(), 23, 1), QList<quint16>{4321});

        sim.write("fault 1 open 1\n");
        QCOMPARE(readLine(sim), QStringLiteral("ok"));
        modbus_set_slave(master.get(), 1);
        QCOMPARE(readRegisters(master.get(), 16, 1), QList<quint16>{21000});

        sim.write("quit\n");
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link()).isSymLink());
    }

    // Identity registers and a fault of one read, from the command line and
    // at run time, as a user sets them up to try the module scan.
    void identityAndRegisterFaults()
    {
        QProcess sim;
        startSim(sim, {QStringLiteral("--module"), QStringLiteral("7"), QStringLiteral("--set"),
                       QStringLiteral("7:device:201"), QStringLiteral("--set"),
                       QStringLiteral("7:firmware:65535"), QStringLiteral("--fault"),
                       QStringLiteral("7:exception:register:7")});
        QCOMPARE(readLine(sim), link());

        const ModbusMaster master = connectMaster(link(), 7);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 4, 2), (QList<quint16>{201, 65535}));
        QVERIFY(readRegisters(master.get(), 7, 2).isEmpty());
        QCOMPARE(errno, int(EMBXSFAIL));

        sim.write("fault 7 none register 7\n");
        QCOMPARE(readLine(sim), QStringLiteral("ok"));
        sim.write("set 7 notch 0\n");
        QCOMPARE(readLine(sim), QStringLiteral("ok"));
        QCOMPARE(readRegisters(master.get(), 7, 2), (QList<quint16>{0, 0}));

        sim.write("quit\n");
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
    }

    // The timing options reach the line, as list shows it.
    void timingOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("timing");
        QTest::newRow("default") << QStringList{} << ", replies paced, turnaround 3 ms";
        QTest::newRow("turnaround 7.5 ms")
            << QStringList{QStringLiteral("--turnaround"), QStringLiteral("7.5")}
            << ", replies paced, turnaround 7.5 ms";
        QTest::newRow("no pacing")
            << QStringList{QStringLiteral("--no-pacing")} << ", replies not paced";
    }

    void timingOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, timing);
        QProcess sim;
        startSim(sim, arguments);
        QCOMPARE(readLine(sim), link());
        sim.write("list\n");
        const QString line = readLine(sim);
        QVERIFY2(line.endsWith(timing), qPrintable(line));

        const ModbusMaster master = connectMaster(link(), 1);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 4, 1), QList<quint16>{202});
        sim.closeWriteChannel();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
    }

    // A refused command is printed as "error: " and what was wrong.
    void refusedCommandSaysWhy()
    {
        QProcess sim;
        startSim(sim, {});
        QCOMPARE(readLine(sim), link());
        sim.write("fault 9 silent\n");
        QCOMPARE(readLine(sim), QStringLiteral("error: module 9 is not simulated"));
        sim.write("fault 1 silent\n");
        QCOMPARE(readLine(sim), QStringLiteral("ok"));
        sim.closeWriteChannel();
        QVERIFY(sim.waitForFinished(10000));
    }

    void vanishAndReturnCommands()
    {
        QProcess sim;
        startSim(sim, {QStringLiteral("--relay")});
        QCOMPARE(readLine(sim), link());
        sim.write("vanish\n");
        QCOMPARE(readLine(sim), QStringLiteral("ok"));
        QVERIFY(!QFileInfo(link()).isSymLink());
        sim.write("return\n");
        QVERIFY(readLine(sim).startsWith(QLatin1String("ok: ")));
        RawLine line(link());
        QVERIFY(line.send(frame("0E 09 01 01 02 03 04 05 00 01 01 3C D0")));
        QCOMPARE(line.receive(3), frame("0E 08 81"));
        sim.closeWriteChannel();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
    }

    void endOfInputStops()
    {
        QProcess sim;
        startSim(sim, {});
        QCOMPARE(readLine(sim), link());
        sim.closeWriteChannel();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link()).isSymLink());
    }

    // Started as a background job would be, with standard input at its end
    // from the start, it serves until a signal stops it.
    void signalStops_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("nullInput");
        QTest::newRow("SIGTERM, input /dev/null") << int(SIGTERM) << true;
        QTest::newRow("SIGINT, input /dev/null") << int(SIGINT) << true;
        QTest::newRow("SIGTERM, --no-stdin") << int(SIGTERM) << false;
    }

    void signalStops()
    {
        QFETCH(int, signal);
        QFETCH(bool, nullInput);
        QProcess sim;
        if (nullInput)
            sim.setStandardInputFile(QProcess::nullDevice());
        startSim(sim, nullInput ? QStringList{} : QStringList{QStringLiteral("--no-stdin")});
        QCOMPARE(readLine(sim), link());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_stderr.append(sim.readAllStandardError()).contains("not reading standard input"),
            10000);
        const ModbusMaster master = connectMaster(link(), 4);
        QVERIFY(master);
        QCOMPARE(readRegisters(master.get(), 4, 1), QList<quint16>{202});
        QCOMPARE(sim.state(), QProcess::Running);

        ::kill(pid_t(sim.processId()), signal);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link()).isSymLink());
    }

    // What the simulator did to each request, as it happens (--report, on
    // standard error) and when asked (the report command).
    void reportSaysWhatWasDone()
    {
        QProcess sim;
        startSim(sim, {QStringLiteral("--report"), QStringLiteral("--module"), QStringLiteral("3"),
                       QStringLiteral("--fault"), QStringLiteral("3:cutoff")});
        QCOMPARE(readLine(sim), link());
        const ModbusMaster master = connectMaster(link(), 3);
        QVERIFY(master);
        QVERIFY(readRegisters(master.get(), 16, 8).isEmpty());

        const QString line = QStringLiteral(
            "request 1: address 3 function 3 first 16 count 8: cutoff -> incomplete reply (10 of "
            "21 bytes)");
        QTRY_VERIFY_WITH_TIMEOUT(
            m_stderr.append(sim.readAllStandardError()).contains(line.toLatin1()), 10000);
        sim.write("report 1\n");
        QCOMPARE(readLine(sim), line);
        sim.closeWriteChannel();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 0);
    }

    void cleanup() { m_stderr.clear(); }

private:
    static QString program()
    {
        // ctest names the build folder; run by hand, it is two levels up.
        const QString dir =
            qEnvironmentVariable("KELVORA_BINARY_DIR",
                                 QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
        return dir + QStringLiteral("/kelvora-sim");
    }

    QString link() const { return m_dir.filePath(QStringLiteral("ttyKELV0")); }

    void startSim(QProcess &sim, QStringList arguments)
    {
        sim.start(program(), arguments << QStringLiteral("--link") << link());
        QVERIFY(sim.waitForStarted(10000));
    }

    // The next line of standard output, without its end.
    static QString readLine(QProcess &sim)
    {
        QDeadlineTimer deadline(10000);
        while (!sim.canReadLine() && !deadline.hasExpired()) {
            if (!sim.waitForReadyRead(int(deadline.remainingTime())))
                break;
        }
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

    QTemporaryDir m_dir;
    QByteArray m_stderr;
};

QTEST_GUILESS_MAIN(TestSimCli)
#include "tst_simcli.moc"

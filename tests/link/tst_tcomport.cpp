#include "link/tcomport.h"
#include "support/linesettings.h"
#include "support/lockholder.h"
#include "support/manualclock.h"
#include "support/pty.h"

#include <QtTest>

#include <termios.h>

// TComPort over pseudo-terminals made in-process. A pty carries bytes but no
// timing or parity, so these tests check what reaches the other end, what
// comes back, and how the object opens, closes and refuses. The line settings
// are read back from the pty's own side (LineSettings): a pty keeps the speed,
// mark and space parity, stop bits and flow control as set.
class TestTComPort : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void devicePath();
    void missingPortFails();
    void readAvailableOnEmptyInputReturnsAtOnce();
    void bytesGoBothWays();
    void readAvailableTakesAtMostCount();
    void purgeDiscardsReceivedBytes();
    void renamingAnOpenPortReopensOnTheNewName();
    void renamingAClosedPortLeavesItClosed();
    void secondOpenOfAHeldPortFails();
    void closingOrDestroyingReleasesThePort();
    void openAndCloseTwiceDoNothingMore();
    void symlinkIsOpenedAsGiven();
    void settingsAppliedAtOpen_data();
    void settingsAppliedAtOpen();
    void settingsLeftByAnotherProgramAreCleared();
    void settingsWhileOpenApplyAtOnce();
    void repeatedSettingOnAnOpenPtyIsNoError();
    void unsupportedBaudRateIsRefused();
    void operationsOnAClosedPortThrow();
    void stalledWriteGivesUp();
    void stalledWriteTimeOutOnThePortsClock_data();
    void stalledWriteTimeOutOnThePortsClock();
    void writeTheLineTakesDoesNotWait();
    void writeToAVanishedLineThrows();
    void listSerialPortsIsSortedAsText();
    void portNamesSortAsText_data();
    void portNamesSortAsText();
    void stableNamesAndSimulatorLinksAreListed();
    void lastOpenErrorSaysWhy_data();
    void lastOpenErrorSaysWhy();
    void lastOpenErrorGoesWithASuccessOrANewName();
};

void TestTComPort::defaults()
{
    TComPort port;
    QCOMPARE(port.Port(), QStringLiteral("ttyS0"));
    QCOMPARE(port.BaudRate(), 9600);
    QCOMPARE(port.Parity(), ParityBits::None);
    QVERIFY(!port.Connected());
}

void TestTComPort::devicePath()
{
    QCOMPARE(TComPort::DevicePath(QStringLiteral("ttyS0")), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(TComPort::DevicePath(QStringLiteral("ttyUSB1")), QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(TComPort::DevicePath(QStringLiteral("/dev/pts/3")), QStringLiteral("/dev/pts/3"));
    QCOMPARE(TComPort::DevicePath(QStringLiteral("/tmp/kelvora-bus")),
             QStringLiteral("/tmp/kelvora-bus"));
}

void TestTComPort::missingPortFails()
{
    for (const QString &name :
         {QStringLiteral("ttyKelvoraMissing0"), QStringLiteral("/nonexistent/kelvora/tty")}) {
        TComPort port;
        port.SetPort(name);
        try {
            port.Open();
            QFAIL("Open of a missing port succeeded");
        } catch (const EComPortError &e) {
            QCOMPARE(e.code(), ENOENT);
        }
        QVERIFY(!port.Connected());
        QCOMPARE(port.Port(), name);
    }
}

void TestTComPort::readAvailableOnEmptyInputReturnsAtOnce()
{
    Pty pty;
    QVERIFY(pty.Valid());
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    QByteArray text("stale");
    QCOMPARE(port.ReadAvailable(text, 1), 0);
    QVERIFY(text.isEmpty());
}

void TestTComPort::bytesGoBothWays()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(19200);
    port.Open();

    const QByteArray frame = QByteArray::fromHex("010300100008 45C9");
    QCOMPARE(port.WriteText(frame), 8);
    QCOMPARE(pty.ReadMaster(8), frame);

    QVERIFY(pty.WriteMaster(QByteArray("\x01\x83\x02", 3)));
    QVERIFY(Pty::WaitReadable(port.Handle()));
    QByteArray text;
    QString got;
    for (int i = 0; i < 3 && Pty::WaitReadable(port.Handle()); ++i) {
        QCOMPARE(port.ReadAvailable(text, 1), 1);
        got += QString::fromLatin1(text.toHex());
    }
    QCOMPARE(got, QStringLiteral("018302"));
}

void TestTComPort::readAvailableTakesAtMostCount()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    QVERIFY(pty.WriteMaster(QByteArray("abcdef")));
    QVERIFY(Pty::WaitReadable(port.Handle()));
    QByteArray text;
    const int n = port.ReadAvailable(text, 2);
    QVERIFY(n >= 1 && n <= 2);
    QCOMPARE(text.size(), n);
    QCOMPARE(text, QByteArray("ab").left(n));
}

void TestTComPort::purgeDiscardsReceivedBytes()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    QVERIFY(pty.WriteMaster(QByteArray("late reply")));
    QVERIFY(Pty::WaitReadable(port.Handle()));
    port.Purge(true, true);
    QByteArray text;
    QCOMPARE(port.ReadAvailable(text, 1), 0);
    QVERIFY(text.isEmpty());
}

void TestTComPort::renamingAnOpenPortReopensOnTheNewName()
{
    Pty first, second;
    TComPort port;
    port.SetPort(first.Path());
    port.Open();
    port.SetPort(second.Path());
    QVERIFY(port.Connected());
    QCOMPARE(port.Port(), second.Path());
    QCOMPARE(port.WriteText(QByteArray("x")), 1);
    QCOMPARE(second.ReadMaster(1), QByteArray("x"));
    QCOMPARE(first.ReadMaster(1, 50), QByteArray());

    // The first port is free again.
    TComPort other;
    other.SetPort(first.Path());
    other.Open();
    QVERIFY(other.Connected());
}

void TestTComPort::renamingAClosedPortLeavesItClosed()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    QVERIFY(!port.Connected());
    QCOMPARE(port.Port(), pty.Path());
}

void TestTComPort::secondOpenOfAHeldPortFails()
{
    // Runs as root in CI too, where TIOCEXCL alone would not keep it out.
    Pty pty;
    TComPort holder, intruder;
    holder.SetPort(pty.Path());
    intruder.SetPort(pty.Path());
    holder.Open();
    QVERIFY_THROWS_EXCEPTION(EComPortError, intruder.Open());
    QVERIFY(!intruder.Connected());
    QVERIFY(holder.Connected());
}

void TestTComPort::closingOrDestroyingReleasesThePort()
{
    Pty pty;
    TComPort other;
    other.SetPort(pty.Path());
    {
        TComPort port;
        port.SetPort(pty.Path());
        port.Open();
        port.Close();
        other.Open();
        other.Close();
        port.Open();
    } // destroyed while open
    other.Open();
    QVERIFY(other.Connected());
}

void TestTComPort::openAndCloseTwiceDoNothingMore()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    const int fd = port.Handle();
    port.Open();
    QCOMPARE(port.Handle(), fd);
    port.Close();
    port.Close();
    QVERIFY(!port.Connected());
    QCOMPARE(port.Handle(), -1);
}

void TestTComPort::symlinkIsOpenedAsGiven()
{
    Pty pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("kelvora-bus"));
    QVERIFY(QFile::link(pty.Path(), link));
    TComPort port;
    port.SetPort(link);
    port.Open();
    QCOMPARE(port.WriteText(QByteArray("ok")), 2);
    QCOMPARE(pty.ReadMaster(2), QByteArray("ok"));

    // The same device under another name is the same port.
    TComPort direct;
    direct.SetPort(pty.Path());
    QVERIFY_THROWS_EXCEPTION(EComPortError, direct.Open());
}

void TestTComPort::settingsAppliedAtOpen_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<ParityBits>("parity");
    QTest::addColumn<QString>("line");

    QTest::newRow("the Modbus bus") << 19200 << ParityBits::None << "19200 8N1 raw";
    QTest::newRow("relay link, address byte") << 57600 << ParityBits::Mark << "57600 8M1 raw";
    QTest::newRow("relay link, other bytes") << 57600 << ParityBits::Space << "57600 8S1 raw";
    QTest::newRow("defaults") << 9600 << ParityBits::None << "9600 8N1 raw";
}

void TestTComPort::settingsAppliedAtOpen()
{
    QFETCH(int, baud);
    QFETCH(ParityBits, parity);
    QFETCH(QString, line);
    Pty pty;
    QVERIFY(pty.Valid());
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(baud);
    port.SetParity(parity);
    QVERIFY(LineSettings(pty.Slave()) != line); // not yet: the pty as made
    port.Open();
    QCOMPARE(LineSettings(pty.Slave()), line);
}

// Whatever the last user of the port left (two stop bits, hardware and
// software flow control, mark parity, line editing) is not kept.
void TestTComPort::settingsLeftByAnotherProgramAreCleared()
{
    Pty pty;
    termios tio{};
    QCOMPARE(::tcgetattr(pty.Slave(), &tio), 0);
    tio.c_cflag |= CSTOPB | CRTSCTS | PARENB | CMSPAR | PARODD;
    tio.c_iflag |= IXON | IXOFF;
    tio.c_lflag |= ICANON | ECHO;
    tio.c_cc[VMIN] = 1;
    ::cfsetspeed(&tio, B4800);
    QCOMPARE(::tcsetattr(pty.Slave(), TCSANOW, &tio), 0);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("4800 8M2 rtscts xonxoff"));

    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(19200);
    port.Open();
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("19200 8N1 raw"));
}

// The relay-module link changes speed and parity on the open line; each
// change must reach the line at once, without a close and reopen.
void TestTComPort::settingsWhileOpenApplyAtOnce()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(19200);
    port.Open();
    const int fd = port.Handle();
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("19200 8N1 raw"));

    port.SetBaudRate(57600);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8N1 raw"));
    port.SetParity(ParityBits::Mark);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8M1 raw"));
    port.SetParity(ParityBits::Space);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8S1 raw"));
    port.SetParity(ParityBits::Mark);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8M1 raw"));
    port.SetParity(ParityBits::None);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8N1 raw"));

    QVERIFY(port.Connected());
    QCOMPARE(port.Handle(), fd);
    QCOMPARE(port.BaudRate(), 57600);
    QCOMPARE(port.Parity(), ParityBits::None);
}

// Regression: every relay-module poll after the first failed on a pty. The
// poll sets 57600 baud on the line it left open with space parity; applying
// settings that change nothing but a parity bit the pty drops is refused
// with EINVAL, so the poll threw before it sent anything.
void TestTComPort::repeatedSettingOnAnOpenPtyIsNoError()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(57600);
    port.SetParity(ParityBits::Space);
    port.Open();
    try {
        port.SetBaudRate(57600);
        port.SetParity(ParityBits::Space);
    } catch (const EComPortError &e) {
        QFAIL(e.what());
    }
    QVERIFY(port.Connected());
    QCOMPARE(port.BaudRate(), 57600);
    QCOMPARE(port.Parity(), ParityBits::Space);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("57600 8S1 raw"));
}

void TestTComPort::unsupportedBaudRateIsRefused()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(12345);
    try {
        port.Open();
        QFAIL("Open with 12345 baud succeeded");
    } catch (const EComPortError &e) {
        QCOMPARE(e.code(), EINVAL);
    }
    QVERIFY(!port.Connected());
    port.SetBaudRate(19200);
    port.Open();
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.SetBaudRate(12345));
    QVERIFY(port.Connected());
    QCOMPARE(port.BaudRate(), 19200);
    QCOMPARE(LineSettings(pty.Slave()), QStringLiteral("19200 8N1 raw"));
}

void TestTComPort::operationsOnAClosedPortThrow()
{
    TComPort port;
    QByteArray text;
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.Purge(true, true));
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.PendingOutput());
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.WriteText(QByteArray("x")));
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.ReadAvailable(text, 1));
}

void TestTComPort::stalledWriteGivesUp()
{
    // Nobody reads the master: once the line is full, an 8-byte write must
    // give up (after its 1800 ms on the system's clock) and report that it
    // sent nothing.
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    pty.StallOutput();
    QElapsedTimer timer;
    timer.start();
    const int sent = port.WriteText(QByteArray(8, 'y'));
    qInfo("8-byte write on a stalled line gave up after %lld ms", timer.elapsed());
    QCOMPARE(sent, 0);
    QVERIFY(port.Connected());
}

void TestTComPort::stalledWriteTimeOutOnThePortsClock_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("timeoutMs");
    // 1000 ms plus 100 ms per byte.
    QTest::newRow("relay address byte") << 1 << 1100;
    QTest::newRow("Modbus read request") << 8 << 1800;
    QTest::newRow("relay request after the address") << 12 << 2200;
    QTest::newRow("Modbus write of 4 registers") << 17 << 2700;
}

void TestTComPort::stalledWriteTimeOutOnThePortsClock()
{
    QFETCH(int, count);
    QFETCH(int, timeoutMs);
    StalledPort stalled;
    stalled.port.Open();
    QCOMPARE(stalled.port.WriteText(QByteArray(count, 'y')), 0);
    QCOMPARE(stalled.clock.waits, QList<int>{timeoutMs});
    QCOMPARE(stalled.clock.elapsed, std::chrono::milliseconds(timeoutMs));
}

void TestTComPort::writeTheLineTakesDoesNotWait()
{
    Pty pty;
    ManualClock clock;
    TComPort port;
    port.SetPort(pty.Path());
    port.SetClock(&clock);
    port.Open();
    QCOMPARE(port.WriteText(QByteArray(8, 'y')), 8);
    QVERIFY(clock.waits.isEmpty());
    QCOMPARE(clock.elapsed, std::chrono::milliseconds(0));
    QCOMPARE(pty.ReadMaster(8), QByteArray(8, 'y'));
}

void TestTComPort::writeToAVanishedLineThrows()
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.Path());
    port.Open();
    pty.CloseMaster();
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.WriteText(QByteArray("x")));
}

void TestTComPort::listSerialPortsIsSortedAsText()
{
    QStringList ports{QStringLiteral("left over")};
    ListSerialPorts(ports);
    QVERIFY(!ports.contains(QStringLiteral("left over")));
    QStringList sorted = ports;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(ports, sorted);
}

void TestTComPort::portNamesSortAsText_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sorted");
    const auto list = [](const char *words) {
        return QString::fromLatin1(words).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };

    // Sorted by number these would read ttyS1, ttyS2, ttyS10.
    QTest::newRow("already as text") << list("ttyS1 ttyS10 ttyS2") << list("ttyS1 ttyS10 ttyS2");
    QTest::newRow("reversed") << list("ttyS2 ttyS10 ttyS1") << list("ttyS1 ttyS10 ttyS2");
    QTest::newRow("in number order") << list("ttyS1 ttyS2 ttyS10") << list("ttyS1 ttyS10 ttyS2");
    QTest::newRow("9, 10, 100, 11")
        << list("ttyS9 ttyS10 ttyS100 ttyS11") << list("ttyS10 ttyS100 ttyS11 ttyS9");
    QTest::newRow("COM10 before COM2") << list("COM2 COM10 COM1") << list("COM1 COM10 COM2");
    QTest::newRow("kinds of port")
        << list("ttyUSB0 ttyS0 ttyACM1 ttyACM0") << list("ttyACM0 ttyACM1 ttyS0 ttyUSB0");
    QTest::newRow("one port") << list("ttyS0") << list("ttyS0");
    QTest::newRow("none") << QStringList() << QStringList();
}

void TestTComPort::portNamesSortAsText()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, sorted);
    QCOMPARE(SortPortNames(names), sorted);
}

// A USB adapter's stable name in /dev/serial/by-id and a running simulator's
// link are offered as full paths beside the kernel's names, all sorted as
// text; links that lead nowhere, or (for a simulator) to no pseudo-terminal,
// are not. The folders are made here; the pty stands for the device.
void TestTComPort::stableNamesAndSimulatorLinksAreListed()
{
    Pty adapter;
    Pty simulator;
    QVERIFY(adapter.Valid() && simulator.Valid());
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString byId = root.filePath(QStringLiteral("by-id"));
    const QString sim = root.filePath(QStringLiteral("kelvora-sim"));
    QVERIFY(QDir().mkpath(byId) && QDir().mkpath(sim));
    const auto link = [](const QString &target, const QString &path) {
        return QFile::link(target, path);
    };
    const QString stable = byId + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A10K2SNP-if00-port0");
    QVERIFY(link(adapter.Path(), stable));
    QVERIFY(link(QStringLiteral("/dev/pts/987654"), byId + QStringLiteral("/usb-unplugged")));
    const QString live = sim + QStringLiteral("/ttyKELV0");
    QVERIFY(link(simulator.Path(), live));
    QVERIFY(link(QStringLiteral("/dev/pts/987654"), sim + QStringLiteral("/ttyKELV1"))); // killed
    QVERIFY(link(QStringLiteral("/dev/null"), sim + QStringLiteral("/ttyKELV2")));       // no pty
    QFile plain(sim + QStringLiteral("/notes"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QStringList kernel{QStringLiteral("ttyUSB0"), QStringLiteral("ttyS10"),
                             QStringLiteral("ttyS1")};
    const QStringList listed = CollectSerialPorts(kernel, {.byId = byId, .simulators = {sim}});
    QStringList expected{QStringLiteral("ttyS1"), QStringLiteral("ttyS10"),
                         QStringLiteral("ttyUSB0"), stable, live};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(listed, expected);

    // Missing folders add nothing.
    QCOMPARE(CollectSerialPorts(kernel, {.byId = root.filePath(QStringLiteral("none")),
                                         .simulators = {root.filePath(QStringLiteral("none"))}}),
             SortPortNames(kernel));
}

// Each open that fails keeps the system's reason, as the user's port would
// give it: a path that is not there, a file that is no terminal, a pty that
// another process holds with flock (which stops root as well).
void TestTComPort::lastOpenErrorSaysWhy_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("code");
    QTest::newRow("missing path") << QStringLiteral("missing") << ENOENT;
    QTest::newRow("missing device") << QStringLiteral("ttyKelvoraMissing0") << ENOENT;
    QTest::newRow("plain file") << QStringLiteral("file") << ENOTTY;
    QTest::newRow("held with flock") << QStringLiteral("held") << EWOULDBLOCK;
    QTest::newRow("free pty") << QStringLiteral("pty") << 0;
}

void TestTComPort::lastOpenErrorSaysWhy()
{
    QFETCH(QString, what);
    QFETCH(int, code);
    QTemporaryDir dir;
    Pty pty;
    QVERIFY(pty.Valid());
    std::unique_ptr<LockHolder> holder;
    QString name = what;
    if (what == QLatin1String("missing")) {
        name = dir.filePath(QStringLiteral("ttyUSB0"));
    } else if (what == QLatin1String("file")) {
        name = dir.filePath(QStringLiteral("notes"));
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (what == QLatin1String("held")) {
        name = pty.Path();
        holder = std::make_unique<LockHolder>(name);
        QVERIFY(holder->locked());
    } else if (what == QLatin1String("pty")) {
        name = pty.Path();
    }
    TComPort port;
    port.SetPort(name);
    QCOMPARE(port.LastOpenError(), 0); // not tried yet
    try {
        port.Open();
    } catch (const EComPortError &e) {
        QCOMPARE(e.code(), code);
    }
    QCOMPARE(port.Connected(), code == 0);
    QCOMPARE(port.LastOpenError(), code);
}

void TestTComPort::lastOpenErrorGoesWithASuccessOrANewName()
{
    Pty pty;
    QVERIFY(pty.Valid());
    TComPort port;
    port.SetPort(pty.Path());
    {
        LockHolder holder(pty.Path());
        QVERIFY(holder.locked());
        QVERIFY_THROWS_EXCEPTION(EComPortError, port.Open());
        QCOMPARE(port.LastOpenError(), EWOULDBLOCK);
        // The same name again: the reason still holds.
        port.SetPort(pty.Path());
        QCOMPARE(port.LastOpenError(), EWOULDBLOCK);
    }
    port.Open(); // the holder has gone
    QCOMPARE(port.LastOpenError(), 0);
    port.Close();

    port.SetPort(QStringLiteral("/nonexistent/kelvora/tty"));
    QVERIFY_THROWS_EXCEPTION(EComPortError, port.Open());
    QCOMPARE(port.LastOpenError(), ENOENT);
    port.SetPort(pty.Path());
    QCOMPARE(port.LastOpenError(), 0);
}

QTEST_APPLESS_MAIN(TestTComPort)
#include "tst_tcomport.moc"

#include "link/mbprotocol.h"
#include "link/protocol.h"
#include "link/tcomport.h"
#include "support/fakeline.h"
#include "support/pty.h"
#include "support/wire.h"

#include <QtTest>

#include <modbus/modbus.h>

#include <array>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Our Modbus master on a real TComPort, against libmodbus, an independent
// implementation, on the other end of a pseudo-terminal: libmodbus answers
// only frames whose CRC and layout are right, and as a master it shows what a
// correct request looks like on the wire.
class TestModbusInterop : public QObject
{
    Q_OBJECT

private slots:
    void readEightReadingRegisters();
    void readDeviceInformationRegisters();
    void writeInputTypes();
    void writeNotchFilterCommand();
    void writeNegativeValue();
    void broadcastWriteReachesTheSlave();
    void otherSlaveAddressGetsNoAnswer();
    void exceptionReplyFromLibmodbusFails();
    void requestFramesMatchLibmodbusMaster_data();
    void requestFramesMatchLibmodbusMaster();
    void lateReplyIsLostAndPurged();
};

namespace {

constexpr int kRegisterCount = 46254; // up to the notch filter pair 46252, 46253

// libmodbus as RTU slave `address` on the master side of a pty, served on a
// thread. modbus_set_socket hands it the descriptor, so no serial mode is set.
class LibmodbusSlave
{
public:
    LibmodbusSlave(int fd, int address)
    {
        m_ctx = modbus_new_rtu("/dev/null", 19200, 'N', 8, 1);
        m_map = modbus_mapping_new(0, 0, kRegisterCount, 0);
        modbus_set_slave(m_ctx, address);
        modbus_set_socket(m_ctx, fd);
        modbus_set_indication_timeout(m_ctx, 0, 50000); // to look at m_stop
        m_thread = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave()
    {
        m_stop = true;
        m_thread.join();
        modbus_mapping_free(m_map);
        modbus_free(m_ctx);
    }

    uint16_t Register(int r)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_map->tab_registers[r];
    }
    void SetRegister(int r, uint16_t value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_map->tab_registers[r] = value;
    }

private:
    void Serve()
    {
        std::array<uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> query{};
        while (!m_stop) {
            const int rc = modbus_receive(m_ctx, query.data());
            if (rc > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                modbus_reply(m_ctx, query.data(), rc, m_map);
            }
        }
    }

    modbus_t *m_ctx = nullptr;
    modbus_mapping_t *m_map = nullptr;
    std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Bus
{
    Pty pty;
    LibmodbusSlave slave{pty.Master(), 1};
    TComPort port;
    Bus()
    {
        port.SetPort(pty.Path());
        port.SetBaudRate(19200);
    }
    BusTarget Target(int address) { return BusTarget{address, &port}; }
};

// What our master writes for a request, taken from the fake line.
QByteArray OurFrame(bool write, int first, const std::vector<int16_t> &values, int count)
{
    FakeLine line;
    MBProtocol mb(&line, [](int) {});
    std::vector<uint16_t> in(static_cast<size_t>(count));
    if (write)
        mb.WriteMultipleRegisters(1, first, count, values.data());
    else
        mb.ReadHoldingRegisters(1, first, count, in.data());
    return line.chunks.value(0).bytes;
}

QByteArray ReadFd(int fd, int count)
{
    QByteArray got;
    while (got.size() < count && Pty::WaitReadable(fd, 1000)) {
        char buf[300];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, int(n));
    }
    return got;
}

} // namespace

void TestModbusInterop::readEightReadingRegisters()
{
    Bus bus;
    const std::array<uint16_t, 8> readings = {250, 65535, 20000, 21000, 22000, 0, 1000, 2099};
    for (int k = 0; k < 8; ++k)
        bus.slave.SetRegister(16 + k, readings[size_t(k)]);
    std::array<uint16_t, 8> values{};
    QVERIFY(Protocol().ReadRegisters(bus.Target(1), 16, 8, values.data()));
    QCOMPARE(values, readings);
    QVERIFY(!bus.port.Connected());
}

void TestModbusInterop::readDeviceInformationRegisters()
{
    Bus bus;
    bus.slave.SetRegister(4, 202);
    bus.slave.SetRegister(5, 311);
    bus.slave.SetRegister(7, 50);
    for (int first : {4, 5, 7}) {
        std::array<uint16_t, 2> values{};
        QVERIFY(Protocol().ReadRegisters(bus.Target(1), first, 2, values.data()));
        QCOMPARE(values[0], bus.slave.Register(first));
        QCOMPARE(values[1], bus.slave.Register(first + 1));
    }
}

void TestModbusInterop::writeInputTypes()
{
    Bus bus;
    const std::array<int16_t, 4> types = {0x0102, 0x0304, 0x0500, 0x0101};
    QVERIFY(Protocol().WriteRegisters(bus.Target(1), 0, 4, types.data()));
    for (int r = 0; r < 4; ++r)
        QCOMPARE(bus.slave.Register(r), uint16_t(types[size_t(r)]));
}

void TestModbusInterop::writeNotchFilterCommand()
{
    Bus bus;
    const std::array<int16_t, 2> notch = {306, 0};
    QVERIFY(Protocol().WriteRegisters(bus.Target(1), 46252, 2, notch.data()));
    QCOMPARE(bus.slave.Register(46252), uint16_t(306));
    QCOMPARE(bus.slave.Register(46253), uint16_t(0));
}

void TestModbusInterop::writeNegativeValue()
{
    Bus bus;
    const int16_t value = -2;
    QVERIFY(Protocol().WriteRegisters(bus.Target(1), 10, 1, &value));
    QCOMPARE(bus.slave.Register(10), uint16_t(0xFFFE));
}

void TestModbusInterop::broadcastWriteReachesTheSlave()
{
    Bus bus;
    const std::array<int16_t, 4> types = {0x0101, 0x0101, 0x0101, 0x0101};
    QVERIFY(Protocol().WriteRegisters(bus.Target(0), 0, 4, types.data()));
    // No reply comes to a broadcast; wait until the slave has taken it.
    QTRY_COMPARE(bus.slave.Register(3), uint16_t(0x0101));
}

void TestModbusInterop::otherSlaveAddressGetsNoAnswer()
{
    Bus bus;
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters(bus.Target(2), 16, 8, values.data()));
    QVERIFY(!bus.port.Connected());
}

void TestModbusInterop::exceptionReplyFromLibmodbusFails()
{
    Bus bus;
    std::array<uint16_t, 8> values{};
    // 46250..46257 runs past the slave's last register: illegal data address.
    QVERIFY(!Protocol().ReadRegisters(bus.Target(1), 46250, 8, values.data()));
    // The bus is sound afterwards: the rest of the exception reply was purged.
    QVERIFY(Protocol().ReadRegisters(bus.Target(1), 16, 8, values.data()));
}

void TestModbusInterop::requestFramesMatchLibmodbusMaster_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<std::vector<int16_t>>("values");
    QTest::addColumn<QString>("wire");

    QTest::newRow("read 8 from 16")
        << false << 16 << 8 << std::vector<int16_t>() << QStringLiteral("01 03 00 10 00 08 45 C9");
    QTest::newRow("read 2 from 4")
        << false << 4 << 2 << std::vector<int16_t>() << QStringLiteral("01 03 00 04 00 02 85 CA");
    QTest::newRow("write input types")
        << true << 0 << 4 << std::vector<int16_t>{0x0102, 0x0304, 0x0500, 0x0101}
        << QStringLiteral("01 10 00 00 00 04 08 01 02 03 04 05 00 01 01 65 19");
    QTest::newRow("write notch 50 Hz") << true << 46252 << 2 << std::vector<int16_t>{306, 0}
                                       << QStringLiteral("01 10 B4 AC 00 02 04 01 32 00 00 5E B6");
}

void TestModbusInterop::requestFramesMatchLibmodbusMaster()
{
    QFETCH(bool, write);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(std::vector<int16_t>, values);
    QFETCH(QString, wire);

    Pty pty;
    modbus_t *master = modbus_new_rtu("/dev/null", 19200, 'N', 8, 1);
    modbus_set_slave(master, 1);
    modbus_set_socket(master, pty.Master());
    modbus_set_response_timeout(master, 0, 20000); // nobody answers
    std::vector<uint16_t> words(values.begin(), values.end());
    std::vector<uint16_t> dest(static_cast<size_t>(count));
    if (write)
        modbus_write_registers(master, first, count, words.data());
    else
        modbus_read_registers(master, first, count, dest.data());
    modbus_free(master);

    const QByteArray theirs = ReadFd(pty.Slave(), write ? 9 + 2 * count : 8);
    QCOMPARE(hexOf(theirs), wire);
    QCOMPARE(hexOf(OurFrame(write, first, values, count)), wire);
}

void TestModbusInterop::lateReplyIsLostAndPurged()
{
    // A slave of our own that answers 300 ms late, far outside the 50 ms
    // window: both attempts fail. The late replies land in the closed port's
    // input and must not spoil the next call, whose reply comes at once.
    Pty pty;
    std::atomic<int> replies{0};
    std::atomic<bool> late{true};
    std::atomic<bool> stop{false};
    std::thread slave([&] {
        const QByteArray reply =
            frame("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1");
        while (!stop) {
            const QByteArray request = ReadFd(pty.Master(), 8);
            if (request.size() < 8)
                continue;
            if (late)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            pty.WriteMaster(reply);
            ++replies;
        }
    });
    TComPort port;
    port.SetPort(pty.Path());
    port.SetBaudRate(19200);
    std::array<uint16_t, 8> values{};
    const bool lateResult = Protocol().ReadRegisters({1, &port}, 16, 8, values.data());
    QTRY_COMPARE(replies.load(), 2); // one late reply for each attempt
    late = false;
    const bool promptResult = Protocol().ReadRegisters({1, &port}, 16, 8, values.data());
    stop = true;
    slave.join();

    QVERIFY(!lateResult);
    QVERIFY(promptResult);
    QCOMPARE(replies.load(), 3);
    QCOMPARE(values[0], uint16_t(250));
}

QTEST_APPLESS_MAIN(TestModbusInterop)
#include "tst_modbusinterop.moc"

#pragma once

#include "sim/simmodule.h"
#include "sim/simpty.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

// One request the simulator recognised on the line (complete, valid CRC),
// whoever it was for.
struct SimRequest
{
    int address = 0;
    int function = 0; // Modbus function code; 9 for a relay-module poll
    int first = 0;    // first register; 0 for a relay-module poll
    int count = 0;    // register count; 8 for a relay-module poll
    // Function 16: the values written. Relay-module poll: the eight type codes.
    QList<quint16> values;

    bool operator==(const SimRequest &) const = default;
};

// A copy of one simulated RTD module's state.
struct SimModuleState
{
    int address = 0;
    bool configured = false;
    SimInputTypes inputTypes{};
    int notchHz = 0;
    SimFaults faults;
};

// Simulates the bus of RTD modules behind a serial line, answering on a
// thread of its own as every module at the chosen addresses and, if chosen,
// as the three relay-integrated modules.
//
// The line is either a pseudo-terminal the simulator makes itself and
// publishes as a symbolic link at a stable path, which a master opens like a
// serial port (as often as it likes), or the descriptor of a serial port the
// caller has opened and set up.
//
// Usage from a test:
//     BusSimulator sim(dir.filePath("ttyBUS"));
//     sim.addModule(5);
//     QVERIFY2(sim.start(), qPrintable(sim.errorString()));
//     ... open sim.linkPath() as a serial port and talk to module 5 ...
//     sim.setFault(5, Fault::Silent);
//     QCOMPARE(sim.requests().size(), 3);
//     sim.stop();
//
// Every member may be called from any thread, before, during or after the
// run. Answers go out as soon as a request is complete (well within the
// master's 50 ms), except with Fault::Late. Requests for addresses that are
// not simulated and requests with a wrong CRC get no answer; a broadcast
// write (address 0) is applied by every module and answered by none.
class BusSimulator
{
public:
    // A serial port already open for reading and writing; the simulator
    // makes it non-blocking, never closes it, and the caller keeps it open
    // until stop().
    struct OpenPort
    {
        int fd = -1;
    };

    // Delay of a late answer: well past the master's 50 ms reply window.
    static constexpr std::chrono::milliseconds kLateDelay{80};
    // Bytes that have not made a frame by the end of this much silence are
    // dropped. A master writes each request at once and waits at least 50 ms
    // for its answer, so silence this long ends any exchange.
    static constexpr std::chrono::milliseconds kQuietGap{50};
    // The request log keeps this many of the latest requests.
    static constexpr qsizetype kMaxLoggedRequests = 10000;

    explicit BusSimulator(const QString &linkPath);
    explicit BusSimulator(OpenPort port);
    ~BusSimulator();
    BusSimulator(const BusSimulator &) = delete;
    BusSimulator &operator=(const BusSimulator &) = delete;

    // Seeds the readings of every module and the garbage fault's bytes.
    // Readings follow from the seed and the time since start().
    void setSeed(quint32 seed);
    quint32 seed() const;

    // Adds an RTD module at address 1..63 that has no configuration yet, or
    // one that already holds the given input types. False for an address
    // outside 1..63 or one already taken.
    bool addModule(int address);
    bool addModule(int address, const SimInputTypes &types);
    QList<int> moduleAddresses() const;

    // Whether the three relay-integrated modules answer their polls. Modbus
    // modules at 13, 14 and 15 answer Modbus requests either way.
    void setRelayModules(bool on);
    bool relayModules() const;

    // Makes the pty and publishes it, or takes the open port, and starts
    // answering. False with errorString() when that fails.
    bool start();
    // Stops answering, closes the pty and removes its link. Idempotent.
    void stop();
    bool isRunning() const;
    QString errorString() const;

    // The link the pty is published under (empty for an open port), and the
    // pty's own path at the moment (empty while vanished or stopped).
    QString linkPath() const;
    QString ptyPath() const;

    // The line vanishing, as when a USB adapter is pulled: the pty closes
    // (a client that has it open sees a hang-up) and its link disappears.
    // reappear() makes a new pty and publishes it under the same link.
    // Modules keep their state. Both are false on an open port or when the
    // line is already in that state.
    bool vanish();
    bool reappear();
    bool hasVanished() const;

    // Sets a fault on the module at address: a reply fault (input 0), a
    // reading fault on input 1..8, or Fault::LostConfiguration, which acts at
    // once. Fault::None clears the reply fault (input 0) or the input's
    // reading fault. False for an unknown address, an input outside 0..8 or
    // a fault that does not fit the input given.
    bool setFault(int address, Fault fault, int input = 0);
    // Makes input 1..8 read raw whatever else is set, until cleared.
    bool setReading(int address, int input, quint16 raw);
    // The same for relay module 1..3. Reply faults Silent, Late and Garbage
    // apply (its answer has no CRC and no exception form); a forced reading
    // is taken as a byte.
    bool setRelayFault(int module, Fault fault, int input = 0);
    bool setRelayReading(int module, int input, quint8 raw);
    // Clears every fault and forced reading of one module, of one relay
    // module, or of all of them.
    void clearFaults(int address);
    void clearRelayFaults(int module);
    void clearAllFaults();

    // The requests recognised so far, oldest first.
    QList<SimRequest> requests() const;
    void clearRequests();

    std::optional<SimModuleState> moduleState(int address) const;
    std::optional<SimFaults> relayFaults(int module) const;

private:
    using Clock = std::chrono::steady_clock;

    enum class LineRequest
    {
        None,
        Vanish,
        Reappear,
        Stop
    };

    struct Answer
    {
        QByteArray bytes;
        Clock::time_point due;
    };

    void run();
    bool changeLine(LineRequest request);
    bool applyLineChangeLocked(LineRequest request);
    bool openLineLocked();
    void closeLineLocked();
    int lineFd() const;
    void wake();
    std::optional<Answer> handleFrame(const QByteArray &frame, Clock::time_point now);
    void logLocked(const QByteArray &frame);
    QByteArray garbageLocked(const QByteArray &answer, bool modbus);
    bool writeToLine(const QByteArray &bytes);
    SimFaults *moduleFaultsLocked(int address);
    SimFaults *relayFaultsLocked(int module);
    static bool setFaultOn(SimFaults *faults, Fault fault, int input, bool relay);
    static bool setReadingOn(SimFaults *faults, int input, quint16 raw);

    mutable std::mutex m_mutex;
    std::condition_variable m_lineChanged;
    LineRequest m_lineRequest = LineRequest::None;
    bool m_lineResult = false;

    const bool m_usePty;
    const QString m_linkPath;
    const int m_portFd;
    SimPty m_pty;
    bool m_vanished = false;

    quint32 m_seed = 1;
    std::map<int, SimModule> m_modules;
    std::vector<SimRelayModule> m_relays;
    bool m_relayOn = false;
    QList<SimRequest> m_requests;
    std::mt19937 m_random;

    std::thread m_thread;
    bool m_running = false;
    int m_wakeFd = -1;
    Clock::time_point m_started;
    QString m_error;
};

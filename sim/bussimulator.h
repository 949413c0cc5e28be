#pragma once

#include "result/result.h"

#include "sim/simmodule.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"
#include "sim/simtransmitter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

class SimFrameReader;

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

// What the simulator did with one request it recognised (see
// BusSimulator::actions): the fault it applied, what it sent, and the outcome
// the master should record for it, in the master's own words where one maps
// (the simulator keeps its own copy of them, as of every bus fact):
//   answered                         a sound answer; a reading fault or lost
//                                    configuration changes only its values
//   no answer                        Silent; Late (the answer comes after the
//                                    master's 50 ms window); "no answer (no
//                                    module at address 9)"; "no answer
//                                    (broadcast)"; "no answer (not a relay
//                                    poll)"
//   CRC error                        BadCrc
//   exception N (name)               Exception (4, slave device failure), or
//                                    the module's own refusal: 1 illegal
//                                    function, 2 illegal data address, 3
//                                    illegal data value
//   answer from address N            WrongAddress
//   incomplete reply (n of m bytes)  CutOff
//   garbage                          Garbage: random bytes, which a master
//                                    may take for anything but a sound reply
struct SimAction
{
    qint64 number = 0; // 1 for the first request recognised since start(), then on
    SimRequest request;
    Fault fault = Fault::None; // the reply or reading fault applied, set or drawn
    bool drawn = false;        // drawn by chaos (setChaos)
    int input = 0;             // a reading fault's input, 1..8
    QByteArray reply;          // the bytes sent, CRC included; empty when none
    QString outcome;
};

// A copy of one simulated RTD module's state.
struct SimModuleState
{
    int address = 0;
    bool configured = false;
    SimInputTypes inputTypes{};
    int notchHz = 0;
    quint16 deviceType = 0;
    quint16 firmware = 0;
    SimFaults faults;
};

// Simulates the bus of RTD modules behind a serial line, answering on a
// thread of its own as every module at the chosen addresses and, if chosen,
// as the three relay-integrated modules.
//
// The line is a pseudo-terminal the simulator makes itself and publishes as
// a symbolic link at a stable path, which a master opens like a serial port
// (as often as it likes), the descriptor of a serial port the caller has
// opened and set up, or the client of a TCP server it runs (SimTcpServer),
// for a master that reaches its bus through a serial device server.
//
// Usage from a test:
//     BusSimulator sim(dir.filePath("ttyBUS"));
//     sim.addModule(5);
//     const Result<> started = sim.start();
//     QVERIFY2(started, qPrintable(started.error()));
//     ... open sim.linkPath() as a serial port and talk to module 5 ...
//     sim.setFault(5, Fault::Silent);
//     QCOMPARE(sim.requests().size(), 3);
//     sim.stop();
//
// Every member may be called from any thread, before, during or after the
// run.
//
// On the line it behaves as the modules do on a real one:
// - A request ends with 3.5 characters of silence (kFrameSilence); a gap that
//   long inside a request cuts it, and neither part is answered. A relay
//   module's poll may pause after its address byte (see SimFrameReader).
// - Frames with a wrong CRC and frames for addresses that are not simulated
//   get no answer. A module answers functions 3 and 16 and refuses every
//   other function with exception 1, a request whose length, byte count and
//   register count disagree with exception 3, registers it does not have
//   with exception 2 and values it does not take with exception 3. A
//   broadcast (address 0) is applied by every module and answered by none.
//   A relay module answers only its 13-byte poll with 1 in its constant
//   byte (offset 2).
// - With pacing on (the default) a reply begins a turnaround after the
//   request ended (kDefaultTurnaround, settable) and its bytes follow at the
//   line's rate: 10 bits a character at 19200 baud for the RTD modules (8
//   data bits, no parity, one stop bit), 11 bits at 57600 for the relay
//   modules (with their parity bit). A read of the eight readings (21 bytes)
//   is complete 1.8 + 3 + 10.9 = 15.7 ms after the master's last byte, well
//   within its 50 ms window; with Fault::Late the reply is complete
//   kLateDelay after the request, past that window. With pacing off a reply
//   goes out whole as soon as the request has ended, for tests that need
//   speed.
// - A reply that no master has read kUnreadReplyLifetime after its last byte
//   is discarded, as a real line loses what nobody listens to; a master that
//   opens the line later does not find it.
//
// Over TCP the client's bytes are the line, framed and answered as on the
// pty, replies paced alike, with two differences: kTcpFrameSilence ends a
// request, and the line lasts as long as its client. A client that hangs up
// leaves nothing behind: the bytes it sent are taken as ended then (a whole
// request is still carried out, a part of one is none), and the replies it
// did not wait for are dropped, not handed to the next client.
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

    // The line rates of the two kinds of module, and the bits of one
    // character on each line (start, 8 data, parity if any, stop).
    static constexpr int kModuleBaud = 19200;
    static constexpr int kModuleCharacterBits = 10;
    static constexpr int kRelayBaud = 57600;
    static constexpr int kRelayCharacterBits = 11;

    // The silence that ends a request on the pty: 3.5 characters of 10 bits
    // at 19200 baud, 3.5 * 10 / 19200 s = 1.823 ms, as a module on a real
    // line takes it.
    //
    // A pty has no timing of its own, so the simulator measures the silence
    // between its reads, and that is robust here for a reason worth
    // stating: the pty copies all bytes of one write() into one buffer and
    // hands them to the reading side in one piece (checked: 20,000 writes of
    // 8 to 256 bytes under full load on both cores, none arrived split), and
    // every master we serve (the program's TComPort, libmodbus, mbpoll)
    // writes a request with one write(). Scheduler jitter can delay the
    // simulator's reads but not cut a write, so it can only join two writes
    // that came close together, never split one; a loaded machine therefore
    // never costs a request. Only the relay link writes a request in two
    // parts, and its gap is handled by the relay address byte rule.
    static constexpr std::chrono::nanoseconds kFrameSilence{
        35 * SimTransmitter::characterTime(kModuleBaud, kModuleCharacterBits) / 10};
    // The same on a real port. There the kernel hands bytes over in pieces
    // whose timing is not the line's: a UART raises its interrupt every 8 or
    // 14 bytes and 4 characters after the last one, and a USB adapter sends
    // what it has every 1 to 16 ms (its latency timer). Silence between
    // reads of up to that long is therefore no silence on the line.
    static constexpr std::chrono::milliseconds kPortFrameSilence{20};
    // The same over TCP. A master's request reaches the simulator in the
    // segments the network and any program on the way cut it into, and a
    // device server or a pty bridge such as socat forwards serial bytes as
    // it reads them, so the pty's 1.8 ms could cut a request at a gap that
    // was never on a line. 20 ms, as on a real port, still lets the answer
    // to a read of the eight readings arrive 20 + 3 + 10.9 = 33.9 ms after
    // the master's last byte, within its 50 ms window; on a slow network
    // the network's own delay comes on top.
    static constexpr std::chrono::milliseconds kTcpFrameSilence{20};
    // How long a relay module's address byte waits for the rest of its poll
    // (see SimFrameReader): the master's own 50 ms reply window.
    static constexpr std::chrono::milliseconds kRelayAddressHold{50};
    // The time between the end of a request and the start of its reply.
    static constexpr std::chrono::microseconds kDefaultTurnaround{3000};
    // When a late answer is complete, counted from the end of the request:
    // its first byte comes well past the master's 50 ms reply window (a read
    // of the eight readings, 11 ms on the line, begins at 69 ms), and its
    // last byte well before the master drops what came late, 100 ms after
    // its request.
    static constexpr std::chrono::milliseconds kLateDelay{80};
    // A reply still unread this long after its last byte is discarded. It is
    // five times the program's 50 ms reply window, so a master that reads at
    // the end of its window, or after the extra 50 ms in which it drops a
    // late reply, still finds its answer on a loaded machine; a master that
    // opens the line a moment later finds it empty.
    static constexpr std::chrono::milliseconds kUnreadReplyLifetime{250};
    // The request log keeps this many of the latest requests.
    static constexpr qsizetype kMaxLoggedRequests = 10000;

    explicit BusSimulator(const QString &linkPath);
    explicit BusSimulator(OpenPort port);
    // Listens on address (see SimTcpServer) and serves one client at a time.
    explicit BusSimulator(SimListenAddress address);
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

    // Whether the three relay-integrated modules answer their polls. While
    // they do, every frame with command 9 for 13, 14 or 15 is theirs; Modbus
    // modules at those addresses answer the other functions either way.
    void setRelayModules(bool on);
    bool relayModules() const;

    // Pacing of the replies (see above); on by default. On an open port the
    // port itself sends at its baud rate, so there pacing means only the
    // turnaround. Either may be changed while running and applies to the
    // next request.
    void setPacing(bool on);
    bool pacing() const;
    void setTurnaround(std::chrono::microseconds turnaround);
    std::chrono::microseconds turnaround() const;

    // Makes the pty and publishes it, takes the open port, or listens, and
    // starts answering. A failure says why.
    Result<> start();
    // Stops answering, closes the pty and removes its link, or closes the
    // listener and its client. Idempotent.
    void stop();
    bool isRunning() const;

    // The link the pty is published under (empty for an open port), and the
    // pty's own path at the moment (empty while vanished or stopped).
    QString linkPath() const;
    QString ptyPath() const;
    // Over TCP: the address listened on, as "tcp://127.0.0.1:40123" (the
    // port the system chose, when asked for 0), once start() succeeded; and
    // the client served at the moment, as "127.0.0.1:51234". Empty
    // otherwise.
    QString listenUrl() const;
    QString clientAddress() const;

    // The line vanishing, as when a USB adapter is pulled: the pty closes
    // (a client that has it open sees a hang-up) and its link disappears.
    // reappear() makes a new pty and publishes it under the same link. Over
    // TCP, as when a device server goes away: the client's connection and
    // the listener close (a master that connects meanwhile is refused), and
    // reappear() listens again on the same address and port.
    // Modules keep their state. Both fail on an open port, on a stopped
    // simulator, or when the line is already in that state; reappear() also
    // when no new pty could be made or published, saying why.
    bool vanish();
    Result<> reappear();
    bool hasVanished() const;

    // Sets a fault on the module at address: a reply fault (input 0), a
    // reading fault on input 1..8, or Fault::LostConfiguration, which acts at
    // once. Fault::None clears the reply fault (input 0) or the input's
    // reading fault. False for an unknown address, an input outside 0..8 or
    // a fault that does not fit the input given.
    bool setFault(int address, Fault fault, int input = 0);
    // Makes input 1..8 read raw whatever else is set, until cleared.
    bool setReading(int address, int input, quint16 raw);
    // A reply fault (Silent, Late, BadCrc, Exception, Garbage, WrongAddress,
    // CutOff; None clears it) for the requests to the module whose first
    // register is first (0..65535) only: the module answers its other
    // requests. A fault of the whole module wins over it. False for an unknown address, a register
    // outside 0..65535 or a fault that is not a reply fault.
    bool setRegisterFault(int address, int first, Fault fault);
    // Register 4, 5 or 7 of the module reads value from now on (the notch
    // command still changes register 7). These are the module's state, not
    // faults: clearing faults leaves them. False for an unknown address.
    bool setIdentity(int address, SimIdentity which, quint16 value);
    // The same for relay module 1..3. Reply faults Silent, Late, Garbage,
    // WrongAddress and CutOff apply (its answer has no CRC and no exception
    // form); a forced reading is taken as a byte.
    bool setRelayFault(int module, Fault fault, int input = 0);
    bool setRelayReading(int module, int input, quint8 raw);
    // Random faults, for soak runs and training: percent (0..100) of the
    // requests to a simulated module (RTD or relay) meet one fault drawn at
    // random, each kind as likely as the others, on top of the faults set:
    // silent, late, bad CRC, exception, garbage, an open, shorted or
    // out-of-range reading on one input of that reply, and lost
    // configuration (the module forgets its input types, as that fault
    // does). A relay module draws only from silent, late, garbage, open and
    // shorted. A request that a set fault already spoils draws nothing.
    // Wrong address and cut-off replies are not drawn: they are set only,
    // so that the draws of a seed stay what they were before those faults
    // came. False for a percent outside 0..100. The draws follow the seed.
    bool setChaos(int percent);
    int chaos() const;
    // How many requests met each kind of random fault since start(), in the
    // order of the Fault enumeration; kinds never drawn are left out.
    std::map<Fault, qint64> chaosCounts() const;

    // Clears every fault and forced reading of one module, of one relay
    // module, or of all of them.
    void clearFaults(int address);
    void clearRelayFaults(int module);
    void clearAllFaults();

    // The requests recognised so far, oldest first.
    QList<SimRequest> requests() const;
    // What was done to each of them, in the same order; kept and cleared
    // together with the requests.
    QList<SimAction> actions() const;
    void clearRequests();
    // Told on the simulator's thread what was done to each request as soon
    // as its answer is decided (before the answer goes out); keep it short.
    // An empty function tells nobody.
    using ActionObserver = std::function<void(const SimAction &)>;
    void setActionObserver(ActionObserver observer);
    // How many frames silence has ended on the line since start(), whatever
    // they held (noise, fragments, requests for nobody). A test that must
    // know that a frame has ended before it sends the next waits on this.
    qint64 framesReceived() const;

    std::optional<SimModuleState> moduleState(int address) const;
    std::optional<SimFaults> relayFaults(int module) const;

private:
    using Clock = std::chrono::steady_clock;

    enum class LineKind
    {
        Pty,
        Port,
        Tcp
    };

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
        Clock::time_point start;
        Clock::duration character;
    };

    void run();
    // Frames that have ended by now, handled and their answers queued.
    void takeFrames(SimFrameReader &reader, SimTransmitter &transmitter, Clock::time_point now);
    Result<> changeLine(LineRequest request);
    Result<> applyLineChangeLocked(LineRequest request);
    Result<> openLineLocked();
    void closeLineLocked();
    int lineFd() const;
    void wake();
    std::optional<Answer> handleFrame(const QByteArray &frame, Clock::time_point end,
                                      std::optional<SimAction> &action);
    std::optional<Answer> relayAnswerLocked(const QByteArray &frame, qint64 elapsedMs,
                                            Clock::time_point end, SimAction &action);
    std::optional<Answer> modbusAnswerLocked(const QByteArray &frame, qint64 elapsedMs,
                                             Clock::time_point end, SimAction &action);
    // The answer bytes timed on the line: a character of characterTime each.
    Answer timedLocked(QByteArray bytes, Fault fault, std::chrono::nanoseconds characterTime,
                       Clock::time_point end) const;
    SimRequest logLocked(const QByteArray &frame);
    QByteArray garbageLocked(const QByteArray &answer, bool modbus);
    // The random fault a request meets, or Fault::None (see setChaos).
    Fault chaosDrawLocked(bool relay);
    bool writeToLine(const QByteArray &bytes);
    SimFaults *moduleFaultsLocked(int address);
    SimFaults *relayFaultsLocked(int module);
    static bool setFaultOn(SimFaults *faults, Fault fault, int input, bool relay);
    static bool setReadingOn(SimFaults *faults, int input, quint16 raw);

    mutable std::mutex m_mutex;
    std::condition_variable m_lineChanged;
    LineRequest m_lineRequest = LineRequest::None;
    Result<> m_lineResult;

    const LineKind m_kind;
    const QString m_linkPath;
    const int m_portFd;
    SimPty m_pty;
    SimTcpServer m_tcp;
    bool m_vanished = false;

    quint32 m_seed = 1;
    std::map<int, SimModule> m_modules;
    std::vector<SimRelayModule> m_relays;
    bool m_relayOn = false;
    bool m_pacing = true;
    std::chrono::microseconds m_turnaround = kDefaultTurnaround;
    QList<SimRequest> m_requests;
    QList<SimAction> m_actions;
    qint64 m_requestNumber = 0;
    ActionObserver m_observer;
    qint64 m_framesReceived = 0;
    std::mt19937 m_random;
    int m_chaosPercent = 0;
    std::map<Fault, qint64> m_chaosCounts;

    std::thread m_thread;
    bool m_running = false;
    int m_wakeFd = -1;
    Clock::time_point m_started;
};

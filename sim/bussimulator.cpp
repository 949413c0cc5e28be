#include "sim/bussimulator.h"

#include "sim/simframereader.h"

#include <array>
#include <cerrno>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

// The worker wakes at least this often while idle, to clear exclusive mode
// that a client which opened the pty and wrote nothing may have left set.
constexpr milliseconds kIdleTick{100};
// How long the worker leaves a line alone after a read error or hang-up
// before reading again (a real port whose adapter went away).
constexpr milliseconds kErrorPause{20};
// A write that finds the line full waits for it this many times, 20 ms each.
constexpr int kMaxWriteStalls = 5;

timespec toTimespec(std::chrono::nanoseconds wait)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    return timespec{static_cast<time_t>(seconds.count()),
                    static_cast<long>((wait - seconds).count())};
}

bool isReadingFault(Fault fault)
{
    return fault == Fault::Open || fault == Fault::Shorted || fault == Fault::OutOfRange;
}

// Runs answer() with a drawn reading fault on one input of the unit chosen at
// random (reported in action), then puts the input's own fault back: the
// fault shows in this one reply only. Any other fault runs answer() as it is.
template <typename Unit, typename Answer>
QByteArray withReadingFault(Unit &unit, Fault drawn, std::mt19937 &random, SimAction &action,
                            Answer answer)
{
    if (!isReadingFault(drawn))
        return answer();
    const auto input = std::uniform_int_distribution<int>(0, kSimInputCount - 1)(random);
    action.input = input + 1;
    const Fault own = std::exchange(unit.faults().inputs[input], drawn);
    QByteArray bytes = answer();
    unit.faults().inputs[input] = own;
    return bytes;
}

// The address a WrongAddress answer comes from.
quint8 otherAddress(int address)
{
    return static_cast<quint8>(address % kSimMaxAddress + 1);
}

// How much of an answer a CutOff sends: its first half, at least one byte.
qsizetype cutOffLength(qsizetype length)
{
    return std::max<qsizetype>(1, length / 2);
}

QString exceptionName(int code)
{
    switch (code) {
    case SimModule::kIllegalFunction:
        return QStringLiteral("illegal function");
    case SimModule::kIllegalAddress:
        return QStringLiteral("illegal data address");
    case SimModule::kIllegalValue:
        return QStringLiteral("illegal data value");
    case SimModule::kDeviceFailure:
        return QStringLiteral("slave device failure");
    default:
        return QStringLiteral("unknown exception");
    }
}

// The outcome a master records for an answer sent whole under fault (see
// SimAction): bytes is the answer as sent, full is its length uncut.
QString outcomeOf(Fault fault, const QByteArray &bytes, qsizetype full, bool modbus)
{
    switch (fault) {
    case Fault::Silent:
    case Fault::Late:
        return QStringLiteral("no answer");
    case Fault::BadCrc:
        return QStringLiteral("CRC error");
    case Fault::Garbage:
        return QStringLiteral("garbage");
    case Fault::WrongAddress:
        return QStringLiteral("answer from address %1").arg(simByteAt(bytes, 0));
    case Fault::CutOff:
        return QStringLiteral("incomplete reply (%1 of %2 bytes)").arg(bytes.size()).arg(full);
    default:
        break;
    }
    if (modbus && bytes.size() >= 3 && (simByteAt(bytes, 1) & 0x80) != 0) {
        const int code = simByteAt(bytes, 2);
        return QStringLiteral("exception %1 (%2)").arg(code).arg(exceptionName(code));
    }
    return QStringLiteral("answered");
}

} // namespace

BusSimulator::BusSimulator(const QString &linkPath)
    : m_kind(LineKind::Pty), m_linkPath(linkPath), m_portFd(-1)
{
    for (int module = 1; module <= SimRelayModule::kCount; ++module)
        m_relays.emplace_back(module, m_seed);
}

BusSimulator::BusSimulator(OpenPort port) : m_kind(LineKind::Port), m_portFd(port.fd)
{
    for (int module = 1; module <= SimRelayModule::kCount; ++module)
        m_relays.emplace_back(module, m_seed);
}

BusSimulator::BusSimulator(SimListenAddress address)
    : m_kind(LineKind::Tcp), m_portFd(-1), m_tcp(std::move(address))
{
    for (int module = 1; module <= SimRelayModule::kCount; ++module)
        m_relays.emplace_back(module, m_seed);
}

BusSimulator::~BusSimulator()
{
    stop();
}

void BusSimulator::setSeed(quint32 seed)
{
    std::lock_guard lock(m_mutex);
    m_seed = seed;
    m_random.seed(seed);
    for (auto &[address, module] : m_modules)
        module.setSeed(seed);
    for (SimRelayModule &relay : m_relays)
        relay.setSeed(seed);
}

quint32 BusSimulator::seed() const
{
    std::lock_guard lock(m_mutex);
    return m_seed;
}

bool BusSimulator::addModule(int address)
{
    std::lock_guard lock(m_mutex);
    if (address < 1 || address > kSimMaxAddress)
        return false;
    return m_modules.try_emplace(address, address, m_seed).second;
}

bool BusSimulator::addModule(int address, const SimInputTypes &types)
{
    if (!addModule(address))
        return false;
    std::lock_guard lock(m_mutex);
    m_modules.at(address).configure(types);
    return true;
}

QList<int> BusSimulator::moduleAddresses() const
{
    std::lock_guard lock(m_mutex);
    QList<int> addresses;
    for (const auto &entry : m_modules)
        addresses.append(entry.first);
    return addresses;
}

void BusSimulator::setRelayModules(bool on)
{
    std::lock_guard lock(m_mutex);
    m_relayOn = on;
}

bool BusSimulator::relayModules() const
{
    std::lock_guard lock(m_mutex);
    return m_relayOn;
}

void BusSimulator::setPacing(bool on)
{
    std::lock_guard lock(m_mutex);
    m_pacing = on;
}

bool BusSimulator::pacing() const
{
    std::lock_guard lock(m_mutex);
    return m_pacing;
}

void BusSimulator::setTurnaround(std::chrono::microseconds turnaround)
{
    std::lock_guard lock(m_mutex);
    m_turnaround = std::max(turnaround, std::chrono::microseconds::zero());
}

std::chrono::microseconds BusSimulator::turnaround() const
{
    std::lock_guard lock(m_mutex);
    return m_turnaround;
}

Result<> BusSimulator::start()
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        return {};
    if (m_kind == LineKind::Port && m_portFd < 0)
        return Fail(QStringLiteral("no serial port descriptor"));
    if (m_kind == LineKind::Port)
        ::fcntl(m_portFd, F_SETFL, ::fcntl(m_portFd, F_GETFL) | O_NONBLOCK);
    if (m_kind != LineKind::Port) {
        if (Result<> opened = openLineLocked(); !opened)
            return opened;
    }
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_vanished = false;
    m_random.seed(m_seed);
    m_chaosCounts.clear();
    m_framesReceived = 0;
    m_requestNumber = 0;
    m_started = Clock::now();
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return {};
}

void BusSimulator::stop()
{
    {
        std::unique_lock lock(m_mutex);
        m_lineChanged.wait(lock, [this] { return m_lineRequest == LineRequest::None; });
        if (!m_running)
            return;
        m_lineRequest = LineRequest::Stop;
        wake();
    }
    m_thread.join();
    std::lock_guard lock(m_mutex);
    if (m_kind != LineKind::Port)
        closeLineLocked();
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_running = false;
    m_vanished = false;
    m_lineRequest = LineRequest::None;
    m_lineChanged.notify_all();
}

bool BusSimulator::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

QString BusSimulator::linkPath() const
{
    return m_linkPath;
}

QString BusSimulator::ptyPath() const
{
    std::lock_guard lock(m_mutex);
    return m_pty.slavePath();
}

QString BusSimulator::listenUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_tcp.url();
}

QString BusSimulator::clientAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_tcp.clientName();
}

bool BusSimulator::vanish()
{
    return changeLine(LineRequest::Vanish).ok();
}

Result<> BusSimulator::reappear()
{
    return changeLine(LineRequest::Reappear);
}

bool BusSimulator::hasVanished() const
{
    std::lock_guard lock(m_mutex);
    return m_vanished;
}

// The worker owns the line while it runs, so a change of line is handed to
// it and waited for: closing a descriptor that another thread is polling
// would let a new file take its number under the poll.
Result<> BusSimulator::changeLine(LineRequest request)
{
    std::unique_lock lock(m_mutex);
    m_lineChanged.wait(lock, [this] { return m_lineRequest == LineRequest::None; });
    if (m_kind == LineKind::Port)
        return Fail(QStringLiteral("the line is a serial port, which cannot vanish"));
    if (request == LineRequest::Reappear && !m_vanished)
        return Fail(QStringLiteral("the line has not vanished"));
    if (!m_running)
        return Fail(QStringLiteral("the simulator is not running"));
    m_lineRequest = request;
    wake();
    m_lineChanged.wait(lock, [this] { return m_lineRequest == LineRequest::None; });
    if (!m_running)
        return Fail(QStringLiteral("the simulator is not running"));
    return m_lineResult;
}

Result<> BusSimulator::applyLineChangeLocked(LineRequest request)
{
    if (request == LineRequest::Vanish) {
        if (m_vanished)
            return Fail(QStringLiteral("the line has vanished already"));
        closeLineLocked();
        m_vanished = true;
        return {};
    }
    if (!m_vanished)
        return Fail(QStringLiteral("the line has not vanished"));
    if (Result<> opened = openLineLocked(); !opened)
        return opened;
    m_vanished = false;
    return {};
}

Result<> BusSimulator::openLineLocked()
{
    if (m_kind == LineKind::Tcp)
        return m_tcp.listen();
    if (Result<> opened = m_pty.open(); !opened)
        return opened;
    if (Result<> published = simPublishLink(m_linkPath, m_pty.slavePath()); !published) {
        m_pty.close();
        return published;
    }
    return {};
}

void BusSimulator::closeLineLocked()
{
    m_tcp.close();
    if (!m_pty.isOpen())
        return;
    simRemoveLink(m_linkPath, m_pty.slavePath());
    m_pty.close();
}

int BusSimulator::lineFd() const
{
    switch (m_kind) {
    case LineKind::Pty:
        return m_pty.masterFd();
    case LineKind::Port:
        return m_portFd;
    case LineKind::Tcp:
        return m_tcp.clientFd();
    }
    return -1;
}

void BusSimulator::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void BusSimulator::run()
{
    SimFrameReader reader(m_kind == LineKind::Pty   ? Clock::duration(kFrameSilence)
                          : m_kind == LineKind::Tcp ? Clock::duration(kTcpFrameSilence)
                                                    : Clock::duration(kPortFrameSilence),
                          kRelayAddressHold);
    SimTransmitter transmitter;
    // When the last reply byte went out, and whether it may still be unread.
    Clock::time_point lastWrite;
    bool unread = false;
    Clock::time_point lineResumes;
    std::array<char, 512> buffer;
    // A TCP client that hangs up sends nothing more, so the bytes it sent
    // have ended; its replies go nowhere, and never to the next client.
    const auto hangUp = [&] {
        takeFrames(reader, transmitter, Clock::time_point::max());
        reader.clear();
        transmitter.clear();
        std::lock_guard lock(m_mutex);
        m_framesReceived = reader.framesEnded();
        m_tcp.dropClient();
    };
    for (;;) {
        int fd = -1;
        int listenFd = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_lineRequest == LineRequest::Stop)
                return;
            if (m_lineRequest != LineRequest::None) {
                m_lineResult = applyLineChangeLocked(m_lineRequest);
                m_lineRequest = LineRequest::None;
                reader.clear();
                transmitter.clear();
                unread = false;
                m_lineChanged.notify_all();
            }
            fd = lineFd();
            listenFd = m_tcp.listenFd();
        }

        Clock::time_point now = Clock::now();
        takeFrames(reader, transmitter, now);
        {
            std::lock_guard lock(m_mutex);
            m_framesReceived = reader.framesEnded();
        }
        if (const QByteArray due = transmitter.takeDue(now); !due.isEmpty()) {
            if (!writeToLine(due) && m_kind == LineKind::Tcp) {
                hangUp();
                continue;
            }
            lastWrite = now;
            unread = m_kind == LineKind::Pty;
        }
        if (unread && transmitter.isIdle() && now - lastWrite >= kUnreadReplyLifetime) {
            m_pty.discardUnreadOutput();
            unread = false;
        }

        Clock::time_point wakeAt = now + kIdleTick;
        for (const auto &at : {reader.nextDeadline(), transmitter.nextDue()}) {
            if (at)
                wakeAt = std::min(wakeAt, *at);
        }
        if (unread && transmitter.isIdle())
            wakeAt = std::min(wakeAt, lastWrite + kUnreadReplyLifetime);
        const bool watchLine = fd >= 0 && now >= lineResumes;
        if (fd >= 0 && !watchLine)
            wakeAt = std::min(wakeAt, lineResumes);

        std::array<pollfd, 3> fds{
            {{m_wakeFd, POLLIN, 0}, {watchLine ? fd : -1, POLLIN, 0}, {listenFd, POLLIN, 0}}};
        const auto wait = std::max(Clock::duration::zero(), wakeAt - now);
        const timespec timeout = toTimespec(wait);
        const int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (ready < 0)
            continue;
        if (fds[0].revents) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
        }
        if (ready == 0 && m_kind == LineKind::Pty)
            m_pty.releaseExclusive();
        // A newcomer waits until the client's bytes are read: a client that
        // has hung up is then gone, and the newcomer is served, not refused.
        if (fds[1].revents == 0) {
            if (fds[2].revents) {
                std::lock_guard lock(m_mutex);
                m_tcp.acceptPending();
            }
            continue;
        }

        const Clock::time_point arrived = Clock::now();
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0 && m_kind == LineKind::Tcp) {
            hangUp();
            continue;
        }
        if (n <= 0) {
            // Hung up or failing: polling again at once would only spin.
            lineResumes = Clock::now() + kErrorPause;
            continue;
        }
        // The client that wrote these bytes set exclusive mode before it
        // wrote them, if at all; it must not outlive that client's close.
        if (m_kind == LineKind::Pty)
            m_pty.releaseExclusive();
        reader.append(QByteArrayView(buffer.data(), n), arrived);
    }
}

void BusSimulator::takeFrames(SimFrameReader &reader, SimTransmitter &transmitter,
                              Clock::time_point now)
{
    while (const auto frame = reader.takeFrame(now)) {
        std::optional<SimAction> action;
        ActionObserver observer;
        if (const auto answer = handleFrame(frame->bytes, frame->end, action))
            transmitter.queue(answer->bytes, answer->start, answer->character);
        if (action) {
            std::lock_guard lock(m_mutex);
            observer = m_observer;
        }
        if (action && observer)
            observer(*action);
    }
}

std::optional<BusSimulator::Answer> BusSimulator::handleFrame(const QByteArray &frame,
                                                              Clock::time_point end,
                                                              std::optional<SimAction> &action)
{
    // Address, function and CRC at the least.
    if (frame.size() < 4 || simCrc16(frame) != 0)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    action.emplace();
    action->request = logLocked(frame);
    action->number = ++m_requestNumber;
    const qint64 elapsedMs = std::chrono::duration_cast<milliseconds>(end - m_started).count();
    const bool relay = m_relayOn && SimFrameReader::isRelayAddress(simByteAt(frame, 0)) &&
                       simByteAt(frame, 1) == SimRelayModule::kCommand;
    std::optional<Answer> answer = relay ? relayAnswerLocked(frame, elapsedMs, end, *action)
                                         : modbusAnswerLocked(frame, elapsedMs, end, *action);
    if (answer)
        action->reply = answer->bytes;
    if (m_actions.size() >= kMaxLoggedRequests)
        m_actions.removeFirst();
    m_actions.append(*action);
    return answer;
}

std::optional<BusSimulator::Answer> BusSimulator::relayAnswerLocked(const QByteArray &frame,
                                                                    qint64 elapsedMs,
                                                                    Clock::time_point end,
                                                                    SimAction &action)
{
    // A poll of any other length, or without its constant, is none.
    if (!SimFrameReader::isRelayPoll(frame) ||
        simByteAt(frame, 2) != SimRelayModule::kPollConstant) {
        action.outcome = QStringLiteral("no answer (not a relay poll)");
        return std::nullopt;
    }
    const int address = simByteAt(frame, 0);
    SimRelayModule &module = m_relays[address - SimRelayModule::kAddressOffset - 1];
    Fault fault = module.faults().reply;
    const Fault drawn = fault == Fault::None ? chaosDrawLocked(true) : Fault::None;
    if (drawn == Fault::Silent || drawn == Fault::Late || drawn == Fault::Garbage)
        fault = drawn;
    action.fault = drawn != Fault::None ? drawn : fault;
    action.drawn = drawn != Fault::None;
    if (fault == Fault::Silent) {
        action.outcome = outcomeOf(fault, {}, 0, false);
        return std::nullopt;
    }
    QByteArray bytes = withReadingFault(module, drawn, m_random, action,
                                        [&] { return module.answer(frame, elapsedMs); });
    const qsizetype full = bytes.size();
    if (fault == Fault::Garbage)
        bytes = garbageLocked(bytes, false);
    if (fault == Fault::WrongAddress)
        bytes[0] = static_cast<char>(otherAddress(address));
    if (fault == Fault::CutOff)
        bytes.truncate(cutOffLength(full));
    action.outcome = outcomeOf(fault, bytes, full, false);
    return timedLocked(bytes, fault, SimTransmitter::characterTime(kRelayBaud, kRelayCharacterBits),
                       end);
}

std::optional<BusSimulator::Answer> BusSimulator::modbusAnswerLocked(const QByteArray &frame,
                                                                     qint64 elapsedMs,
                                                                     Clock::time_point end,
                                                                     SimAction &action)
{
    const QByteArray request = frame.chopped(2);
    const int address = simByteAt(frame, 0);
    // Fault::Silent and Fault::Exception may be set for one first register.
    const int first = request.size() >= 4 ? simWordAt(request, 2) : -1;
    if (address == 0) {
        for (auto &[moduleAddress, module] : m_modules) {
            const Fault moduleFault = module.faults().replyFaultFrom(first);
            if (moduleFault != Fault::Silent && moduleFault != Fault::Exception)
                module.answer(request, elapsedMs);
        }
        action.outcome = QStringLiteral("no answer (broadcast)");
        return std::nullopt;
    }
    const auto it = m_modules.find(address);
    if (it == m_modules.end()) {
        action.outcome = QStringLiteral("no answer (no module at address %1)").arg(address);
        return std::nullopt;
    }
    SimModule &module = it->second;
    Fault fault = module.faults().replyFaultFrom(first);
    const Fault drawn = fault == Fault::None ? chaosDrawLocked(false) : Fault::None;
    if (drawn == Fault::LostConfiguration)
        module.loseConfiguration();
    else if (drawn != Fault::None && !isReadingFault(drawn))
        fault = drawn;
    action.fault = drawn != Fault::None ? drawn : fault;
    action.drawn = drawn != Fault::None;
    if (fault == Fault::Silent) {
        action.outcome = outcomeOf(fault, {}, 0, true);
        return std::nullopt;
    }
    QByteArray body = fault == Fault::Exception
                          ? SimModule::exceptionAnswer(request, SimModule::kDeviceFailure)
                          : withReadingFault(module, drawn, m_random, action,
                                             [&] { return module.answer(request, elapsedMs); });
    if (fault == Fault::WrongAddress)
        body[0] = static_cast<char>(otherAddress(address));
    QByteArray bytes = simWithCrc(body);
    const qsizetype full = bytes.size();
    if (fault == Fault::BadCrc) {
        bytes[bytes.size() - 2] = static_cast<char>(~bytes[bytes.size() - 2]);
        bytes[bytes.size() - 1] = static_cast<char>(~bytes[bytes.size() - 1]);
    }
    if (fault == Fault::Garbage)
        bytes = garbageLocked(bytes, true);
    if (fault == Fault::CutOff)
        bytes.truncate(cutOffLength(full));
    action.outcome = outcomeOf(fault, bytes, full, true);
    return timedLocked(bytes, fault,
                       SimTransmitter::characterTime(kModuleBaud, kModuleCharacterBits), end);
}

// A reply's time on the line counts from the moment its request ended,
// however late the worker noticed: a reply whose start has passed goes out
// at once, as much of it as is due by then.
BusSimulator::Answer BusSimulator::timedLocked(QByteArray bytes, Fault fault,
                                               std::chrono::nanoseconds characterTime,
                                               Clock::time_point end) const
{
    // On an open port the port's own baud rate spaces the bytes.
    const Clock::duration character = m_pacing && m_kind != LineKind::Port
                                          ? Clock::duration(characterTime)
                                          : Clock::duration::zero();
    const Clock::duration turnaround = m_pacing ? m_turnaround : Clock::duration::zero();
    Clock::duration delay = turnaround;
    if (fault == Fault::Late) {
        // Complete kLateDelay after the request: begun past the master's
        // window, ended before the master drops what came late.
        const Clock::duration length = character * bytes.size();
        delay = std::max(turnaround, Clock::duration(kLateDelay - length));
    }
    return Answer{std::move(bytes), end + delay, character};
}

Fault BusSimulator::chaosDrawLocked(bool relay)
{
    if (m_chaosPercent == 0 ||
        std::uniform_int_distribution<int>(0, 99)(m_random) >= m_chaosPercent)
        return Fault::None;
    static constexpr Fault kModuleKinds[] = {
        Fault::Silent, Fault::Late,    Fault::BadCrc,     Fault::Exception,         Fault::Garbage,
        Fault::Open,   Fault::Shorted, Fault::OutOfRange, Fault::LostConfiguration,
    };
    static constexpr Fault kRelayKinds[] = {
        Fault::Silent, Fault::Late, Fault::Garbage, Fault::Open, Fault::Shorted,
    };
    const qsizetype kinds = relay ? std::size(kRelayKinds) : std::size(kModuleKinds);
    const auto pick = std::uniform_int_distribution<qsizetype>(0, kinds - 1)(m_random);
    const Fault drawn = relay ? kRelayKinds[pick] : kModuleKinds[pick];
    ++m_chaosCounts[drawn];
    return drawn;
}

bool BusSimulator::setChaos(int percent)
{
    if (percent < 0 || percent > 100)
        return false;
    std::lock_guard lock(m_mutex);
    m_chaosPercent = percent;
    return true;
}

int BusSimulator::chaos() const
{
    std::lock_guard lock(m_mutex);
    return m_chaosPercent;
}

std::map<Fault, qint64> BusSimulator::chaosCounts() const
{
    std::lock_guard lock(m_mutex);
    return m_chaosCounts;
}

QByteArray BusSimulator::garbageLocked(const QByteArray &answer, bool modbus)
{
    QByteArray bytes(answer.size(), '\0');
    for (char &c : bytes)
        c = static_cast<char>(m_random() & 0xFF);
    // Chance must never make it pass as an answer: a Modbus master checks
    // the CRC, the relay link only the echoed address and the marker.
    if (modbus && simCrc16(bytes) == 0)
        bytes[bytes.size() - 1] = static_cast<char>(bytes.back() ^ 1);
    if (!modbus && bytes[0] == answer[0] && bytes[2] == answer[2])
        bytes[2] = static_cast<char>(~bytes[2]);
    return bytes;
}

SimRequest BusSimulator::logLocked(const QByteArray &frame)
{
    const QByteArray request = frame.chopped(2);
    SimRequest logged;
    logged.address = simByteAt(request, 0);
    logged.function = simByteAt(request, 1);
    if (SimFrameReader::isRelayPoll(frame)) {
        logged.count = kSimInputCount;
        for (int i = 0; i < kSimInputCount; ++i)
            logged.values.append(simByteAt(request, 3 + i));
    } else {
        if (request.size() >= 4)
            logged.first = simWordAt(request, 2);
        if (request.size() >= 6)
            logged.count = simWordAt(request, 4);
        if (logged.function == 15 || logged.function == 16) {
            for (qsizetype i = 7; i + 1 < request.size(); i += 2)
                logged.values.append(static_cast<quint16>(simWordAt(request, i)));
        }
    }
    if (m_requests.size() >= kMaxLoggedRequests)
        m_requests.removeFirst();
    m_requests.append(logged);
    return logged;
}

bool BusSimulator::writeToLine(const QByteArray &bytes)
{
    if (m_kind == LineKind::Tcp)
        return m_tcp.send(bytes);
    const int fd = lineFd();
    qsizetype done = 0;
    bool discarded = false;
    int stalls = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && m_kind == LineKind::Pty && !discarded) {
            // Full of answers nobody read: the next client purges them anyway.
            m_pty.discardUnreadOutput();
            discarded = true;
        } else if (n < 0 && errno == EAGAIN && stalls++ < kMaxWriteStalls) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 20);
        } else {
            return false;
        }
    }
    return done == bytes.size();
}

SimFaults *BusSimulator::moduleFaultsLocked(int address)
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : &it->second.faults();
}

SimFaults *BusSimulator::relayFaultsLocked(int module)
{
    if (module < 1 || module > SimRelayModule::kCount)
        return nullptr;
    return &m_relays[module - 1].faults();
}

bool BusSimulator::setFaultOn(SimFaults *faults, Fault fault, int input, bool relay)
{
    if (!faults || input < 0 || input > kSimInputCount || fault == Fault::LostConfiguration)
        return false;
    if (input == 0) {
        const bool noCrcOrException =
            relay && (fault == Fault::BadCrc || fault == Fault::Exception);
        if (isReadingFault(fault) || noCrcOrException)
            return false;
        faults->reply = fault;
        return true;
    }
    if (fault != Fault::None && !isReadingFault(fault))
        return false;
    faults->inputs[input - 1] = fault;
    if (fault == Fault::None)
        faults->forced[input - 1].reset();
    return true;
}

bool BusSimulator::setReadingOn(SimFaults *faults, int input, quint16 raw)
{
    if (!faults || input < 1 || input > kSimInputCount)
        return false;
    faults->forced[input - 1] = raw;
    return true;
}

bool BusSimulator::setFault(int address, Fault fault, int input)
{
    std::lock_guard lock(m_mutex);
    if (fault == Fault::LostConfiguration && input == 0 && m_modules.count(address)) {
        m_modules.at(address).loseConfiguration();
        return true;
    }
    return setFaultOn(moduleFaultsLocked(address), fault, input, false);
}

bool BusSimulator::setReading(int address, int input, quint16 raw)
{
    std::lock_guard lock(m_mutex);
    return setReadingOn(moduleFaultsLocked(address), input, raw);
}

bool BusSimulator::setRegisterFault(int address, int first, Fault fault)
{
    std::lock_guard lock(m_mutex);
    SimFaults *faults = moduleFaultsLocked(address);
    const bool replyFault = !isReadingFault(fault) && fault != Fault::LostConfiguration;
    if (!faults || first < 0 || first > 0xFFFF || !replyFault)
        return false;
    if (fault == Fault::None)
        faults->registers.erase(first);
    else
        faults->registers[first] = fault;
    return true;
}

bool BusSimulator::setIdentity(int address, SimIdentity which, quint16 value)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_modules.find(address);
    if (it == m_modules.end())
        return false;
    it->second.setIdentity(which, value);
    return true;
}

bool BusSimulator::setRelayFault(int module, Fault fault, int input)
{
    std::lock_guard lock(m_mutex);
    return setFaultOn(relayFaultsLocked(module), fault, input, true);
}

bool BusSimulator::setRelayReading(int module, int input, quint8 raw)
{
    std::lock_guard lock(m_mutex);
    return setReadingOn(relayFaultsLocked(module), input, raw);
}

void BusSimulator::clearFaults(int address)
{
    std::lock_guard lock(m_mutex);
    if (SimFaults *faults = moduleFaultsLocked(address))
        *faults = {};
}

void BusSimulator::clearRelayFaults(int module)
{
    std::lock_guard lock(m_mutex);
    if (SimFaults *faults = relayFaultsLocked(module))
        *faults = {};
}

void BusSimulator::clearAllFaults()
{
    std::lock_guard lock(m_mutex);
    for (auto &entry : m_modules)
        entry.second.faults() = {};
    for (SimRelayModule &relay : m_relays)
        relay.faults() = {};
}

QList<SimRequest> BusSimulator::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<SimAction> BusSimulator::actions() const
{
    std::lock_guard lock(m_mutex);
    return m_actions;
}

void BusSimulator::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_actions.clear();
}

void BusSimulator::setActionObserver(ActionObserver observer)
{
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

qint64 BusSimulator::framesReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_framesReceived;
}

std::optional<SimModuleState> BusSimulator::moduleState(int address) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_modules.find(address);
    if (it == m_modules.end())
        return std::nullopt;
    const SimModule &module = it->second;
    return SimModuleState{address,
                          module.isConfigured(),
                          module.inputTypes(),
                          module.notchHz(),
                          module.identity(SimIdentity::DeviceType),
                          module.identity(SimIdentity::Firmware),
                          module.faults()};
}

std::optional<SimFaults> BusSimulator::relayFaults(int module) const
{
    std::lock_guard lock(m_mutex);
    if (module < 1 || module > SimRelayModule::kCount)
        return std::nullopt;
    return m_relays[module - 1].faults();
}

#include "link/netport.h"

#include "link/portproblem.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Clock = NetPort::Clock;
using namespace std::chrono_literals;

int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 60'000));
}

// Waits until fd is ready for events or deadline passes; poll's result.
int WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, MsUntil(deadline));
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

} // namespace

NetPort::~NetPort()
{
    Drop();
}

void NetPort::SetPort(const QString &name)
{
    if (name == m_port && m_nameValid)
        return;
    const bool wasOpen = m_open;
    Disconnect();
    m_port = name;
    m_lastOpenError = 0;
    m_lastFailure = 0;
    const Result<NetPortName> parsed = ParseNetPortName(name);
    m_nameValid = parsed.ok();
    m_name = m_nameValid ? *parsed : NetPortName{};
    if (wasOpen)
        Open();
}

void NetPort::Open()
{
    if (m_open)
        return;
    try {
        Establish(Clock::now() + std::chrono::milliseconds(kOpenWaitMs));
        // Opening drops what is pending, here and in the server.
        m_input.clear();
        if (Telnet())
            SendCommand(Rfc2217Codec::Purge(true, false));
    } catch (const EComPortError &error) {
        m_lastOpenError = error.code();
        throw;
    }
    m_lastOpenError = 0;
    m_lastFailure = 0;
    m_lostCode = 0;
    m_open = true;
    m_lastUse = Clock::now();
}

void NetPort::Close()
{
    if (!m_open)
        return;
    m_open = false;
    m_lastUse = Clock::now();
    if (m_stage == Stage::Ready)
        Pump();
    m_input.clear();
}

void NetPort::Disconnect()
{
    m_open = false;
    Drop();
}

void NetPort::ReleaseIfIdle(Clock::duration idle)
{
    if (!m_open && m_stage != Stage::Idle && Clock::now() - m_lastUse >= idle)
        Drop();
}

void NetPort::FailOpen(int code)
{
    throw EComPortError(code, "open " + m_port.toStdString());
}

void NetPort::GiveUp(int code)
{
    Drop();
    m_lastFailure = code;
    FailOpen(code);
}

void NetPort::AwaitStage(short events, Clock::time_point deadline, Clock::duration patience,
                         int giveUpCode)
{
    const int ready = WaitFor(m_fd, events, deadline);
    if (ready < 0)
        FailOpen(errno);
    if (ready > 0)
        return;
    if (Clock::now() - m_stageStart < patience)
        FailOpen(m_lastFailure ? m_lastFailure : kNetConnecting);
    GiveUp(giveUpCode);
}

void NetPort::Establish(Clock::time_point deadline)
{
    if (!m_nameValid)
        FailOpen(kNetBadName);
    // A connection that the server ended while idle is made again, once.
    bool renewed = false;
    for (;;) {
        switch (m_stage) {
        case Stage::Idle:
            StartResolving();
            break;

        case Stage::Resolving: {
            if (m_resolving.wait_until(deadline) != std::future_status::ready)
                FailOpen(m_lastFailure ? m_lastFailure : kNetConnecting);
            Resolved resolved = m_resolving.get();
            if (resolved.error)
                GiveUp(resolved.error);
            m_addresses = std::move(resolved.addresses);
            m_nextAddress = 0;
            m_addressError = 0;
            StartConnecting();
            break;
        }

        case Stage::Connecting: {
            AwaitStage(POLLOUT, deadline, m_connectPatience, ETIMEDOUT);
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error == 0) {
                OnConnected();
                break;
            }
            // This address failed; the host may have another (localhost has
            // ::1 and 127.0.0.1, and a server often listens on one only).
            ::close(m_fd);
            m_fd = -1;
            m_addressError = error;
            StartConnecting();
            break;
        }

        case Stage::Negotiating: {
            if (const int lost = Pump())
                FailOpen(lost);
            if (m_codec.ComPortRefused())
                GiveUp(kNetNotComPort);
            if (m_codec.ComPortAccepted()) {
                m_stage = Stage::Ready;
                try {
                    SendSettings();
                } catch (const EComPortError &error) {
                    // Settings never answered leave the line as nobody knows.
                    GiveUp(error.code() == ETIMEDOUT ? kNetServerSilent : error.code());
                }
                break;
            }
            AwaitStage(POLLIN, deadline, m_negotiationPatience, kNetServerSilent);
            break;
        }

        case Stage::Ready: {
            const int lost = Pump();
            if (!lost)
                return;
            if (renewed)
                FailOpen(lost);
            renewed = true;
            break;
        }
        }
    }
}

void NetPort::StartResolving()
{
    m_stage = Stage::Resolving;
    m_stageStart = Clock::now();
    const QByteArray host = m_name.host.toUtf8();
    const QByteArray service = QByteArray::number(m_name.port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    // The lookup of a name may wait on the network for seconds; it runs on a
    // thread of its own, which the port leaves behind if it goes first. An
    // address needs no lookup and is taken at once.
    auto lookup = [host, service, hints](int extraFlags) {
        Resolved resolved;
        addrinfo request = hints;
        request.ai_flags |= extraFlags;
        addrinfo *list = nullptr;
        const int status = ::getaddrinfo(host.constData(), service.constData(), &request, &list);
        if (status == EAI_SYSTEM)
            resolved.error = errno ? errno : kNetHostUnknown;
        else if (status != 0)
            resolved.error = kNetHostUnknown;
        for (addrinfo *entry = list; entry; entry = entry->ai_next) {
            if (entry->ai_addrlen > sizeof(sockaddr_storage))
                continue;
            Address address;
            std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
            address.length = entry->ai_addrlen;
            resolved.addresses.push_back(address);
        }
        if (list)
            ::freeaddrinfo(list);
        if (!resolved.error && resolved.addresses.empty())
            resolved.error = kNetHostUnknown;
        return resolved;
    };

    std::promise<Resolved> promise;
    m_resolving = promise.get_future();
    Resolved numeric = lookup(AI_NUMERICHOST);
    if (!numeric.error) {
        promise.set_value(std::move(numeric));
        return;
    }
    std::thread([lookup, promise = std::move(promise)]() mutable {
        promise.set_value(lookup(0));
    }).detach();
}

void NetPort::StartConnecting()
{
    m_stage = Stage::Connecting;
    while (m_nextAddress < m_addresses.size()) {
        const Address &address = m_addresses[m_nextAddress++];
        const int fd = ::socket(address.storage.ss_family,
                                SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            m_addressError = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.storage), address.length) ==
                0 ||
            errno == EINPROGRESS) {
            m_fd = fd;
            m_stageStart = Clock::now();
            return;
        }
        m_addressError = errno;
        ::close(fd);
    }
    // Every address failed.
    GiveUp(m_addressError ? m_addressError : ECONNREFUSED);
}

void NetPort::OnConnected()
{
    tcp_info info{};
    socklen_t length = sizeof info;
    m_roundTripMs = ::getsockopt(m_fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0
                        ? info.tcpi_rtt / 1000.0
                        : 0.0;
    m_heard = false;
    m_input.clear();
    m_codec = Rfc2217Codec();
    if (!Telnet()) {
        m_stage = Stage::Ready;
        return;
    }
    m_stage = Stage::Negotiating;
    m_stageStart = Clock::now();
    Send(m_codec.Opening(), Clock::now() + std::chrono::milliseconds(kOpenWaitMs));
}

void NetPort::SendSettings()
{
    QByteArray settings = Rfc2217Codec::BaudRate(m_baud);
    settings += Rfc2217Codec::DataSize(8);
    settings += Rfc2217Codec::StopSize(1);
    settings += Rfc2217Codec::Control(Rfc2217Codec::kNoFlowControl);
    settings += Rfc2217Codec::Control(Rfc2217Codec::kDtrOff);
    settings += Rfc2217Codec::Control(Rfc2217Codec::kRtsOff);
    settings += Rfc2217Codec::Parity(m_parity);
    // The parity is last: once it is answered, the rest is made too.
    ChangeLine(settings, Rfc2217Codec::kSetParity);
}

void NetPort::ChangeLine(const QByteArray &change, uint8_t command)
{
    const auto now = Clock::now();
    const auto wireFree = m_wireFreeAt + std::chrono::milliseconds(ReplyAllowanceMs());
    if (wireFree > now)
        std::this_thread::sleep_for(std::min<Clock::duration>(wireFree - now, 100ms));
    const int before = m_codec.Answers(command);
    SendCommand(change);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    for (;;) {
        if (const int lost = Pump())
            throw EComPortError(lost, "line setting");
        if (m_codec.Answers(command) != before)
            return;
        const int ready = WaitFor(m_fd, POLLIN, deadline);
        if (ready == 0)
            throw EComPortError(ETIMEDOUT, "line setting");
        if (ready < 0)
            throw EComPortError(errno, "line setting");
    }
}

int NetPort::Pump()
{
    if (m_fd < 0)
        return m_lostCode ? m_lostCode : kNetClosedByServer;
    // A server that floods the connection neither holds the caller nor fills
    // the memory: one call reads at most kMaxInput bytes, and of what has
    // not been read at most the newest kMaxInput bytes are kept. A line at
    // 57600 baud brings 6 kB a second.
    constexpr qsizetype kMaxInput = 64 * 1024;
    char buffer[4096];
    for (qsizetype taken = 0; taken < kMaxInput;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            taken += n;
            const qsizetype before = m_input.size();
            if (Telnet()) {
                m_codec.Feed(buffer, int(n), m_input);
                const QByteArray replies = m_codec.TakeReplies();
                if (!replies.isEmpty())
                    Send(replies, Clock::now() + std::chrono::milliseconds(kOpenWaitMs));
                if (m_fd < 0)
                    return m_lostCode;
            } else {
                m_input.append(buffer, n);
            }
            m_heard = m_heard || m_input.size() > before;
            if (m_input.size() > kMaxInput)
                m_input.remove(0, m_input.size() - kMaxInput);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        const int code = n == 0 ? kNetClosedByServer : errno;
        // What came before the end is still the line's.
        QByteArray input;
        input.swap(m_input);
        Drop();
        m_input.swap(input);
        m_lostCode = code;
        m_lastFailure = code;
        return code;
    }
    return 0;
}

void NetPort::Send(const QByteArray &bytes, Clock::time_point deadline)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (m_fd < 0)
            throw EComPortError(m_lostCode ? m_lostCode : kNetClosedByServer, "write");
        const ssize_t n =
            ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = WaitFor(m_fd, POLLOUT, deadline);
            if (ready > 0 || (ready < 0 && errno == EINTR))
                continue;
            throw EComPortError(ready == 0 ? ETIMEDOUT : errno, "write");
        }
        const int code = errno;
        Drop();
        m_lostCode = code;
        m_lastFailure = code;
        throw EComPortError(code, "write");
    }
}

void NetPort::SendCommand(const QByteArray &command)
{
    Send(command, Clock::now() + std::chrono::milliseconds(WriteTimeoutMs(int(command.size()))));
}

void NetPort::RequireOpen(const char *operation) const
{
    if (!m_open)
        throw EComPortError(EBADF, operation);
}

void NetPort::Purge(bool input, bool output)
{
    RequireOpen("purge");
    if (m_stage == Stage::Ready)
        Pump();
    if (input)
        m_input.clear();
    if (Telnet() && m_stage == Stage::Ready)
        SendCommand(Rfc2217Codec::Purge(input, output));
}

int NetPort::PendingOutput()
{
    RequireOpen("pending output");
    if (m_fd < 0)
        throw EComPortError(m_lostCode ? m_lostCode : kNetClosedByServer, "pending output");
    int queued = 0;
    if (::ioctl(m_fd, SIOCOUTQ, &queued) != 0)
        throw EComPortError(errno, "pending output");
    return queued;
}

int NetPort::Write(const uint8_t *bytes, int count)
{
    RequireOpen("write");
    if (count <= 0)
        return 0;
    QByteArray out;
    if (Telnet())
        m_codec.AppendData(out, bytes, count);
    else
        out = QByteArray(reinterpret_cast<const char *>(bytes), count);
    Send(out, Clock::now() + std::chrono::milliseconds(WriteTimeoutMs(count)));
    const auto now = Clock::now();
    m_lastUse = now;
    // 1 start bit, 8 data bits, the parity bit, 1 stop bit a character.
    const int bits = m_parity == ParityBits::None ? 10 : 11;
    const auto onWire = std::chrono::microseconds(1'000'000LL * bits * count / std::max(m_baud, 1));
    m_wireFreeAt = std::max(m_wireFreeAt, now) + onWire;
    return count;
}

int NetPort::ReadAvailable(QByteArray &text, int count)
{
    RequireOpen("read");
    const int lost =
        m_stage == Stage::Ready ? Pump() : (m_lostCode ? m_lostCode : kNetClosedByServer);
    const int n = int(std::min<qsizetype>(std::max(count, 0), m_input.size()));
    if (n == 0 && lost && count > 0)
        throw EComPortError(lost, "read");
    text = m_input.left(n);
    m_input.remove(0, n);
    return n;
}

void NetPort::SetBaudRate(int baud)
{
    if (baud == m_baud)
        return;
    m_baud = baud;
    if (Telnet() && m_stage == Stage::Ready)
        ChangeLine(Rfc2217Codec::BaudRate(baud), Rfc2217Codec::kSetBaudRate);
}

void NetPort::SetParity(ParityBits parity)
{
    if (parity == m_parity)
        return;
    m_parity = parity;
    if (Telnet() && m_stage == Stage::Ready)
        ChangeLine(Rfc2217Codec::Parity(parity), Rfc2217Codec::kSetParity);
}

int NetPort::ReplyAllowanceMs() const
{
    if (m_roundTripMs < 0)
        return 0;
    return std::min(kMaxReplyAllowanceMs, int(std::ceil(m_roundTripMs)) + 1);
}

void NetPort::Drop()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_stage = Stage::Idle;
    m_input.clear();
    m_roundTripMs = -1;
    m_resolving = {};
}

#include "sim/simtcpserver.h"

#include <QStringList>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

namespace {

// Connections the kernel completes while the simulator has not yet taken
// them; a master connects once, so a few are plenty.
constexpr int kBacklog = 4;
// Keepalive on the client: probes after 10 s without traffic, then every
// 5 s, and the connection counts as dead after 3 unanswered, so a client
// whose host vanished without closing frees the line after about 25 s.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepProbes = 3;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isIpv4(const QString &text)
{
    in_addr address{};
    return ::inet_pton(AF_INET, text.toLatin1().constData(), &address) == 1;
}

bool isIpv6(const QString &text)
{
    in6_addr address{};
    return ::inet_pton(AF_INET6, text.toLatin1().constData(), &address) == 1;
}

// A host name as DNS spells it (labels of letters, digits and inner hyphens,
// joined by dots), or an IPv4 literal: what is all digits and dots must be
// an address, so 127.0.0.256 is refused here and not looked up as a name.
bool isHostNameOrIpv4(const QString &host)
{
    if (host.size() > 253)
        return false;
    bool numeric = true;
    for (const QString &label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-')))
            return false;
        for (const QChar c : label) {
            const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                                (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
            const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
            if (!letter && !digit && c != QLatin1Char('-'))
                return false;
            numeric = numeric && digit;
        }
    }
    return !numeric || isIpv4(host);
}

// A socket address as "127.0.0.1:502" or "[::1]:502".
QString hostAndPort(const sockaddr *address, socklen_t length)
{
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(address, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return QStringLiteral("?");
    const QString name = QString::fromLatin1(host);
    return (address->sa_family == AF_INET6 ? QLatin1Char('[') + name + QLatin1Char(']') : name) +
           QLatin1Char(':') + QString::fromLatin1(service);
}

void setOption(int fd, int level, int name, int value)
{
    ::setsockopt(fd, level, name, &value, sizeof value);
}

} // namespace

Result<SimListenAddress> simParseListenAddress(const QString &text)
{
    const auto bad = [&text](const QString &why) {
        return Fail(QStringLiteral("bad listen address %1: %2").arg(text, why));
    };
    const QLatin1String scheme("tcp://");
    if (!text.startsWith(scheme))
        return bad(QStringLiteral("write it as tcp://HOST:PORT"));
    const QString rest = text.mid(scheme.size());
    SimListenAddress address;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return bad(QStringLiteral("the [ of the IPv6 address is not closed"));
        address.host = rest.mid(1, close - 1);
        if (!isIpv6(address.host))
            return bad(QStringLiteral("%1 is no IPv6 address").arg(address.host));
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return bad(QStringLiteral("no port: write it as tcp://HOST:PORT"));
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return bad(QStringLiteral("no port: write it as tcp://HOST:PORT"));
        address.host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (address.host.isEmpty())
            return bad(QStringLiteral("no host: 0.0.0.0 or [::] listens on every address"));
        if (address.host.contains(QLatin1Char(':')))
            return bad(QStringLiteral("an IPv6 address goes in brackets, as tcp://[::1]:502"));
        if (!isHostNameOrIpv4(address.host))
            return bad(QStringLiteral("%1 is no host name or IPv4 address").arg(address.host));
    }
    bool digits = !port.isEmpty() && port.size() <= 5;
    for (const QChar c : port)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const uint number = port.toUInt();
    if (!digits || number > 65535)
        return bad(QStringLiteral("the port must be 0..65535 (0: any free port)"));
    address.port = static_cast<quint16>(number);
    return address;
}

Result<> SimTcpServer::listen()
{
    close();
    const QString wanted = !m_url.isEmpty()
                               ? m_url
                               : QStringLiteral("tcp://%1:%2")
                                     .arg(m_address.host.contains(QLatin1Char(':'))
                                              ? QLatin1Char('[') + m_address.host + QLatin1Char(']')
                                              : m_address.host)
                                     .arg(m_address.port);
    // The candidates: the address bound before, or what the host resolves to.
    addrinfo *found = nullptr;
    addrinfo before{};
    if (m_boundLength > 0) {
        before.ai_family = m_bound.ss_family;
        before.ai_socktype = SOCK_STREAM;
        before.ai_addr = reinterpret_cast<sockaddr *>(&m_bound);
        before.ai_addrlen = m_boundLength;
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
        const QByteArray service = QByteArray::number(m_address.port);
        const int resolved =
            ::getaddrinfo(m_address.host.toUtf8().constData(), service.constData(), &hints, &found);
        if (resolved != 0) {
            return Fail(QStringLiteral("cannot listen on %1: %2")
                            .arg(wanted, QString::fromLocal8Bit(::gai_strerror(resolved))));
        }
    }
    int error = 0;
    for (const addrinfo *candidate = found ? found : &before; candidate && m_listener < 0;
         candidate = candidate->ai_next) {
        const int fd = ::socket(candidate->ai_family,
                                candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        // Connections of an earlier run (or of before a vanish) may linger in
        // TIME_WAIT on the port; they must not keep the simulator from it.
        setOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 ||
            ::listen(fd, kBacklog) != 0) {
            error = errno;
            ::close(fd);
            continue;
        }
        m_listener = fd;
    }
    if (found)
        ::freeaddrinfo(found);
    if (m_listener < 0)
        return Fail(QStringLiteral("cannot listen on %1: %2").arg(wanted, systemError(error)));
    m_boundLength = sizeof m_bound;
    ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&m_bound), &m_boundLength);
    m_url = QStringLiteral("tcp://") +
            hostAndPort(reinterpret_cast<const sockaddr *>(&m_bound), m_boundLength);
    return {};
}

void SimTcpServer::close()
{
    dropClient();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

SimTcpServer::Accepted SimTcpServer::acceptPending()
{
    if (m_listener < 0)
        return Accepted::Nothing;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(m_listener, reinterpret_cast<sockaddr *>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return Accepted::Nothing;
    if (m_client >= 0) {
        ::close(fd);
        return Accepted::Refused;
    }
    setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
    m_client = fd;
    m_clientName = hostAndPort(reinterpret_cast<const sockaddr *>(&peer), length);
    return Accepted::Client;
}

void SimTcpServer::dropClient()
{
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
    m_clientName.clear();
}

bool SimTcpServer::send(const QByteArray &bytes)
{
    for (;;) {
        // MSG_NOSIGNAL: a client gone is a failed send, not a SIGPIPE.
        const ssize_t n =
            ::send(m_client, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        if (errno != EINTR)
            return false;
    }
}

#include "link/netportname.h"

namespace {

const QLatin1String kRfc2217Scheme("rfc2217://");
const QLatin1String kRawScheme("tcp://");

Failure NotAPort(const QString &name, const QString &why)
{
    return Fail(
        QStringLiteral("%1 %2: write rfc2217://HOST:PORT or tcp://HOST:PORT.").arg(name, why));
}

} // namespace

QString NetPortName::Text() const
{
    const QString scheme = kind == Kind::Rfc2217 ? kRfc2217Scheme : kRawScheme;
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return scheme + shownHost + QLatin1Char(':') + QString::number(port);
}

bool LooksLikeNetPortName(const QString &name)
{
    return name.contains(QLatin1String("://"));
}

Result<NetPortName> ParseNetPortName(const QString &name)
{
    NetPortName parsed;
    QString rest;
    if (name.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)) {
        parsed.kind = NetPortName::Kind::Rfc2217;
        rest = name.mid(kRfc2217Scheme.size());
    } else if (name.startsWith(kRawScheme, Qt::CaseInsensitive)) {
        parsed.kind = NetPortName::Kind::Raw;
        rest = name.mid(kRawScheme.size());
    } else {
        return NotAPort(name, QStringLiteral("is not a network port name"));
    }

    int colon = -1;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = int(rest.indexOf(QLatin1Char(']')));
        if (close < 0)
            return NotAPort(name, QStringLiteral("has an IPv6 address without its closing ]"));
        parsed.host = rest.mid(1, close - 1);
        if (close + 1 < rest.size() && rest.at(close + 1) != QLatin1Char(':'))
            return NotAPort(name, QStringLiteral("has something between the host and its port"));
        colon = close + 1 < rest.size() ? close + 1 : -1;
    } else {
        colon = int(rest.lastIndexOf(QLatin1Char(':')));
        parsed.host = colon < 0 ? rest : rest.left(colon);
        if (parsed.host.contains(QLatin1Char(':')))
            return NotAPort(name, QStringLiteral("needs brackets around an IPv6 address"));
    }
    if (parsed.host.isEmpty())
        return NotAPort(name, QStringLiteral("has no host"));
    for (const QChar c : parsed.host) {
        if (c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('@') || c.unicode() < 0x20)
            return NotAPort(name, QStringLiteral("has a host that no network knows"));
    }
    if (colon < 0 || colon + 1 >= rest.size())
        return NotAPort(name, QStringLiteral("has no port"));
    const QString portText = rest.mid(colon + 1);
    bool number = true;
    for (const QChar c : portText)
        number = number && c.isDigit() && c.unicode() < 0x80;
    const int port = number && portText.size() <= 5 ? portText.toInt() : 0;
    if (port < 1 || port > 65535)
        return NotAPort(name, QStringLiteral("has a port that is not a number from 1 to 65535"));
    parsed.port = port;
    // Host names and IPv6 digits are read without regard to case.
    parsed.host = parsed.host.toLower();
    return parsed;
}

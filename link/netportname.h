#pragma once

#include "result/result.h"

#include <QString>

// A port reached over the network through a serial device server, named as a
// user types it wherever a port name goes:
//   rfc2217://HOST:PORT  Telnet with COM port control (RFC 2217): the line's
//                        settings are made through the connection;
//   tcp://HOST:PORT      raw TCP: the server's line settings are its own.
// HOST is a name, an IPv4 address or an IPv6 address in brackets
// ("tcp://[::1]:4001"); PORT is 1 to 65535. The scheme is read without regard
// to case; nothing may follow the port.
struct NetPortName
{
    enum class Kind
    {
        Rfc2217,
        Raw
    };

    Kind kind = Kind::Raw;
    QString host; // without brackets, in lower case
    int port = 0;

    // The name again, in the spelling above: scheme and host in lower case.
    QString Text() const;
};

// Whether name is meant as a network port: it has a scheme ("...://"). Such a
// name is never a serial port, whether or not it parses.
bool LooksLikeNetPortName(const QString &name);

// The parts of name, or why it names no network port ("tcp://gateway has no
// port: write tcp://HOST:PORT.").
Result<NetPortName> ParseNetPortName(const QString &name);

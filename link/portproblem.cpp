#include "link/portproblem.h"

#include <cerrno>
#include <cstring>

QString PortOpenReason(int code)
{
    switch (code) {
    case 0:
        return {};
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("there is no such port. Plug the adapter in, or choose another "
                              "port (Options, Change Comport).");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied. To use serial ports your user must be in the "
                              "dialout group: sudo usermod -aG dialout $USER, then log out and "
                              "in again.");
    case EBUSY:
    case EWOULDBLOCK:
        return QStringLiteral("it is in use by another program.");
    case ENOTTY:
    case EISDIR:
        return QStringLiteral("it is not a serial port.");
    case kNetHostUnknown:
        return QStringLiteral("the host is not known. Check the device server's address.");
    case ECONNREFUSED:
        return QStringLiteral("connection refused. Check the device server's address and port.");
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return QStringLiteral("no route to the host. Check the network and the device server's "
                              "address.");
    case ETIMEDOUT:
        return QStringLiteral("the host does not answer. Check the device server's address and "
                              "that it is on the network.");
    case kNetConnecting:
        return QStringLiteral("still connecting to the device server; the host has not answered "
                              "yet.");
    case kNetServerSilent:
        return QStringLiteral("the device server accepted the connection but does not answer. "
                              "Check that this port serves RFC 2217, or choose tcp:// for a raw "
                              "one.");
    case kNetNotComPort:
        return QStringLiteral("the device server refuses COM port control (RFC 2217). Choose "
                              "tcp:// for a raw port.");
    case kNetClosedByServer:
        return QStringLiteral("the device server closed the connection. Check that no other "
                              "program is connected to it; it is tried again at the next "
                              "exchange.");
    case ECONNRESET:
    case EPIPE:
        return QStringLiteral("the connection was dropped. It is tried again at the next "
                              "exchange.");
    case kNetBadName:
        return QStringLiteral("it is not a port name. Write rfc2217://HOST:PORT or "
                              "tcp://HOST:PORT.");
    default:
        return QString::fromLocal8Bit(std::strerror(code)) + QLatin1Char('.');
    }
}

QString PortOpenProblem(const QString &port, int code)
{
    if (code == 0)
        return {};
    return QStringLiteral("Comport %1 cannot be opened: ").arg(port) + PortOpenReason(code);
}

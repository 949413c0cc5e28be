#pragma once

#include <QString>

// Why a network port (link/netport.h) could not be opened, where the
// system's error numbers say too little. They lie far above every errno, so
// one code carries either.
enum NetPortError : int
{
    kNetHostUnknown = 100001,    // the host name does not resolve
    kNetConnecting = 100002,     // the connection is still being made
    kNetServerSilent = 100003,   // accepted, but the Telnet option talk never ended
    kNetNotComPort = 100004,     // the server refuses COM port control (RFC 2217)
    kNetClosedByServer = 100005, // the server ended the connection
    kNetBadName = 100006,        // not a network port name
};

// Why a port could not be opened, in words for its user; code is the
// system's error number of the failed open (TComPort::LastOpenError, or
// EComPortError::code() of the Open that threw). The Comport panel's tip says
// it with the port's name in front (PortOpenProblem); the record of a bus
// exchange that found the port closed to it says the reason alone.
//   ENOENT, ENODEV, ENXIO  there is no such port
//   EACCES, EPERM          permission denied; join the dialout group
//   EBUSY, EWOULDBLOCK     in use by another program
//   ENOTTY, EISDIR         not a serial port
// and, for a network port, the failures of its connection, each with what
// the user can do about it:
//   kNetHostUnknown        the host is not known
//   ECONNREFUSED           connection refused
//   EHOSTUNREACH, ENETUNREACH, ENETDOWN
//                          no route to the host
//   ETIMEDOUT              the host does not answer
//   kNetConnecting         still connecting
//   kNetServerSilent       accepted, but the server does not answer
//   kNetNotComPort         the server refuses COM port control
//   kNetClosedByServer     the server closed the connection
//   ECONNRESET, EPIPE      the connection was dropped
//   kNetBadName            not a network port name
//   anything else          the system's own words for the error
// Empty for 0.
QString PortOpenReason(int code);

// "Comport ttyUSB0 cannot be opened: " and the reason; empty for 0.
QString PortOpenProblem(const QString &port, int code);

#pragma once

#include <QString>

// Why a port could not be opened, in words for its user; code is the
// system's error number of the failed open (TComPort::LastOpenError, or
// EComPortError::code() of the Open that threw). The Comport panel's tip says
// it with the port's name in front (PortOpenProblem); the record of a bus
// exchange that found the port closed to it says the reason alone.
//   ENOENT, ENODEV, ENXIO  there is no such port
//   EACCES, EPERM          permission denied; join the dialout group
//   EBUSY, EWOULDBLOCK     in use by another program
//   ENOTTY, EISDIR         not a serial port
//   anything else          the system's own words for the error
// Empty for 0.
QString PortOpenReason(int code);

// "Comport ttyUSB0 cannot be opened: " and the reason; empty for 0.
QString PortOpenProblem(const QString &port, int code);

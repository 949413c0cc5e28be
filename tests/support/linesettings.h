#pragma once

#include <QString>

// The line settings of a terminal as the kernel holds them (tcgetattr), as
// text a test can compare with one written out: "<baud> <data bits><parity>
// <stop bits>", then "rtscts" and "xonxoff" for flow control that is on, and
// "raw" for a line without editing, echo, signals or output processing whose
// reads return at once (VMIN = VTIME = 0). Parity letters: N none, E even,
// O odd, M mark, S space. Examples: "19200 8N1 raw", "57600 8M1 raw".
//
// A pseudo-terminal keeps the speed, CMSPAR and PARODD, CSTOPB, CRTSCTS and
// the modes as set, but forces CS8 and clears PARENB whatever was asked. So
// the parity is read from CMSPAR and PARODD first (mark: both, space: CMSPAR
// alone) and from PARENB only without CMSPAR; on a pty the data bits always
// read 8. Empty when fd is not a terminal.
QString LineSettings(int fd);

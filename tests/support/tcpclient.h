#pragma once

// A plain TCP client on the loopback address, for tests of a server that
// stands in for a line: the descriptor goes to a RawLine (support/pty.h),
// which exchanges bytes on a socket as on a terminal.

#include <QtGlobal>

// Connects to 127.0.0.1:port with TCP_NODELAY set, so that every write goes
// out as a segment of its own; -1 when the connection is refused.
int connectLoopback(quint16 port);

// Waits up to timeoutMs for the server to close the connection; true when it
// did without sending anything first.
bool closedByPeer(int fd, int timeoutMs = 5000);

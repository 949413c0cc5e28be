#pragma once

#include "result/result.h"

#include <QString>

// A pseudo-terminal that looks like a serial port to whoever opens its slave
// side, for the simulator to serve from the master side.
//
// The program opens and closes its port for every transaction. When the last
// slave descriptor of a pty closes, its master reads EIO and polls as hung up
// until someone opens the slave again, and a client's TIOCEXCL stays on the
// pty after that client has gone, refusing every later open by an ordinary
// user. So the pty keeps a slave descriptor of its own for its whole life
// (which it never reads from) and offers releaseExclusive() to clear what a
// departed client left behind.
class SimPty
{
public:
    SimPty() = default;
    ~SimPty() { close(); }
    SimPty(const SimPty &) = delete;
    SimPty &operator=(const SimPty &) = delete;

    // Creates a new pty in raw mode (no echo, no line editing, no character
    // translation, 19200 8N1 as far as a pty cares). The master descriptor is
    // non-blocking. A failure says which step failed and why.
    Result<> open();
    void close();

    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

    // Clears the exclusive mode (TIOCEXCL) a client may have left set.
    void releaseExclusive();
    // Discards what has been written to the line and no client has read
    // (TCIFLUSH on the slave side empties the queue every client reads from,
    // and touches nothing a client has written).
    void discardUnreadOutput();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Points the symbolic link linkPath at target, creating its folder, and
// replacing an earlier link atomically. Refuses to replace anything that is
// not a symbolic link.
Result<> simPublishLink(const QString &linkPath, const QString &target);

// Removes linkPath if it is still a symbolic link to target.
void simRemoveLink(const QString &linkPath, const QString &target);

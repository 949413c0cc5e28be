#pragma once

// Pseudo-terminals for tests, seen from the far end of the line.
//
// RawLine is the one client of a terminal line: it opens a path (a pty's
// slave, the simulator's link) or takes over a descriptor, sets it raw and
// non-blocking, and exchanges bytes as they are. Pty makes a pair in-process
// and talks on its master side through a RawLine. A pty carries bytes but no
// timing and no parity.

#include <QByteArray>
#include <QString>

#include <memory>

class RawLine
{
public:
    // Opens path like a serial port (raw, non-blocking, not the controlling
    // terminal); isOpen() says whether it could.
    explicit RawLine(const QString &path);
    // Takes over an open descriptor of a terminal, such as a pty's slave.
    explicit RawLine(int fd);
    ~RawLine();
    RawLine(const RawLine &) = delete;
    RawLine &operator=(const RawLine &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void close();
    bool send(const QByteArray &bytes);
    // The next count bytes, or fewer if they have not all come within
    // timeoutMs.
    QByteArray receive(qsizetype count, int timeoutMs = 3000);

    // Waits until fd has input to read; false after timeoutMs.
    static bool waitReadable(int fd, int timeoutMs = 2000);

private:
    int m_fd = -1;
};

// A pseudo-terminal pair made in-process. The test keeps the slave side open
// for the pair's whole life, so the master never sees a hang-up while the
// port object under test closes and reopens the slave by its path.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool Valid() const { return m_master && m_master->isOpen(); }
    // The master's descriptor, -1 once closed.
    int Master() const { return m_master ? m_master->fd() : -1; }
    int Slave() const { return m_slave; }
    // The slave's path, which a port under test opens.
    QString Path() const { return m_path; }

    // The far end of the line: what the port writes arrives here.
    RawLine &MasterLine() { return *m_master; }
    // Hangs up the line under the port.
    void CloseMaster();
    // Fills the line towards the master, which nobody reads, until the kernel
    // takes no more: a port's writes on it then stall and wait out their
    // time-out.
    void StallOutput();

    bool WriteMaster(const QByteArray &bytes) { return m_master->send(bytes); }
    // What the port wrote, until count bytes have come or timeoutMs passed.
    QByteArray ReadMaster(int count, int timeoutMs = 500)
    {
        return m_master->receive(count, timeoutMs);
    }

    static bool WaitReadable(int fd, int timeoutMs = 2000)
    {
        return RawLine::waitReadable(fd, timeoutMs);
    }

private:
    std::unique_ptr<RawLine> m_master;
    int m_slave = -1;
    QString m_path;
};

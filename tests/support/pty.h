#pragma once

// A pseudo-terminal pair made in-process for tests. The test keeps the slave
// side open for the pair's whole life, so the master never sees a hang-up
// while the port object under test closes and reopens the slave by its path.
// A pty carries bytes but no timing or parity.

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class Pty
{
public:
    Pty()
    {
        termios raw{};
        ::cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        m_path = QString::fromLocal8Bit(name);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    }
    ~Pty()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool Valid() const { return m_master >= 0; }
    int Master() const { return m_master; }
    int Slave() const { return m_slave; }
    QString Path() const { return m_path; }

    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool WriteMaster(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Reads from the master what the port wrote, until `count` bytes have
    // come or nothing more arrives within quietMs.
    QByteArray ReadMaster(int count, int quietMs = 500)
    {
        QByteArray got;
        while (got.size() < count) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, quietMs) <= 0)
                break;
            char buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, int(n));
        }
        return got;
    }

    // Waits until fd has input to read; false after timeoutMs.
    static bool WaitReadable(int fd, int timeoutMs = 2000)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

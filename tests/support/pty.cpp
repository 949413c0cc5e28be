#include "support/pty.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

RawLine::RawLine(const QString &path)
    : RawLine(
          ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{}

RawLine::RawLine(int fd) : m_fd(fd)
{
    if (m_fd >= 0)
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    termios tio{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
        ::tcflush(m_fd, TCIOFLUSH);
    }
}

RawLine::~RawLine()
{
    close();
}

void RawLine::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RawLine::send(const QByteArray &bytes)
{
    return m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray RawLine::receive(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (m_fd >= 0 && bytes.size() < count && clock.elapsed() < timeoutMs) {
        pollfd in{m_fd, POLLIN, 0};
        if (::poll(&in, 1, int(timeoutMs - clock.elapsed())) <= 0 || !(in.revents & POLLIN))
            break;
        char chunk[256];
        const ssize_t n =
            ::read(m_fd, chunk, size_t(std::min<qsizetype>(count - bytes.size(), sizeof chunk)));
        if (n > 0)
            bytes.append(chunk, n);
        else if (n == 0 || errno != EAGAIN)
            break;
    }
    return bytes;
}

bool RawLine::waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

Pty::Pty()
{
    termios raw{};
    ::cfmakeraw(&raw);
    int master = -1;
    char name[256] = {};
    if (::openpty(&master, &m_slave, name, &raw, nullptr) != 0) {
        m_slave = -1;
        m_master = std::make_unique<RawLine>(-1);
        return;
    }
    m_path = QString::fromLocal8Bit(name);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_master = std::make_unique<RawLine>(master);
}

Pty::~Pty()
{
    CloseMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

void Pty::CloseMaster()
{
    m_master->close();
}

void Pty::StallOutput()
{
    ::fcntl(m_slave, F_SETFL, ::fcntl(m_slave, F_GETFL) | O_NONBLOCK);
    const QByteArray block(4096, 'x');
    for (bool progress = true; progress;) {
        // Big chunks first, then smaller ones down to single bytes, until a
        // whole pass finds no room; the pty frees room in steps.
        progress = false;
        for (int size = 4096; size >= 1; size /= 2) {
            while (::write(m_slave, block.constData(), size_t(size)) > 0)
                progress = true;
        }
        if (progress)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

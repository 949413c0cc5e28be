#include "support/lockholder.h"

#include <QFile>

#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Only async-signal-safe calls between fork and the child's end: the test
// process may run other threads.
[[noreturn]] void RunHolder(const char *path, int report, int holdMs, LockHolder::Hold hold)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
    if (hold == LockHolder::Hold::TerminalExclusive) {
        const int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || ::ioctl(fd, TIOCEXCL) != 0)
            ::_exit(2);
    } else {
        const int fd = ::open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(2);
    }
    (void)!::write(report, "h", 1);
    if (holdMs < 0) {
        for (;;)
            ::pause();
    }
    timespec ts{holdMs / 1000, long(holdMs % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {
    }
    (void)!::write(report, "r", 1);
    ::_exit(0);
}

} // namespace

LockHolder::LockHolder(const QString &path, int holdMs, Hold hold)
{
    const QByteArray name = QFile::encodeName(path);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(fds[0]);
        RunHolder(name.constData(), fds[1], holdMs, hold);
    }
    ::close(fds[1]);
    m_pipe = fds[0];
    if (m_pid < 0)
        return;
    char c = 0;
    m_locked = ::read(m_pipe, &c, 1) == 1 && c == 'h';
    ::fcntl(m_pipe, F_SETFL, O_NONBLOCK);
}

LockHolder::~LockHolder()
{
    kill();
    if (m_pipe >= 0)
        ::close(m_pipe);
}

bool LockHolder::released()
{
    char c = 0;
    if (!m_released && m_pipe >= 0 && ::read(m_pipe, &c, 1) == 1)
        m_released = c == 'r';
    return m_released;
}

int LockHolder::wait()
{
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid)
        m_pid = -1;
    return status;
}

int LockHolder::kill()
{
    if (m_pid <= 0)
        return 0;
    ::kill(m_pid, SIGKILL);
    return wait();
}

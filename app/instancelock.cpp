#include "app/instancelock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock(QString path) : m_path(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor releases the flock
}

QString InstanceLock::DefaultPath()
{
    QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QStringLiteral("/tmp");
    return dir + QStringLiteral("/Kelvora.SEMAPHORE.lock");
}

InstanceLock::Result InstanceLock::TryAcquire()
{
    if (m_fd >= 0)
        return Result::Acquired;
    const QByteArray name = QFile::encodeName(m_path);
    // O_CLOEXEC: a browser started for the help must not inherit the lock.
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    }
    m_fd = fd;
    return Result::Acquired;
}

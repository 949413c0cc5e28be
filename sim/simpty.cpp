#include "sim/simpty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

Result<> SimPty::open()
{
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        return Fail(systemError("posix_openpt"));
    }
    char name[128] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        const Failure failure = Fail(systemError("pty set-up"));
        close();
        return failure;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        const Failure failure = Fail(systemError("pty slave"));
        close();
        return failure;
    }
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(m_slave, TCSANOW, &tio);
    m_slavePath = QFile::decodeName(name);
    return {};
}

void SimPty::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
    m_slavePath.clear();
}

void SimPty::releaseExclusive()
{
    if (m_slave >= 0)
        ::ioctl(m_slave, TIOCNXCL);
}

void SimPty::discardUnreadOutput()
{
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIFLUSH);
}

Result<> simPublishLink(const QString &linkPath, const QString &target)
{
    const QFileInfo link(linkPath);
    if (!QDir().mkpath(link.absolutePath())) {
        return Fail(QStringLiteral("cannot create the folder %1").arg(link.absolutePath()));
    }
    const QByteArray path = QFile::encodeName(link.absoluteFilePath());
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        return Fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
    }
    // A link made beside it and renamed over it replaces it in one step, so
    // a client never finds the path missing or half made.
    static std::atomic<int> serial{0};
    const QByteArray temporary =
        path + ".new" + QByteArray::number(::getpid()) + '-' + QByteArray::number(serial++);
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0) {
        return Fail(systemError("symlink"));
    }
    if (::rename(temporary.constData(), path.constData()) != 0) {
        const Failure failure = Fail(systemError("rename"));
        ::unlink(temporary.constData());
        return failure;
    }
    return {};
}

void simRemoveLink(const QString &linkPath, const QString &target)
{
    const QByteArray path = QFile::encodeName(linkPath);
    char pointee[4096];
    const ssize_t n = ::readlink(path.constData(), pointee, sizeof pointee - 1);
    if (n > 0 && QByteArray(pointee, n) == QFile::encodeName(target))
        ::unlink(path.constData());
}

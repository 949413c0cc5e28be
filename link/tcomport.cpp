#include "link/tcomport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedOf(int baud)
{
    struct Rate
    {
        int baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const Rate &rate : kRates) {
        if (rate.baud == baud)
            return rate.speed;
    }
    return B0;
}

int MsUntil(PortClock::TimePoint deadline, PortClock::TimePoint now)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    return int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Whether the kernel still holds bytes of ours that have not left. Output is
// flushed only then: with nothing queued a flush has nothing of ours to drop,
// and on a pseudo-terminal (whose queue always reads 0) TCOFLUSH would reach
// into the other end and drop bytes it has not read yet, such as a broadcast
// frame written just before the close.
bool OutputQueued(int fd)
{
    int queued = 0;
    return ::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued > 0;
}

[[noreturn]] void Fail(const char *operation)
{
    throw EComPortError(errno, operation);
}

} // namespace

PortClock::TimePoint PortClock::Now()
{
    return std::chrono::steady_clock::now();
}

int PortClock::WaitWritable(int fd, int ms, short &revents)
{
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, ms);
    revents = p.revents;
    return ready;
}

void PortClock::Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

PortClock &PortClock::System()
{
    static PortClock clock;
    return clock;
}

TComPort::~TComPort()
{
    try {
        Close();
    } catch (...) {
    }
}

QString TComPort::DevicePath(const QString &name)
{
    return name.contains(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
}

void TComPort::SetPort(const QString &name)
{
    // Why the old port failed says nothing about the new one.
    if (name != m_port)
        m_lastOpenError = 0;
    if (!Connected()) {
        m_port = name;
        return;
    }
    Close();
    m_port = name;
    Open();
}

void TComPort::Open()
{
    if (Connected())
        return;
    try {
        OpenPort();
    } catch (const EComPortError &error) {
        m_lastOpenError = error.code();
        throw;
    }
    m_lastOpenError = 0;
}

void TComPort::OpenPort()
{
    const QByteArray path = DevicePath(m_port).toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("open");
    // flock first: a port that another program holds is refused before this
    // object touches its settings.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        throw EComPortError(code, "open (port in use)");
    }
    if (::ioctl(fd, TIOCEXCL) != 0) { // ENOTTY: not a serial port at all
        const int code = errno;
        ::close(fd);
        throw EComPortError(code, "open (exclusive use)");
    }
    m_fd = fd;
    try {
        ApplySettings(false);
        // DTR and RTS stay off. A pseudo-terminal has no modem lines and
        // refuses the request, which is fine.
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(m_fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
            Fail("modem lines");
    } catch (...) {
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
}

void TComPort::Close()
{
    if (!Connected())
        return;
    const int fd = m_fd;
    m_fd = -1;
    // Abandon whatever is still queued, so close() does not wait for it, and
    // give up exclusive use for the next program (the descriptor's flock goes
    // with the close).
    ::tcflush(fd, OutputQueued(fd) ? TCIOFLUSH : TCIFLUSH);
    ::ioctl(fd, TIOCNXCL);
    if (::close(fd) != 0 && errno != EINTR)
        Fail("close");
}

void TComPort::ApplySettings(bool drainFirst)
{
    const speed_t speed = SpeedOf(m_baud);
    if (speed == B0)
        throw EComPortError(EINVAL, "baud rate " + std::to_string(m_baud));
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        Fail("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | CRTSCTS | PARENB | PARODD | CMSPAR | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    switch (m_parity) {
    case ParityBits::None:
        break;
    case ParityBits::Mark:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case ParityBits::Space:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        Fail("cfsetspeed");
    // TCSADRAIN: the bytes already written leave with the old settings, which
    // is what a 9-bit address byte needs before the parity changes.
    if (::tcsetattr(m_fd, drainFirst ? TCSADRAIN : TCSANOW, &tio) != 0)
        Fail("tcsetattr");
}

// A setting that does not change is not applied again: the line already runs
// with it, and a pseudo-terminal, which drops the parity bits, makes
// tcsetattr fail with EINVAL when nothing but those bits is asked for. The
// relay-module link sets 57600 baud on its open line before every poll.
void TComPort::SetBaudRate(int baud)
{
    const int old = m_baud;
    m_baud = baud;
    if (!Connected() || baud == old)
        return;
    try {
        ApplySettings(true);
    } catch (...) {
        m_baud = old; // the line keeps, and reports, what is in force
        throw;
    }
}

void TComPort::SetParity(ParityBits parity)
{
    const ParityBits old = m_parity;
    m_parity = parity;
    if (!Connected() || parity == old)
        return;
    try {
        ApplySettings(true);
    } catch (...) {
        m_parity = old;
        throw;
    }
}

void TComPort::RequireOpen(const char *operation) const
{
    if (!Connected())
        throw EComPortError(EBADF, std::string(operation) + " (port not open)");
}

void TComPort::Purge(bool input, bool output)
{
    RequireOpen("purge");
    output = output && OutputQueued(m_fd);
    if (!input && !output)
        return;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(m_fd, which) != 0)
        Fail("purge");
}

int TComPort::QueuedOutput() const
{
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
        Fail("pending output");
    return queued;
}

int TComPort::PendingOutput()
{
    RequireOpen("pending output");
    return QueuedOutput();
}

int TComPort::Write(const uint8_t *bytes, int count)
{
    RequireOpen("write");
    if (count <= 0)
        return 0;
    const auto deadline = m_clock->Now() + std::chrono::milliseconds(WriteTimeoutMs(count));
    int written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_fd, bytes + written, size_t(count - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            Fail("write");
        const int left = MsUntil(deadline, m_clock->Now());
        if (left == 0)
            break;
        short revents = 0;
        const int ready = m_clock->WaitWritable(m_fd, left, revents);
        if (ready < 0 && errno != EINTR)
            Fail("poll");
        if (ready > 0 && !(revents & POLLOUT))
            throw EComPortError(EIO, "write (line lost)");
    }
    // Written is not yet sent: wait, within the same time-out, until the
    // kernel's queue is empty. A pseudo-terminal always reports an empty queue.
    int queued = QueuedOutput();
    while (queued > 0 && MsUntil(deadline, m_clock->Now()) > 0) {
        m_clock->Sleep(1);
        queued = QueuedOutput();
    }
    return std::max(written - queued, 0);
}

int TComPort::ReadAvailable(QByteArray &text, int count)
{
    RequireOpen("read");
    text.resize(std::max(count, 0));
    ssize_t n = 0;
    if (count > 0) {
        do {
            n = ::read(m_fd, text.data(), size_t(count));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno != EAGAIN) {
            text.clear();
            Fail("read");
        }
    }
    text.resize(int(std::max<ssize_t>(n, 0)));
    return int(text.size());
}

namespace {

// The entries of folder (links, device nodes, whatever they are), as full
// paths, in no particular order; none when it cannot be read.
QStringList FolderEntries(const QString &folder)
{
    QStringList paths;
    if (folder.isEmpty())
        return paths;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        paths.append(dir.absoluteFilePath(name));
    return paths;
}

bool LeadsToCharacterDevice(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A link whose end is a pseudo-terminal's slave side that exists.
bool IsLinkToPty(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    return LeadsToCharacterDevice(path) &&
           QFileInfo(path).canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
}

} // namespace

QStringList CollectSerialPorts(const QStringList &kernelNames, const SerialPortFolders &folders)
{
    QStringList names = kernelNames;
    for (const QString &path : FolderEntries(folders.byId)) {
        if (LeadsToCharacterDevice(path))
            names.append(path);
    }
    for (const QString &folder : folders.simulators) {
        for (const QString &path : FolderEntries(folder)) {
            if (IsLinkToPty(path))
                names.append(path);
        }
    }
    names.removeDuplicates();
    return SortPortNames(std::move(names));
}

void ListSerialPorts(QStringList &list)
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    list = CollectSerialPorts(names);
}

QStringList SortPortNames(QStringList names)
{
    names.sort(Qt::CaseSensitive);
    return names;
}

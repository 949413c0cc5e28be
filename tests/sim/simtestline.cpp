#include "simtestline.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
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
    if (m_fd >= 0)
        ::close(m_fd);
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

void ModbusDeleter::operator()(modbus_t *ctx) const
{
    modbus_close(ctx);
    modbus_free(ctx);
}

ModbusMaster connectMaster(const QString &path, int slave)
{
    ModbusMaster ctx(modbus_new_rtu(QFile::encodeName(path).constData(), 19200, 'N', 8, 1));
    if (!ctx || modbus_connect(ctx.get()) != 0)
        return nullptr;
    modbus_set_slave(ctx.get(), slave);
    modbus_set_response_timeout(ctx.get(), 2, 0);
    return ctx;
}

QList<quint16> readRegisters(modbus_t *ctx, int first, int count)
{
    QList<quint16> values(count);
    if (modbus_read_registers(ctx, first, count, values.data()) != count)
        return {};
    return values;
}

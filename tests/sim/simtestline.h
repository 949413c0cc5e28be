#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <modbus.h>

#include <memory>

// A client of the simulated line that opens it like a serial port (raw,
// non-blocking) and exchanges bytes as they are.
class RawLine
{
public:
    explicit RawLine(const QString &path);
    // Takes over an open descriptor of a terminal, such as a pty's slave.
    explicit RawLine(int fd);
    ~RawLine();
    RawLine(const RawLine &) = delete;
    RawLine &operator=(const RawLine &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool send(const QByteArray &bytes);
    // The next count bytes, or fewer if they have not all come within
    // timeoutMs.
    QByteArray receive(qsizetype count, int timeoutMs = 3000);

private:
    int m_fd = -1;
};

// Frames written out in hexadecimal, CRC included: "05 03 00 04 00 01 C4 4F".
inline QByteArray frame(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// An independent Modbus RTU master (libmodbus) on the simulated line, 19200
// 8N1, with a generous response timeout.
struct ModbusDeleter
{
    void operator()(modbus_t *ctx) const;
};
using ModbusMaster = std::unique_ptr<modbus_t, ModbusDeleter>;

// Connected to path and addressed to slave; null if it cannot connect.
ModbusMaster connectMaster(const QString &path, int slave);

// Reads count registers from first; empty with errno set on failure.
QList<quint16> readRegisters(modbus_t *ctx, int first, int count);

#pragma once

// An independent Modbus RTU master (libmodbus) on a line under test, 19200
// 8N1, with a generous response timeout.

#include <QList>
#include <QString>

#include <modbus.h>

#include <memory>

struct ModbusDeleter
{
    void operator()(modbus_t *ctx) const;
};
using ModbusMaster = std::unique_ptr<modbus_t, ModbusDeleter>;

// Connected to path and addressed to slave; null if it cannot connect.
ModbusMaster connectMaster(const QString &path, int slave);

// Reads count registers from first; empty with errno set on failure.
QList<quint16> readRegisters(modbus_t *ctx, int first, int count);

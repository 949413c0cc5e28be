#include "support/modbusmaster.h"

#include <QFile>

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

#pragma once

#include <QByteArray>
#include <QString>

// "01 03 00 10" -> the four bytes. Tests write wire frames out as hex text.
inline QByteArray Wire(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', QByteArray()));
}

inline QString HexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

#include "support/wire.h"

QByteArray frame(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', QByteArray()));
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

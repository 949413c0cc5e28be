#include "link/portproblem.h"

#include <cerrno>
#include <cstring>

QString PortOpenReason(int code)
{
    switch (code) {
    case 0:
        return {};
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("there is no such port. Plug the adapter in, or choose another "
                              "port (Options, Change Comport).");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied. To use serial ports your user must be in the "
                              "dialout group: sudo usermod -aG dialout $USER, then log out and "
                              "in again.");
    case EBUSY:
    case EWOULDBLOCK:
        return QStringLiteral("it is in use by another program.");
    case ENOTTY:
    case EISDIR:
        return QStringLiteral("it is not a serial port.");
    default:
        return QString::fromLocal8Bit(std::strerror(code)) + QLatin1Char('.');
    }
}

QString PortOpenProblem(const QString &port, int code)
{
    if (code == 0)
        return {};
    return QStringLiteral("Comport %1 cannot be opened: ").arg(port) + PortOpenReason(code);
}

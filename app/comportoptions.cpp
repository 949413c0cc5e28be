#include "app/comportoptions.h"

#include "link/serialline.h"

#include <cerrno>
#include <cstring>

namespace {

const QString kInUseMark = QStringLiteral("  (in use)");

} // namespace

QString PortChoice::Text() const
{
    return inUse ? name + kInUseMark : name;
}

bool ProbePort(SerialLine &probe, const QString &name)
{
    try {
        probe.SetPort(name);
        probe.Open();
        probe.Close();
        return true;
    } catch (const EComPortError &) {
    }
    // A close that failed may have left the line open; the next probe needs
    // it closed.
    try {
        probe.Close();
    } catch (const EComPortError &) {
    }
    return false;
}

QList<PortChoice> ProbePorts(const QStringList &names, SerialLine &probe)
{
    QList<PortChoice> choices;
    for (const QString &name : names)
        choices.append({name, !ProbePort(probe, name)});
    return choices;
}

int ChosenPortIndex(const QList<PortChoice> &choices, const QString &current)
{
    const QString bare =
        current.endsWith(kInUseMark) ? current.chopped(kInUseMark.size()) : current;
    for (int i = 0; i < choices.size(); ++i) {
        if (choices[i].name == bare)
            return i;
    }
    return choices.isEmpty() ? -1 : 0;
}

QString PortOpenProblem(const QString &port, int code)
{
    if (code == 0)
        return {};
    const QString opening = QStringLiteral("Comport %1 cannot be opened: ").arg(port);
    switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return opening + QStringLiteral("there is no such port. Plug the adapter in, or choose "
                                        "another port (Options, Change Comport).");
    case EACCES:
    case EPERM:
        return opening + QStringLiteral("permission denied. To use serial ports your user must be "
                                        "in the dialout group: sudo usermod -aG dialout $USER, "
                                        "then log out and in again.");
    case EBUSY:
    case EWOULDBLOCK:
        return opening + QStringLiteral("it is in use by another program.");
    case ENOTTY:
    case EISDIR:
        return opening + QStringLiteral("it is not a serial port.");
    default:
        return opening + QString::fromLocal8Bit(std::strerror(code)) + QLatin1Char('.');
    }
}

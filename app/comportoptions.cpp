#include "app/comportoptions.h"

#include "link/serialline.h"

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

#include "app/comportoptions.h"

#include "link/serialline.h"

QString PortChoice::Text() const
{
    return inUse ? name + QStringLiteral("  (in use)") : name;
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
    for (int i = 0; i < choices.size(); ++i) {
        if (choices[i].Text() == current)
            return i;
    }
    return choices.isEmpty() ? -1 : 0;
}

#include "app/comportoptions.h"

#include "link/netportname.h"
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

QString PortNameAsListed(const QString &name)
{
    if (!LooksLikeNetPortName(name))
        return name;
    const Result<NetPortName> parsed = ParseNetPortName(name);
    return parsed ? parsed->Text() : name;
}

QStringList RememberNetPort(const QStringList &recent, const QString &name)
{
    QStringList remembered;
    const auto add = [&remembered](const QString &entry) {
        if (!LooksLikeNetPortName(entry))
            return;
        const Result<NetPortName> parsed = ParseNetPortName(entry);
        if (parsed && !remembered.contains(parsed->Text()) &&
            remembered.size() < kRecentNetPortsMax)
            remembered.append(parsed->Text());
    };
    add(name);
    for (const QString &entry : recent)
        add(entry);
    return remembered;
}

QList<PortChoice> ComportItems(const QList<PortChoice> &serial, const QStringList &recent,
                               const QString &current)
{
    QList<PortChoice> items = serial;
    for (const QString &name : RememberNetPort(recent, current))
        items.append({name, false});
    return items;
}

Result<QString> PortOfTypedText(const QList<PortChoice> &items, const QString &text)
{
    const QString typed = text.trimmed();
    for (const PortChoice &item : items) {
        if (item.Text() == typed)
            return item.name;
    }
    if (LooksLikeNetPortName(typed)) {
        const Result<NetPortName> parsed = ParseNetPortName(typed);
        if (!parsed)
            return Fail(parsed.error());
        return parsed->Text();
    }
    if (typed.isEmpty() && items.isEmpty())
        return QString();
    const QString advice = QStringLiteral("Choose a port from the list, or type a network port "
                                          "as rfc2217://HOST:PORT or tcp://HOST:PORT.");
    if (typed.isEmpty())
        return Fail(advice);
    return Fail(QStringLiteral("%1 is not a port in the list. %2").arg(typed, advice));
}

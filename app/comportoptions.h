#pragma once

#include "link/portproblem.h" // PortOpenProblem, the Comport panel's words
#include "result/result.h"

#include <QList>
#include <QString>
#include <QStringList>

class SerialLine;

// The serial port as the user chooses it in "Comport Options" and reads
// about it on the Comport panel.
//
// Choosing: every port listed (ListSerialPorts) is probed in list order by
// opening it for a moment and closing it again; a port that fails either
// step is in use, and its item reads "ttyS0  (in use)" (two spaces before the
// parenthesis). The mark is for the eye only: the port a choice names is
// always the bare name, since "ttyS0  (in use)" names no port and every open
// of it would fail. When the dialog opens, the item of the current port is
// chosen by its bare name, marked or not (the current port is often in use
// by this very program, the debug link polling on it), so that OK without a
// change keeps the port; when no item is the current port, the first item.
struct PortChoice
{
    QString name;
    bool inUse = false;

    // The item's text: the name, marked when in use.
    QString Text() const;
};

// Sets probe to name, opens it and closes it again; false when either step
// fails. The port's errors are caught here, and the probe is left closed.
bool ProbePort(SerialLine &probe, const QString &name);

// Every name in the order given, probed in turn on probe. Only for local
// ports: a network port is never probed (network ports below).
QList<PortChoice> ProbePorts(const QStringList &names, SerialLine &probe);

// The item chosen when the dialog opens on current: -1 for an empty list,
// else the first item whose bare name is current, else 0. A current port
// stored with the mark (as "ttyS0  (in use)" once was) is its bare name.
// Names are compared exactly, case and all.
int ChosenPortIndex(const QList<PortChoice> &choices, const QString &current);

// Network ports ("rfc2217://HOST:PORT", "tcp://HOST:PORT", link/netportname.h)
// stand in the same list, after the serial ports: the ones this user chose
// before, most recent first, as their names. They are never probed, since
// trying one would connect to the server over the network while the window
// waits, and a server may allow one client only. The names are kept beside
// the preferences (LoadRecentNetPorts in app/preferences.h) in the spelling
// NetPortName::Text gives them, which is also how two names are compared:
// "RFC2217://gw:1" and "rfc2217://gw:1" are one port.
//
// The list's box takes typed text as well, and OK makes a port of it
// (PortOfTypedText): the text of an item is that item's port; a network port
// name is taken in its listed spelling once it parses; anything else is
// refused with a text for the user, and the dialog stays open.

// How many network ports are remembered.
inline constexpr int kRecentNetPortsMax = 8;

// A network port name that parses, in its listed spelling; any other name as
// it is.
QString PortNameAsListed(const QString &name);

// The remembered list after name was chosen: name first, in its listed
// spelling, then the others in their order without another spelling of it,
// at most kRecentNetPortsMax. Entries that name no network port (a
// hand-edited file) are dropped and the rest spelled as listed, so the
// result holds no duplicate. A name that is not a network port that parses
// is not put in; the rest is still tidied.
QStringList RememberNetPort(const QStringList &recent, const QString &name);

// The dialog's items: the serial ports as probed, then the remembered network
// ports, never in use. When current is a network port that parses it stands
// among them, first, as the port chosen last.
QList<PortChoice> ComportItems(const QList<PortChoice> &serial, const QStringList &recent,
                               const QString &current);

// What OK stores for the text in the box, trimmed: the port of the first item
// whose text it is (the bare name, marked or not); else, for a name with a
// scheme (LooksLikeNetPortName), its listed spelling when it parses and
// ParseNetPortName's failure when not; an empty name when the list is empty
// and nothing was typed (as before there was typing); else a failure that
// says to choose a listed port or type a network port name.
Result<QString> PortOfTypedText(const QList<PortChoice> &items, const QString &text);

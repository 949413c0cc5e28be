#pragma once

#include "link/portproblem.h" // PortOpenProblem, the Comport panel's words

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

// Every name in the order given, probed in turn on probe.
QList<PortChoice> ProbePorts(const QStringList &names, SerialLine &probe);

// The item chosen when the dialog opens on current: -1 for an empty list,
// else the first item whose bare name is current, else 0. A current port
// stored with the mark (as "ttyS0  (in use)" once was) is its bare name.
// Names are compared exactly, case and all.
int ChosenPortIndex(const QList<PortChoice> &choices, const QString &current);

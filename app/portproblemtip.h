#pragma once

#include <QString>

class QLabel;

// Puts why the port cannot be opened on the Comport panel: its tip, and its
// accessible description, which a screen reader reads after the panel's text.
// An empty problem takes both away. The status panel itself only tips its
// own text when that is cut short; a problem, while there is one, is the tip
// instead.
void ShowPortProblem(QLabel *panel, const QString &problem);

#pragma once

#include <QDate>
#include <QString>

// Name of the day's datalog file: "<base>_MMDD.csv" (no year, so the same day
// of a later year appends to the same file).
QString DatalogFileName(const QString &baseName, const QDate &date);

// The part of a path after its last separator, with leading and trailing
// blanks and control characters removed: what the status panels show.
QString FileNamePart(const QString &path);

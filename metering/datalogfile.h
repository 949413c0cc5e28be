#pragma once

#include "result/result.h"
#include "modules/readingconversion.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// Datalog files: one tab-separated text file per calendar day, one row per
// module read, CR LF line ends, single-byte text without a byte order mark.

// Name of the day's datalog file: "<base>_MMDD.csv" (no year, so the same day
// of a later year appends to the same file).
QString DatalogFileName(const QString &baseName, const QDate &date);

// The part of a path after its last separator, with leading and trailing
// blanks and control characters removed: what the status panels show.
QString FileNamePart(const QString &path);

// The base name for a path chosen in the save dialog: the path without its
// extension. Only a real extension goes ("C:/logs/plant.csv" and
// "C:/logs/plant.txt" give "C:/logs/plant"); a name without one keeps every
// character ("/logs/plant", "/logs.d/plant", "/home/me/.plant").
QString DatalogBaseName(const QString &chosenPath);

// "Time\tModule\tRTD 1\t...\tRTD 8\r\n", the first line of every file.
QByteArray DatalogHeader();

// One row: "hh:mm:ss\tRTD Module m" and, for inputs 1..8, a TAB and the
// reading text right-aligned in six characters (never cut; an empty text
// gives six spaces), then CR LF. The texts are written as Latin-1; a
// character outside it becomes '?'.
QByteArray FormatDatalogRow(const QTime &time, int module, const ReadingTexts &texts);

// Appends the row of module m read at the local date-time `when` to the
// day's file of baseName (DatalogFileName of when's date). The file is
// opened, appended and closed for every row; a file that does not exist yet,
// or is empty, gets the header first.
//
// A row is either whole in the file or not there at all: header and row go
// out in one write() to a file opened for appending; a short write (disk
// full) is cut back to the size before it; and a last row left torn by an
// earlier crash (the file does not end in '\n') is cut back to the end of
// the last whole line before anything is appended.
//
// A failure (the folder does not exist, no permission, disk full) says which
// file and why; nothing was added. Metering goes on and the next row tries
// again.
Result<> AppendDatalogRow(const QString &baseName, const QDateTime &when, int module,
                          const ReadingTexts &texts);

#pragma once

#include "modules/readingconversion.h"
#include "result/result.h"

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
// Nothing that is in the file already is ever removed or changed, whoever
// wrote it: a last line without a line end (an editor stripped it, a note
// was typed under the rows) is ended with CR LF (LF alone after a CR), and
// the row follows on a line of its own.
//
// Everything of one append (line end, header, row) goes out in one write()
// to a file opened for appending, so no other writer's bytes come between
// its parts and a kill lands before or after it. (The kernel copies a write
// into the file a page at a time and heeds a kill only between pages: a row
// of some 80 bytes that straddles a page boundary is the one a kill in that
// instant could cut.) When that write comes back
// short (disk full, file-size limit), the bytes it did put down are this
// call's own and are taken back: the file is cut to where the write began,
// unless somebody has appended after them meanwhile.
//
// Only a regular file is written: a FIFO, a device or a folder of that name
// is refused without blocking.
//
// A failure (the folder does not exist, no permission, not a regular file,
// disk full) says which file and why; nothing was added. Metering goes on and
// the next row tries again.
Result<> AppendDatalogRow(const QString &baseName, const QDateTime &when, int module,
                          const ReadingTexts &texts);

#pragma once

#include "modules/readingconversion.h"
#include "result/result.h"

#include <QByteArray>
#include <QByteArrayView>
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
// out in one write() to a file opened for appending, and a short write (disk
// full) is cut back to the size before it. Bytes that somebody else wrote
// are never removed (see RepairDatalogTail).
//
// Only a regular file is written: a FIFO, a device or a folder of that name
// is refused without blocking.
//
// A failure (the folder does not exist, no permission, not a regular file,
// disk full) says which file and why; nothing was added. Metering goes on and
// the next row tries again.
// What to do with the end of an existing file before a row is appended, so
// that the row starts on a line of its own and nothing of anybody else's is
// lost. end holds the file's last bytes (all of them, or at least the last
// two lines), fileSize the whole file's size.
//
// - The file ends in LF: nothing to do.
// - The file ends in a part of this program's own output that a crash cut
//   off (a part of the header as the whole file, or a part of a row after
//   the header or a whole row): keep becomes the size without that part, so
//   the next row replaces it.
// - Anything else (somebody's text without a line end, CR-only line ends):
//   every byte is kept, and lineEnd is the CR LF to write before the row
//   ("\n" alone after a CR).
struct DatalogTailRepair
{
    qint64 keep = 0;      // the size to cut the file to (its size: nothing cut)
    QByteArray lineEnd{}; // written before the row
};
DatalogTailRepair RepairDatalogTail(QByteArrayView end, qint64 fileSize);

Result<> AppendDatalogRow(const QString &baseName, const QDateTime &when, int module,
                          const ReadingTexts &texts);

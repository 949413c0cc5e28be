#pragma once

#include "print/printcontrol.h"
#include "result/result.h"

#include <QList>
#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <QVariant>

#include <functional>
#include <utility>

// One print job of Print Chart: a recorded page printed on one sheet, on a
// device made for this job alone.
//
// The printer the user sets up in the print dialog holds his choices for the
// next print; no job paints on it. Qt's PDF engine, which also writes what
// goes to a print queue, keeps a failed write in its stream for good: every
// later job on the same printer object wrote 0 bytes, even over a good file,
// and reported success. So every job takes a copy of the choices
// (PrintSettingsOf, on the window's thread) and makes its own device from it
// (PrintPagePicture, on any thread):
// - to a file: a PDF writer on a temporary file beside the named one, which
//   replaces it only once the whole document is written and flushed to disk.
//   A write that fails (a full disk, a file-size limit) fails the job and
//   leaves the file that was there as it was; no temporary file remains. In
//   a folder where no file can be made beside it, the named file is written
//   in place, as before;
// - to a printer: a fresh printer object with the user's choices.

// The user's choices of a print dialog's printer, copied so that a job on
// another thread can use them.
struct PrintSettings
{
    QPrinter::OutputFormat format = QPrinter::NativeFormat;
    QString outputFileName; // a PDF file when not empty
    QString printerName;
    QPrinter::PdfVersion pdfVersion = QPrinter::PdfVersion_1_4;
    QPageLayout layout;
    int resolution = 1200;
    QString docName;
    QString creator;
    // The printer's other settings as its print engine keeps them (copies,
    // collation, duplex, colour, page order, paper source, the print
    // system's job options), by engine key.
    QList<std::pair<int, QVariant>> engine;
};

PrintSettings PrintSettingsOf(const QPrinter &printer);
// Gives a fresh printer the choices.
void ApplyPrintSettings(const PrintSettings &settings, QPrinter &printer);

// Prints the page on a device made from settings: begins the job, draws the
// page (Print_Control), ends the job and, for a file, puts it in place. Fails
// when any of this fails.
Result<> PrintPagePicture(const PagePicture &page, const PrintSettings &settings);

// The job as Print Chart runs it: PrintPagePicture unless a test puts
// something else there.
using PrintJobFunction =
    std::function<Result<>(const PagePicture &page, const PrintSettings &settings)>;

#include "print/printjob.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrintEngine>
#include <QSaveFile>

namespace {

// Where the print dialog keeps the job options of the print system (CUPS):
// pages per sheet, banner pages, job priority and the like. Qt defines the
// key only in a private header.
constexpr int kCupsOptions = 0xfe00;

// The engine's settings a job takes over, in this order: the resolution
// before the page layout, which is in its pixels.
constexpr QPrintEngine::PrintEnginePropertyKey kEngineKeys[] = {
    QPrintEngine::PPK_Resolution,    QPrintEngine::PPK_QPageLayout,
    QPrintEngine::PPK_CopyCount,     QPrintEngine::PPK_CollateCopies,
    QPrintEngine::PPK_Duplex,        QPrintEngine::PPK_ColorMode,
    QPrintEngine::PPK_PageOrder,     QPrintEngine::PPK_PaperSource,
    QPrintEngine::PPK_DocumentName,  QPrintEngine::PPK_Creator,
    QPrintEngine::PPK_FontEmbedding, QPrintEngine::PrintEnginePropertyKey(kCupsOptions)};

// Begins a job on device, draws the page and ends the job.
Result<> DrawJob(const PagePicture &page, QPagedPaintDevice &device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return Fail(QStringLiteral("The print job could not begin."));
    const Result<> drawn = Print_Control(page, device, painter);
    const bool ended = painter.end();
    if (!drawn)
        return drawn;
    if (!ended)
        return Fail(QStringLiteral("The print job could not be finished."));
    return {};
}

Result<> PrintToFile(const PagePicture &page, const PrintSettings &settings)
{
    QSaveFile file(settings.outputFileName);
    // A folder that takes no new file may still hold a writable one, which
    // a print has always been able to replace.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(QStringLiteral("%1 cannot be written: %2")
                        .arg(settings.outputFileName, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setPdfVersion(settings.pdfVersion);
        pdf.setResolution(settings.resolution);
        pdf.setPageLayout(settings.layout);
        pdf.setTitle(settings.docName);
        pdf.setCreator(settings.creator);
        const Result<> drawn = DrawJob(page, pdf);
        if (!drawn)
            return drawn; // the temporary file goes with file
    }
    // Fails when any write failed on the way, or the flush to disk: the
    // file named stays as it was.
    if (!file.commit())
        return Fail(QStringLiteral("%1 could not be written: %2")
                        .arg(settings.outputFileName, file.errorString()));
    return {};
}

Result<> PrintOnPrinter(const PagePicture &page, const PrintSettings &settings)
{
    QPrinter printer(QPrinter::HighResolution);
    ApplyPrintSettings(settings, printer);
    const Result<> printed = DrawJob(page, printer);
    if (printed && printer.printerState() == QPrinter::Error)
        return Fail(QStringLiteral("The printer reported an error."));
    return printed;
}

} // namespace

PrintSettings PrintSettingsOf(const QPrinter &printer)
{
    PrintSettings settings;
    settings.format = printer.outputFormat();
    settings.outputFileName = printer.outputFileName();
    settings.printerName = printer.printerName();
    settings.pdfVersion = printer.pdfVersion();
    settings.layout = printer.pageLayout();
    settings.resolution = printer.resolution();
    settings.docName = printer.docName();
    settings.creator = printer.creator();
    for (const QPrintEngine::PrintEnginePropertyKey key : kEngineKeys) {
        const QVariant value = printer.printEngine()->property(key);
        if (value.isValid())
            settings.engine.append({int(key), value});
    }
    return settings;
}

void ApplyPrintSettings(const PrintSettings &settings, QPrinter &printer)
{
    printer.setOutputFormat(settings.format);
    // A printer's name brings that printer's defaults: the choices come after.
    if (!settings.printerName.isEmpty())
        printer.setPrinterName(settings.printerName);
    // An empty name would switch a PDF printer back to the native format.
    if (!settings.outputFileName.isEmpty())
        printer.setOutputFileName(settings.outputFileName);
    printer.setPdfVersion(settings.pdfVersion);
    for (const auto &[key, value] : settings.engine)
        printer.printEngine()->setProperty(QPrintEngine::PrintEnginePropertyKey(key), value);
}

Result<> PrintPagePicture(const PagePicture &page, const PrintSettings &settings)
{
    if (!settings.outputFileName.isEmpty())
        return PrintToFile(page, settings);
    return PrintOnPrinter(page, settings);
}

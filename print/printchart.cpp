#include "print/printchart.h"

#include "config/tmessageboxf.h"
#include "plot/tplot_f.h"
#include "print/printcontrol.h"
#include "print/tprintdialogf.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QMainWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>

namespace {

constexpr int kPrintClientWidth = 1400;
constexpr int kPrintClientHeight = 1200;
constexpr int kPrintChartGrowth = 82;

// Lets the window system show and place windows while the caller keeps
// the thread; no input and no timer handler runs meanwhile.
void LetWindowsSettle()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::X11ExcludeTimers);
}

// What Print Chart changes and puts back.
struct WindowShape
{
    explicit WindowShape(QMainWindow *w, TPlot_F *p)
        : window(w), page(p), client(w->size()), minimum(w->minimumSize()),
          maximum(w->maximumSize()), state(w->windowState()), pageSize(p->size()),
          chartHeight(p->chart_P->height())
    {}

    void Restore() const
    {
        window->resize(client);
        window->setMinimumSize(minimum);
        window->setMaximumSize(maximum);
        window->setWindowState(state);
        page->resize(pageSize);
        if (page->chart_P->height() != chartHeight)
            page->chart_P->resize(page->chart_P->width(), chartHeight);
    }

    QMainWindow *window;
    TPlot_F *page;
    QSize client;
    QSize minimum;
    QSize maximum;
    Qt::WindowStates state;
    QSize pageSize;
    int chartHeight;
};

// The window's client area, the part below the menu bar, becomes width x
// height.
void SetClientSize(QMainWindow *window, int width, int height)
{
    const QWidget *client = window->centralWidget();
    for (int attempt = 0; attempt < 2 && client->size() != QSize(width, height); ++attempt) {
        window->resize(window->width() + width - client->width(),
                       window->height() + height - client->height());
        LetWindowsSettle();
    }
}

// Runs job on a thread of its own and keeps the window's thread in its event
// loop until the job ends: the window repaints, answers the window system
// and runs its timers ("Printing..." counts its dots, metering goes on,
// dropping its readings from the plot), while a file or a print queue takes
// its time. Input from the user waits until the job is done.
Result<> RunOffTheWindowThread(const std::function<Result<>()> &job)
{
    Result<> result = Fail(QStringLiteral("The print job did not run."));
    const std::unique_ptr<QThread> worker(QThread::create([&result, &job] { result = job(); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    return result;
}

} // namespace

bool RunPrintDialog(QPrinter &printer, QWidget *owner)
{
    QPrintDialog dialog(&printer, owner);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    // One sheet, the whole page.
    dialog.setMinMax(1, 1);
    return dialog.exec() == QDialog::Accepted;
}

void PrintPlotPage(QMainWindow *window, TPlot_F *page, std::unique_ptr<QPrinter> &printer,
                   const PrintDialogFunction &PrintDialog1, const PrintJobFunction &job)
{
    const WindowShape shape(window, page);
    if (!printer)
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);

    Result<> printed;
    {
        bool jobRunning = false;
        TPrintDialogF waiting([&jobRunning] { return jobRunning; }, window);
        if (PrintDialog1 && PrintDialog1(*printer)) {
            jobRunning = true;
            page->Set_Printing(true);
            waiting.show();
            LetWindowsSettle();
            window->setWindowState(Qt::WindowNoState);
            window->setMinimumSize(0, 0);
            window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            SetClientSize(window, kPrintClientWidth, kPrintClientHeight);
            // The page's own layout gives the extra height to chart_P.
            page->resize(page->width(), page->height() + kPrintChartGrowth);
            waiting.show();
            waiting.raise();
            const PagePicture picture = RecordPage(page);
            const PrintSettings settings = PrintSettingsOf(*printer);
            printed = job ? RunOffTheWindowThread([&] { return job(picture, settings); })
                          : Fail(QStringLiteral("No print job."));
            jobRunning = false;
        }
    }

    shape.Restore();
    page->Set_Printing(false);
    if (!printed) {
        // The box says what the user is told; the log says why.
        qWarning("Print Chart failed: %s", qUtf8Printable(printed.error()));
        ShowMessageBox(window, QStringLiteral("There was an error printing."),
                       QStringLiteral("Printer Error"), 0);
    }
}

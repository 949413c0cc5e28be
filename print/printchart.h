#pragma once

#include "print/printjob.h"

#include <functional>
#include <memory>

class QMainWindow;
class QPrinter;
class QWidget;
class TPlot_F;

// The print dialog of Print Chart: lets the user choose and set up the
// printer (or a PDF file) and says whether to print.
using PrintDialogFunction = std::function<bool(QPrinter &printer)>;

// The system's print dialog (QPrintDialog) on printer, owned by owner: true
// when the user confirms.
bool RunPrintDialog(QPrinter &printer, QWidget *owner);

// Print Chart: prints the plot page on one sheet.
//
// printer holds the user's choices of the print dialog: it is made at the
// first print and kept, so the dialog offers the last choice again; the job
// itself prints on a device of its own (printjob.h), so that a failed print
// spoils no later one. When PrintDialog1 confirms:
// - the page drops readings (Set_Printing(true)) and the "Printing..."
//   window shows;
// - the window goes to its normal state with a client area (below the menu
//   bar) of 1400 x 1200, so that the picture has more room than the usual
//   window gives it, and the chart panel chart_P grows by another 82 pixels.
//   The page grows with it, so that the bottom panel stays whole below the
//   charts: growing chart_P alone would hide the time axis, its labels and
//   its title under the bottom panel;
// - the page is recorded and job prints it on a thread of its own, while
//   the window's thread goes on with its events and timers: the window
//   answers, "Printing..." counts its dots and metering goes on; input from
//   the user waits until the job ends.
// Whatever happened, the window's size, state and size limits, the page's
// and chart_P's size come back and the page takes readings again. A print
// that failed (the job could not begin, a write failed, the printer
// reported an error) then says so in the box "There was an error printing."
// / "Printer Error" (ShowMessageBox, OK only), and the warning log says
// why; by then the window is back to normal and metering goes on plotting
// behind the box.
void PrintPlotPage(QMainWindow *window, TPlot_F *page, std::unique_ptr<QPrinter> &printer,
                   const PrintDialogFunction &PrintDialog1,
                   const PrintJobFunction &job = PrintPagePicture);

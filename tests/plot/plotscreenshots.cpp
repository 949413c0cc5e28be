// Saves a picture of the Temperature Plotting page after some simulated
// minutes of metering, and prints the page to a PDF file through Print
// Chart, to look at both as a user would:
//   QT_QPA_PLATFORM=offscreen build/tests/plot/plotscreenshots build/screenshots
//   pdftoppm -png -r 50 build/screenshots/printed-page.pdf build/screenshots/printed-page
// On an X display (an Xvfb of 1600 x 1400 or more, say), ImageMagick's import
// also takes the whole screen with the plot page (screen-plot-page.png) and,
// while the print job runs, with the enlarged window and "Printing..."
// (screen-printing.png):
//   QT_QPA_PLATFORM=xcb DISPLAY=:92 build/tests/plot/plotscreenshots build/screenshots
// Module 2 is plotted: a gap on input 3 from minute 4 to 6, an open sensor
// on input 5 from minute 8 on; the clock is the program's fake.

#include "app/tmainf.h"
#include "plot/tplot_f.h"
#include "print/printjob.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace {

// The whole X screen into a file, once the window system has had half a
// second to draw; nothing without an X display or ImageMagick.
void GrabScreen(const QString &file)
{
    const QString import = QStandardPaths::findExecutable(QStringLiteral("import"));
    if (QGuiApplication::platformName() != QLatin1StringView("xcb") || import.isEmpty())
        return;
    QThread::msleep(500);
    const int code =
        QProcess::execute(import, {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("%s %s\n", code == 0 ? "grabbed" : "NOT grabbed", qPrintable(file));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"))
            .absolutePath();
    QDir().mkpath(folder);
    QTemporaryDir config;
    QTemporaryDir work;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    QDir::setCurrent(work.path());

    TMainF w;
    std::array<int, kModuleCount + 1> active{};
    for (const int m : {2, 5, 9})
        active[size_t(m)] = kMarkOn;
    TPlot_F *page = w.Plot_F1;
    quint32 now = 0xFFFF0000u; // the tick counter wraps during the run
    page->TickCount = [&now] { return now; };
    w.SetTabVisible(w.Plot_Tab, true);
    w.PageControl1->setCurrentWidget(w.Plot_Tab);
    page->Prepare_Plot(active, QStringLiteral("Celsius"));
    w.show();
    page->ListBox1->item(0)->setCheckState(Qt::Checked);
    page->ListBox1->item(2)->setCheckState(Qt::Checked);
    QCoreApplication::processEvents();
    w.grab().save(QDir(folder).filePath(QStringLiteral("plot-selection.png")));
    page->Start_BClick();

    for (int s = 0; s <= 12 * 60; s += 10) {
        now = 0xFFFF0000u + quint32(s) * 1000u;
        ReadingTexts texts;
        for (int i = 0; i < 8; ++i) {
            const double v = 20 + 2 * i + 1.5 * std::sin(s / 90.0 + i);
            texts[size_t(i)] = QString::number(v, 'f', 1);
        }
        if (s >= 4 * 60 && s < 6 * 60)
            texts[2] = QStringLiteral("----");
        if (s >= 8 * 60)
            texts[4] = QStringLiteral("Op");
        texts[7] = QStringLiteral("----");
        page->Plot_Readings(2, texts);
    }
    QCoreApplication::processEvents();
    const QString shot = QDir(folder).filePath(QStringLiteral("plot-page.png"));
    std::printf("%s %s\n", w.grab().save(shot) ? "saved" : "NOT saved", qPrintable(shot));
    QCoreApplication::processEvents();
    GrabScreen(QDir(folder).filePath(QStringLiteral("screen-plot-page.png")));

    const QString pdf = QDir(folder).absoluteFilePath(QStringLiteral("printed-page.pdf"));
    QFile::remove(pdf);
    w.PrintDialog1 = [&pdf](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    // The job runs on a thread of its own while the window's thread draws
    // the enlarged window: a grab from there sees what the user sees.
    const QString printing = QDir(folder).filePath(QStringLiteral("screen-printing.png"));
    w.RunPrintJob = [&printing](const PagePicture &picture, const PrintSettings &settings) {
        GrabScreen(printing);
        return PrintPagePicture(picture, settings);
    };
    w.Plot_F1Button1Click();
    std::printf("%s %s\n", QFile::exists(pdf) ? "printed" : "NOT printed", qPrintable(pdf));
    return 0;
}

#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "plot/chartwidget.h"
#include "plot/tplot_f.h"
#include "print/printjob.h"
#include "print/tprintdialogf.h"
#include "sim/bussimulator.h"
#include "support/filesizecap.h"
#include "support/modal.h"
#include "support/windowenvironment.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

// The plot page inside the main window: what START hands it, the readings
// the metering cycle brings it from a simulated bus, and Print Chart to a
// PDF file, looked at with poppler's tools.
class TestMainPlot : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void plotPageHasItsDrawnSizeInTheWindow();
    void startOffersTheActiveModulesInTheUnit();
    void readingsReachTheChartOfTheirModule();
    void printChartMakesOnePageOfRealText();
    void pictureLandsInsideTheUniformMargin_data();
    void pictureLandsInsideTheUniformMargin();
    void printingShowsWhileTheJobRunsAndCountsItsDots();
    void failedPrintSaysSoWithTheWindowRestored();
    void failedWriteKeepsTheFileAndSpoilsNoLaterPrint();
    void cancelledPrintChangesNothing();

private:
    std::unique_ptr<WindowEnvironment> m_env;
};

namespace {

// Every input of module m a Pt100, its group open and the module selected.
void configurePt100(TMainF &w, int m)
{
    w.Config_Page->Config_Tree->topLevelItem(ModuleTable::GroupOf(m) - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = kPt100;
    w.Config_Page->RefreshConfigGrid(); // the grid lists what is sent
}

// The window shown on the plot page, module 2 with a few minutes of
// readings.
void plotSomething(TMainF &w, quint32 &now)
{
    w.show();
    TPlot_F *page = w.Plot_F1;
    page->TickCount = [&now] { return now; };
    std::array<int, kModuleCount + 1> active{};
    active[2] = kMarkOn;
    w.SetTabVisible(w.Plot_Tab, true);
    w.PageControl1->setCurrentWidget(w.Plot_Tab);
    page->Prepare_Plot(active, QStringLiteral("Celsius"));
    page->ListBox1->item(0)->setCheckState(Qt::Checked);
    page->Start_BClick();
    for (int s = 0; s <= 300; s += 30) {
        now = page->start_ticks + quint32(s) * 1000;
        page->Plot_Readings(2, {QStringLiteral("21.5"), QStringLiteral("Op"),
                                s == 120 ? QStringLiteral("----") : QStringLiteral("24.0")});
    }
}

// Runs a poppler tool on a file; its standard output.
QString poppler(const QString &tool, const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return QStringLiteral("%1 is missing: install poppler-utils (scripts/setup.sh)").arg(tool);
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Prints to a PDF file through Print Chart; true when the box "There was
// an error printing." came up (and was answered). The user takes
// dialogMs in the print dialog, and sets the page layout there when one is
// given.
bool PrintToPdf(TMainF &w, const QString &pdf, int dialogMs = 0, const QPageLayout &layout = {})
{
    w.PrintDialog1 = [&](QPrinter &printer) {
        if (dialogMs > 0)
            QTest::qWait(dialogMs);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        if (layout.isValid())
            printer.setPageLayout(layout);
        return true;
    };
    auto seen = std::make_shared<ModalSeen>();
    // Answers only this print's box: the poll may outlive it.
    auto mine = std::make_shared<bool>(true);
    AnswerNextModal(seen, [mine](QWidget *box) {
        if (*mine)
            PressButton(box, QStringLiteral("OK"));
    });
    w.Plot_F1Button1Click();
    *mine = false;
    if (seen->seen && seen->text != QLatin1StringView("There was an error printing."))
        qWarning("another box: %s", qPrintable(seen->text));
    return seen->seen;
}

// The files of a folder whose names start with prefix.
QStringList FilesStartingWith(const QString &folder, const QString &prefix)
{
    return QDir(folder).entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
}

// Sizes chart_P takes, in order.
class SizeRecorder : public QObject
{
public:
    QList<QSize> sizes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            sizes << static_cast<QWidget *>(watched)->size();
        return false;
    }
};

} // namespace

void TestMainPlot::init()
{
    m_env = std::make_unique<WindowEnvironment>();
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() + "\n");
}

void TestMainPlot::cleanup()
{
    m_env.reset();
}

// In the window of 800 x 550 the page is 786 x 439 as it was drawn, not
// the 796 x 451 of Qt's tab sheet: its list of modules 360 high (17 rows of
// 21), its charts 784 x 356 above the 84-pixel bottom panel.
void TestMainPlot::plotPageHasItsDrawnSizeInTheWindow()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    QCOMPARE(w.size(), QSize(800, 550));
    TPlot_F *page = w.Plot_F1;
    QCOMPARE(page->size(), QSize(786, 439));
    QCOMPARE(page->ListBox1->height(), 360);
    QCOMPARE(page->chart_P->size(), QSize(784, 356));
    // A taller window gives the page the height it gains.
    w.resize(800, 650);
    QCOMPARE(page->size(), QSize(786, 539));
}

void TestMainPlot::startOffersTheActiveModulesInTheUnit()
{
    m_env->writeStore("Comport=" + m_env->path(QStringLiteral("noport")).toUtf8() +
                      "\nTemperature=Fahrenheit\n");
    TMainF w;
    QVERIFY(!w.IsTabVisible(w.Plot_Tab));
    for (const int m : {9, 2, 40})
        configurePt100(w, m);
    w.PrepareMetering();
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();

    QVERIFY(w.IsTabVisible(w.Plot_Tab));
    TPlot_F *page = w.Plot_F1;
    QCOMPARE(page->unit_name, QStringLiteral("Fahrenheit"));
    QCOMPARE(page->Chart1->LeftTitle(), QStringLiteral("Temperature (Fahrenheit)"));
    QCOMPARE(page->ListBox1->count(), 3);
    QCOMPARE(page->ListBox1->item(0)->text(), QStringLiteral("Module 2"));
    QCOMPARE(page->ListBox1->item(1)->text(), QStringLiteral("Module 9"));
    QCOMPARE(page->ListBox1->item(2)->text(), QStringLiteral("Module 40"));
    QVERIFY(!page->Start_B->isEnabled());
    QVERIFY(page->module_selection_P->isVisibleTo(page));
    w.Metering_F1stop_BClick();

    // The next start offers the list afresh, nothing ticked.
    page->ListBox1->item(1)->setCheckState(Qt::Checked);
    page->Start_BClick();
    QVERIFY(page->plotting);
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    QVERIFY(!page->plotting);
    QCOMPARE(page->ListBox1->item(1)->checkState(), Qt::Unchecked);
    w.Metering_F1stop_BClick();
}

void TestMainPlot::readingsReachTheChartOfTheirModule()
{
    BusSimulator sim(m_env->workPath() + QStringLiteral("/ttySIM"));
    for (const int m : {2, 5, 9})
        QVERIFY(sim.addModule(m));
    sim.setPacing(false);
    const Result<> started = sim.start();
    QVERIFY2(started, qPrintable(started.error()));
    QVERIFY(sim.setReading(2, 1, 234));          // 23.4 degrees
    QVERIFY(sim.setReading(9, 2, quint16(-32))); // -3.2 degrees
    QVERIFY(sim.setFault(9, Fault::Open, 3));    // "Op"
    QVERIFY(sim.setReading(5, 1, 500));
    m_env->writeStore("Comport=" + sim.linkPath().toUtf8() + "\nTemperature=Celsius\n");

    TMainF w;
    for (const int m : {2, 5, 9})
        configurePt100(w, m);
    w.PrepareMetering();
    w.Metering_F1start_BClick();
    w.Read_Timer->stop(); // the test ticks
    TPlot_F *page = w.Plot_F1;
    quint32 now = 1000;
    page->TickCount = [&now] { return now; };
    for (const int row : {0, 2}) // modules 2 and 9
        page->ListBox1->item(row)->setCheckState(Qt::Checked);
    page->Start_B->click();

    now += 61000; // a minute and one second later
    for (int tick = 0; tick < 3; ++tick)
        w.Read_TimerTimer(); // modules 2, 5 and 9
    w.Metering_F1stop_BClick();

    ChartWidget *chart2 = page->Chart1;
    ChartWidget *chart9 = page->Chart2;
    QCOMPARE(chart2->Title(), QStringList{QStringLiteral("Module 2")});
    QCOMPARE(chart9->Title(), QStringList{QStringLiteral("Module 9")});
    for (int i = 0; i < 8; ++i)
        QCOMPARE(chart2->PointCount(i), 1); // every input configured and read
    QCOMPARE(chart2->Point(0, 0).y, double(23.4f));
    QCOMPARE(chart2->Point(0, 0).x, double(61.0f / 60.0f));
    QCOMPARE(chart9->Point(1, 0).y, double(-3.2f));
    QCOMPARE(chart9->Point(2, 0).y, 220.0);
    // Module 5 was read but has no chart.
    for (int c = 3; c <= 8; ++c)
        QCOMPARE(page->Chart(c)->PointCount(0), 0);
}

void TestMainPlot::printChartMakesOnePageOfRealText()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    const QSize before = w.size();
    const int chartHeight = w.Plot_F1->chart_P->height();
    SizeRecorder recorder;
    w.Plot_F1->chart_P->installEventFilter(&recorder);
    SizeRecorder client;
    w.centralWidget()->installEventFilter(&client);

    const QString pdf = m_env->path(QStringLiteral("chart.pdf"));
    bool printingWhileAsked = true;
    w.PrintDialog1 = [&](QPrinter &printer) {
        printingWhileAsked = w.Plot_F1->printing;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    w.Plot_F1->Button1->click();

    QVERIFY(!printingWhileAsked); // readings dropped only once the job starts
    QVERIFY(!w.Plot_F1->printing);
    QCOMPARE(w.size(), before);
    QCOMPARE(w.maximumWidth(), 800);
    QCOMPARE(w.Plot_F1->chart_P->height(), chartHeight);
    // While printing chart_P was 1400 wide less the tab's frame, then 82
    // higher than the enlarged window made it.
    QList<int> wide;
    for (const QSize &size : recorder.sizes) {
        if (size.width() > 1300)
            wide << size.height();
    }
    QVERIFY2(wide.size() >= 2, qPrintable(QString::number(wide.size())));
    QCOMPARE(wide[1], wide[0] + 82);
    // The client area, below the menu bar, was 1400 x 1200 while printing.
    QVERIFY(client.sizes.contains(QSize(1400, 1200)));

    QVERIFY(QFile::exists(pdf));
    const QString info = poppler(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(info));
    // pdffonts lists two heading lines, then a line for each font.
    const QString fonts = poppler(QStringLiteral("pdffonts"), {pdf});
    QVERIFY2(fonts.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size() >= 3, qPrintable(fonts));
    const QString text = poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    for (const char *word : {"Module 2", "Minutes", "Temperature (Celsius)", "220 = Open",
                             "Print Chart", "Viewing Module:", "RTD 8"})
        QVERIFY2(text.contains(QString::fromLatin1(word)), word);
    // Lines and text, not a picture of the screen: no image as large as the
    // page (the style's small button pictures may remain).
    const QString images = poppler(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    for (const QString &line : images.split(QLatin1Char('\n')).mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 4)
            QVERIFY2(fields[3].toInt() < 400 && fields[4].toInt() < 400, qPrintable(line));
    }
}

// Measured on the sheet: the PDF rendered at 72 dpi, the picture is what
// is not white (the page's grey, the charts' silver surround, the bottom
// panel), and it must lie where the uniform margin and the centring put
// it, worked out here from the sheet in millimetres.
void TestMainPlot::pictureLandsInsideTheUniformMargin_data()
{
    QTest::addColumn<QPageLayout>("layout");
    // The sheet and the margin m, in millimetres: the largest of the four.
    QTest::addColumn<QSizeF>("sheet");
    QTest::addColumn<double>("m");

    const QMarginsF uneven(10, 20, 15, 25);
    QTest::newRow("A4 portrait: 25 mm all round, centred down")
        << QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, uneven,
                       QPageLayout::Millimeter)
        << QSizeF(210, 297) << 25.0;
    QTest::newRow("A4 landscape: full height, centred across")
        << QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, uneven,
                       QPageLayout::Millimeter)
        << QSizeF(297, 210) << 25.0;
    QTest::newRow("Letter without margins: edge to edge across")
        << QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(),
                       QPageLayout::Millimeter)
        << QSizeF(215.9, 279.4) << 0.0;
}

void TestMainPlot::pictureLandsInsideTheUniformMargin()
{
    QFETCH(QPageLayout, layout);
    QFETCH(QSizeF, sheet);
    QFETCH(double, m);
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    QSize source;
    w.RunPrintJob = [&source](const PagePicture &page, const PrintSettings &settings) {
        source = page.size;
        return PrintPagePicture(page, settings);
    };
    const QString pdf = m_env->path(QStringLiteral("placed.pdf"));
    QVERIFY(!PrintToPdf(w, pdf, 0, layout));
    QVERIFY(source.width() > 1300);

    const QString png = m_env->path(QStringLiteral("placed"));
    poppler(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, png});
    const QImage image(png + QStringLiteral(".png"));
    QVERIFY2(!image.isNull(), "pdftoppm (poppler-utils) made no picture");
    QRect inked;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                inked |= QRect(x, y, 1, 1);
        }
    }

    // The area inside the margin, then the picture scaled into it.
    const double a = sheet.width() - 2 * m;
    const double b = sheet.height() - 2 * m;
    const double sx = a / source.width();
    const double sy = b / source.height();
    QRectF expected;
    if (sx < sy) {
        const double height = source.height() * sx;
        expected = QRectF(m, m + (b - height) / 2, a, height);
    } else {
        const double width = source.width() * sy;
        expected = QRectF(m + (a - width) / 2, m, width, b);
    }
    const double dots = 72 / 25.4;
    const QRectF wanted(expected.topLeft() * dots, expected.size() * dots);
    const QString where = QStringLiteral("inked %1,%2 %3x%4, wanted %5,%6 %7x%8")
                              .arg(inked.x())
                              .arg(inked.y())
                              .arg(inked.width())
                              .arg(inked.height())
                              .arg(wanted.x(), 0, 'f', 1)
                              .arg(wanted.y(), 0, 'f', 1)
                              .arg(wanted.width(), 0, 'f', 1)
                              .arg(wanted.height(), 0, 'f', 1);
    // Two dots (0.7 mm) for the rendering's rounding at the edges.
    QVERIFY2(qAbs(inked.left() - wanted.left()) <= 2, qPrintable(where));
    QVERIFY2(qAbs(inked.top() - wanted.top()) <= 2, qPrintable(where));
    QVERIFY2(qAbs(inked.right() + 1 - wanted.right()) <= 2, qPrintable(where));
    QVERIFY2(qAbs(inked.bottom() + 1 - wanted.bottom()) <= 2, qPrintable(where));
}

// The job runs off the window's thread, and lasts here until the window
// has counted four more dots: "Printing..." shows through the job with its
// dots counting, and once Print Chart is done the window is gone and the
// file is there. The
// print dialog takes its time too: a tick of "Printing..." that fell inside
// it stopped the dots for good.
void TestMainPlot::printingShowsWhileTheJobRunsAndCountsItsDots()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    const QSize before = w.size();
    const QString pdf = m_env->path(QStringLiteral("chart.pdf"));

    QSemaphore counted;
    QStringList shown;
    QTimer watch;
    watch.setInterval(5);
    connect(&watch, &QTimer::timeout, this, [&] {
        const auto *waiting = w.findChild<TPrintDialogF *>();
        if (!waiting || !waiting->isVisible())
            return;
        const QString text = waiting->wait_L->text();
        if (shown.isEmpty() || shown.last() != text) {
            shown << text;
            if (shown.size() == 5)
                counted.release();
        }
    });
    watch.start();
    w.RunPrintJob = [&counted](const PagePicture &page, const PrintSettings &settings) {
        if (!counted.tryAcquire(1, 30000))
            return Result<>(Fail(QStringLiteral("No dots were counted while the job ran.")));
        return PrintPagePicture(page, settings);
    };
    const bool failed = PrintToPdf(w, pdf, 300);
    watch.stop();

    QVERIFY(!failed);
    const QStringList dots{QStringLiteral("Please Wait."), QStringLiteral("Please Wait.."),
                           QStringLiteral("Please Wait..."), QStringLiteral("Please Wait...."),
                           QStringLiteral("Please Wait.....")};
    QCOMPARE(shown.mid(0, 5), dots);
    QVERIFY(w.findChildren<TPrintDialogF *>().isEmpty());
    QCOMPARE(w.size(), before);
    QVERIFY(ReadFileBytes(pdf).startsWith("%PDF"));
}

void TestMainPlot::failedPrintSaysSoWithTheWindowRestored()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    const QSize before = w.size();
    const int points = w.Plot_F1->Chart1->PointCount(0);
    w.PrintDialog1 = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_env->path(QStringLiteral("no/such/folder/chart.pdf")));
        return true;
    };
    auto seen = std::make_shared<ModalSeen>();
    QSize sizeBehindTheBox;
    bool printingBehindTheBox = true;
    AnswerNextModal(seen, [&](QWidget *box) {
        sizeBehindTheBox = w.size();
        printingBehindTheBox = w.Plot_F1->printing;
        PressButton(box, QStringLiteral("OK"));
    });
    w.Plot_F1Button1Click();

    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Printer Error"));
    QCOMPARE(seen->text, QStringLiteral("There was an error printing."));
    QCOMPARE(sizeBehindTheBox, before);
    QVERIFY(!printingBehindTheBox);
    QCOMPARE(w.size(), before);
    QVERIFY(!w.Plot_F1->printing);
    // Plotting goes on.
    now += 1000;
    w.Plot_F1->Plot_Readings(2, {QStringLiteral("21.5")});
    QCOMPARE(w.Plot_F1->Chart1->PointCount(0), points + 1);
}

// A write that fails once the job has begun (here a file-size limit, as a
// full disk gives) is a failed print: the box says so, the good file that
// was there stays as it was and no temporary file is left beside it. The
// next print, over the same file or another, writes a whole file again:
// Qt's PDF engine kept the failed write, so every later print on the same
// printer object wrote 0 bytes and said nothing.
void TestMainPlot::failedWriteKeepsTheFileAndSpoilsNoLaterPrint()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    const QString folder = m_env->workPath();
    const QString pdf = m_env->path(QStringLiteral("chart.pdf"));
    QVERIFY(!PrintToPdf(w, pdf));
    const QByteArray good = ReadFileBytes(pdf);
    QVERIFY2(good.size() > 8192, qPrintable(QString::number(good.size())));

    for (const QString &name : {QStringLiteral("chart.pdf"), QStringLiteral("fresh.pdf")}) {
        bool failed = false;
        {
            const FileSizeCap cap(4096);
            QVERIFY(cap.ok());
            failed = PrintToPdf(w, m_env->path(name));
        }
        QVERIFY2(failed, qPrintable(name));
        QVERIFY(!w.Plot_F1->printing);
    }
    QCOMPARE(ReadFileBytes(pdf), good);
    QCOMPARE(FilesStartingWith(folder, QStringLiteral("chart")),
             QStringList{QStringLiteral("chart.pdf")});
    QVERIFY(FilesStartingWith(folder, QStringLiteral("fresh")).isEmpty());

    for (const QString &name : {QStringLiteral("chart.pdf"), QStringLiteral("other.pdf")}) {
        QVERIFY2(!PrintToPdf(w, m_env->path(name)), qPrintable(name));
        const QString info = poppler(QStringLiteral("pdfinfo"), {m_env->path(name)});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))),
                 qPrintable(name + QLatin1Char(' ') + info));
    }
}

void TestMainPlot::cancelledPrintChangesNothing()
{
    TMainF w;
    quint32 now = 0;
    plotSomething(w, now);
    int asked = 0;
    w.PrintDialog1 = [&](QPrinter &) {
        ++asked;
        return false;
    };
    const QSize before = w.size();
    w.Plot_F1->Button1->click();
    QCOMPARE(asked, 1);
    QCOMPARE(w.size(), before);
    QVERIFY(!w.Plot_F1->printing);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestMainPlot)
#include "tst_mainplot.moc"

#include "plot/chartwidget.h"
#include "support/pixels.h"

#include <QAccessible>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {

// The plot page's series colours, RTD 1 to RTD 8.
const QColor kColours[8] = {{255, 0, 0}, {0, 0, 0},   {0, 0, 255},   {128, 128, 128},
                            {0, 128, 0}, {0, 255, 0}, {255, 0, 255}, {0, 128, 128}};
const QColor kGapWhite(255, 255, 255);
// What a picture holds where nothing has been painted.
const QColor kUnpainted(1, 2, 3);

// A chart dressed as the plot page dresses one.
struct Chart
{
    ChartWidget chart;

    Chart()
    {
        chart.resize(784, 356);
        for (int s = 0; s < 8; ++s) {
            if (!chart.AddSeries(QStringLiteral("RTD %1").arg(s + 1), kColours[s]).ok())
                qFatal("series refused");
        }
        chart.SetLeftTitle(QStringLiteral("Temperature (Celsius)"));
        chart.SetLeftLabelSize(20);
        chart.SetLegendTitle({QStringLiteral("220 = Open"), QStringLiteral("230 = Short"),
                              QStringLiteral("240 = Error")});
        chart.SetLeftMinimum(0);
        chart.SetLeftMaximum(25);
        chart.SetBottomMinimum(0);
        chart.SetBottomMaximum(12);
    }

    QImage Rendered(const QSize &size = {})
    {
        QImage image(size.isValid() ? size : chart.size(), QImage::Format_RGB32);
        image.fill(kUnpainted);
        chart.render(&image);
        return image;
    }
};

QString FirstDifference(const QImage &a, const QImage &b, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("(%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixelColor(x, y).name(), b.pixelColor(x, y).name());
        }
    }
    return {};
}

} // namespace

class tst_ChartWidget : public QObject
{
    Q_OBJECT

private slots:
    void legendBoxHidesItsSeries();
    void legendNamesInSeriesColours();
    void addingPointsLeavesTheAxesAlone();
    void pointsComeBackAsAdded();
    void refusedPointsAddNothing_data();
    void refusedPointsAddNothing();
    void assistiveTechnologyReadsTitleAndLatestValues();
    void paintsWhatEveryPointPaints_data();
    void paintsWhatEveryPointPaints();
    void repaintAfterTheAxisMovedEqualsAFreshChart();
    void paintShowsTheLegendBoxesAsTheScreenDoes();
    void rendersToPdfAsVectors();
    void screenshotOfAModule();
};

void tst_ChartWidget::legendBoxHidesItsSeries()
{
    Chart f;
    f.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.chart));
    for (int i = 0; i <= 600; ++i)
        QVERIFY(f.chart.AddPoint(0, i / 60.0, 10, kColours[0]).ok());
    const QRect plot = f.chart.PlotRect();
    QVERIFY(CountColour(f.Rendered(), plot, kColours[0]) >= plot.width() * 8 / 10);

    QCheckBox *box = f.chart.LegendBox(0);
    QVERIFY(box && box->isChecked());
    QCOMPARE(box->text(), QStringLiteral("RTD 1"));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(!f.chart.SeriesVisible(0));
    QCOMPARE(CountColour(f.Rendered(), plot, kColours[0]), 0);
    QCOMPARE(f.chart.PointCount(0), 601); // hidden, not dropped

    f.chart.SetSeriesVisible(0, true);
    QVERIFY(box->isChecked());
    QVERIFY(CountColour(f.Rendered(), plot, kColours[0]) >= plot.width() * 8 / 10);
}

void tst_ChartWidget::legendNamesInSeriesColours()
{
    Chart f;
    f.chart.SetSeriesColour(3, QColor(255, 128, 0)); // a colour of its own for RTD 4
    const QImage image = f.Rendered();
    for (int s = 0; s < 8; ++s) {
        const QColor colour = s == 3 ? QColor(255, 128, 0) : kColours[s];
        QCOMPARE(f.chart.SeriesColour(s), colour);
        const QCheckBox *box = f.chart.LegendBox(s);
        // The name: right of the indicator, within the box.
        const QRect name = box->geometry().adjusted(box->height(), 0, 0, 0);
        QVERIFY2(CountColour(image, name, colour) >= 5, qPrintable(box->text()));
        for (int other = 0; other < 8; ++other) {
            if (other != s && other != 1 && other != 3) // black and grey also draw the indicator
                QCOMPARE(CountColour(image, name, kColours[other]), 0);
        }
    }
}

void tst_ChartWidget::addingPointsLeavesTheAxesAlone()
{
    Chart f;
    f.chart.SetLeftMinimum(-5);
    f.chart.SetLeftMaximum(30);
    f.chart.SetBottomMinimum(2);
    f.chart.SetBottomMaximum(3.5);
    for (int s = 0; s < 8; ++s) {
        QVERIFY(f.chart.AddPoint(s, 0, -70, kColours[s]).ok());
        QVERIFY(f.chart.AddPoint(s, 10, 240, kColours[s]).ok());
        QVERIFY(f.chart.AddPoint(s, 100, 400, kGapWhite).ok());
    }
    f.Rendered();
    QCOMPARE(f.chart.LeftMinimum(), -5.0);
    QCOMPARE(f.chart.LeftMaximum(), 30.0);
    QCOMPARE(f.chart.BottomMinimum(), 2.0);
    QCOMPARE(f.chart.BottomMaximum(), 3.5);

    // Limits may be set in any order, a minimum above the maximum included.
    f.chart.SetLeftMinimum(400);
    f.chart.SetLeftMaximum(-70);
    QCOMPARE(f.chart.LeftMinimum(), 400.0);
    QCOMPARE(f.chart.LeftMaximum(), -70.0);
    f.Rendered(); // and drawn without harm

    // Clearing takes the points of every series and nothing else.
    f.chart.ClearPoints();
    for (int s = 0; s < 8; ++s)
        QCOMPARE(f.chart.PointCount(s), 0);
    QCOMPARE(f.chart.BottomMaximum(), 3.5);
    QCOMPARE(f.chart.SeriesTitle(7), QStringLiteral("RTD 8"));
}

void tst_ChartWidget::pointsComeBackAsAdded()
{
    Chart f;
    // Whole seconds as minutes, as single-precision numbers.
    const float x = float(75u / 60.0);
    QVERIFY(f.chart.AddPoint(2, x, 23.4, kColours[2]).ok());
    QVERIFY(f.chart.AddPoint(2, x, 220, kGapWhite).ok());
    QCOMPARE(f.chart.PointCount(2), 2);
    const ChartPoint first = f.chart.Point(2, 0);
    QCOMPARE(first.x, double(x));
    QCOMPARE(first.y, double(23.4f));
    QCOMPARE(first.colour, QColor(0, 0, 255));
    QCOMPARE(f.chart.Point(2, 1).colour, QColor(255, 255, 255));
    QCOMPARE(f.chart.Point(2, 1).y, 220.0);
    QCOMPARE(f.chart.PointCount(1), 0);
}

void tst_ChartWidget::refusedPointsAddNothing_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    // Series 0 holds a point at x = 2.
    QTest::newRow("series 8 of eight") << 8 << 3.0 << 20.0;
    QTest::newRow("negative series") << -1 << 3.0 << 20.0;
    QTest::newRow("x goes back") << 0 << 1.0 << 20.0;
    QTest::newRow("y not a number") << 0 << 3.0 << qQNaN();
}

void tst_ChartWidget::refusedPointsAddNothing()
{
    QFETCH(int, series);
    QFETCH(double, x);
    QFETCH(double, y);
    Chart f;
    QVERIFY(f.chart.AddPoint(0, 2, 20, kColours[0]).ok());
    const Result<> added = f.chart.AddPoint(series, x, y, kColours[0]);
    QVERIFY(!added.ok());
    QVERIFY(!added.error().isEmpty());
    QCOMPARE(f.chart.PointCount(0), 1);
}

void tst_ChartWidget::assistiveTechnologyReadsTitleAndLatestValues()
{
    Chart f;
    f.chart.SetTitle({QStringLiteral("Module 5")});
    QVERIFY(f.chart.AddPoint(0, 0, 21.0, kColours[0]).ok());
    QVERIFY(f.chart.AddPoint(0, 1 / 60.0, 23.4, kColours[0]).ok());
    QVERIFY(f.chart.AddPoint(1, 0, 19.5, kColours[1]).ok()); // hidden below
    QVERIFY(f.chart.AddPoint(2, 1 / 60.0, 220, kGapWhite).ok());
    f.chart.SetSeriesVisible(1, false);

    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(&f.chart);
    QVERIFY(face);
    QCOMPARE(face->role(), QAccessible::Chart);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Module 5"));
    QCOMPARE(face->text(QAccessible::Description), QStringLiteral("RTD 1: 23.4, RTD 3: 220.0"));

    // The legend boxes are check boxes among the chart's children.
    int boxes = 0;
    for (int i = 0; i < face->childCount(); ++i) {
        QAccessibleInterface *child = face->child(i);
        if (child->role() != QAccessible::CheckBox)
            continue;
        ++boxes;
        if (child->text(QAccessible::Name) == QLatin1String("RTD 2"))
            QVERIFY(!child->state().checked);
        if (child->text(QAccessible::Name) == QLatin1String("RTD 3"))
            QVERIFY(child->state().checked);
    }
    QCOMPARE(boxes, 8);

    f.chart.SetTitle({QStringLiteral("Module 12"), QStringLiteral("inputs 1-8")});
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Module 12 inputs 1-8"));
}

// How the test series run.
enum class Wave
{
    RandomWalk, // eight random walks that cross each other
    Teeth,      // by turns a column climbing and one lying in the middle of that climb
    Bursts,     // ten points in a column, then two columns without points
};

void tst_ChartWidget::paintsWhatEveryPointPaints_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("xmin");
    QTest::addColumn<double>("xmax");
    QTest::addColumn<int>("gapEvery"); // 0: no gaps
    QTest::addColumn<int>("wave");
    QTest::addColumn<int>("hidden"); // a bit for each series hidden after a first paint
    const auto row = [](const char *name, int count, double xmin, double xmax, int gapEvery,
                        Wave wave = Wave::RandomWalk, int hidden = 0) {
        QTest::newRow(name) << count << xmin << xmax << gapEvery << int(wave) << hidden;
    };
    row("thousands of points a column, gaps", 200000, 0.0, 3400.0, 500);
    row("a few points a column, no gap", 3000, 0.0, 50.0, 0);
    row("range cuts both ends", 50000, 200.0, 500.0, 97);
    row("fewer points than columns", 200, 0.0, 4.0, 11);
    // Colours change inside most columns, series over series: the lines of
    // one colour cannot all go in one batch.
    row("every other point white", 20000, 0.0, 340.0, 2);
    row("every seventh point white", 60000, 0.0, 1000.0, 7);
    // The segment from a climbing column to the next ends within the climb
    // but starts above all of the next column, and the one from there to
    // the next climb starts above all of it: neither lies within the
    // strokes on both sides.
    row("teeth", 40000, 0.0, 660.0, 0, Wave::Teeth);
    // Segments that span empty columns, between columns of many points at
    // the same height.
    row("bursts", 20000, 0.0, 660.0, 0, Wave::Bursts);
    // Series over series hide one another; a hidden one hides nothing.
    row("series 2, 4, 6 and 8 hidden", 200000, 0.0, 3400.0, 500, Wave::RandomWalk, 0b10101010);
}

void tst_ChartWidget::paintsWhatEveryPointPaints()
{
    QFETCH(int, count);
    QFETCH(double, xmin);
    QFETCH(double, xmax);
    QFETCH(int, gapEvery);
    QFETCH(int, wave);
    QFETCH(int, hidden);
    Chart f;
    f.chart.SetBottomMinimum(xmin);
    f.chart.SetBottomMaximum(xmax);
    const QRect area = f.chart.PlotRect();
    // Random walks with open sensors (220, far above the axis) now and
    // then, or teeth, and gaps bridged in white.
    QRandomGenerator random(count);
    for (int s = 0; s < 8; ++s) {
        double y = 12;
        for (int i = 0; i < count; ++i) {
            // Bursts: ten points in the middle fifth of every third column.
            const double column = (xmax - xmin) / (area.width() - 1);
            const double x = Wave(wave) == Wave::Bursts
                                 ? xmin + (i / 10 * 3 + (i % 10) * 0.02 - 0.1) * column
                                 : i / 60.0;
            if (Wave(wave) == Wave::Bursts) {
                y = 3 * s + 1 + random.bounded(1.0);
            } else if (Wave(wave) == Wave::Teeth) {
                // Where the point lies in its pixel column, 0 to 1.
                const double at = (x - xmin) / (xmax - xmin) * (area.width() - 1) + 0.5;
                const double along = at - std::floor(at);
                y = 3 * s + (int(at) % 2 == 0 ? 3 * along : 1.4 + random.bounded(0.2));
            } else {
                y = std::clamp(y + random.bounded(3.0) - 1.5, -3.0, 28.0);
            }
            const bool open = Wave(wave) == Wave::RandomWalk && random.bounded(1000) == 0;
            const bool gap = gapEvery > 0 && i % gapEvery == s;
            QVERIFY(f.chart.AddPoint(s, x, open ? 220 : y, gap ? kGapWhite : kColours[s]).ok());
        }
    }
    if (hidden != 0) {
        f.Rendered();
        for (int s = 0; s < 8; ++s)
            f.chart.SetSeriesVisible(s, !(hidden & (1 << s)));
    }
    const QImage reduced = f.Rendered();

    // Every segment of the shown series drawn one by one in the colour of
    // its end point, over the same chart with its series hidden.
    for (int s = 0; s < 8; ++s)
        f.chart.SetSeriesVisible(s, false);
    QImage full = f.Rendered();
    const QRect plot = f.chart.PlotRect();
    {
        QPainter painter(&full);
        painter.setClipRect(plot);
        const AxisScale x(xmin, xmax, plot.left(), plot.right());
        const AxisScale y(0, 25, plot.bottom(), plot.top());
        for (int s = 0; s < 8; ++s) {
            const ChartSeries &points = f.chart.SeriesPoints(s);
            for (quint32 i = 1; i < points.Count() && !(hidden & (1 << s)); ++i) {
                painter.setPen(QPen(QColor::fromRgb(points.Rgb(i)), 1));
                painter.drawLine(
                    QPointF(x.Pixel(points.X(i - 1)), y.Pixel(points.Y(i - 1))).toPoint(),
                    QPointF(x.Pixel(points.X(i)), y.Pixel(points.Y(i))).toPoint());
            }
        }
    }
    QCOMPARE(FirstDifference(reduced, full, plot), QString());
    // Something was drawn: every shown series shows.
    for (int s = 0; s < 8; ++s)
        QVERIFY(hidden & (1 << s) || CountColour(reduced, plot, kColours[s]) > 0);
}

void tst_ChartWidget::repaintAfterTheAxisMovedEqualsAFreshChart()
{
    // Eight series of a reading a second for 22 hours, a hundred points
    // and more a pixel column, with gaps, roaming so that they cross and
    // hide one another; the plot page moves the time axis to every new
    // reading. The chart keeps what it drew and found for the next repaint:
    // whatever it went through, a repaint must show what a chart that never
    // drew before shows.
    QRandomGenerator random(14);
    struct Reading
    {
        double x;
        double y[8];
        bool gap[8];
    };
    std::vector<Reading> readings;
    double y[8] = {3, 6, 9, 12, 15, 18, 21, 24};
    for (int i = 0; i < 80400; ++i) {
        Reading r{i / 60.0, {}, {}};
        for (int s = 0; s < 8; ++s) {
            y[s] = std::clamp(y[s] + random.bounded(2.0) - 1.0, -3.0, 28.0);
            r.y[s] = random.bounded(3000) == 0 ? 220 : y[s];
            r.gap[s] = random.bounded(700) == 0;
        }
        readings.push_back(r);
    }
    const auto add = [&](ChartWidget &chart, const Reading &r) {
        for (int s = 0; s < 8; ++s) {
            if (!chart.AddPoint(s, r.x, r.y[s], r.gap[s] ? kGapWhite : kColours[s]).ok())
                qFatal("point refused");
        }
    };
    const int first = 80000;
    Chart f;
    for (int i = 0; i < first; ++i)
        add(f.chart, readings[i]);
    f.chart.SetBottomMaximum(readings[first - 1].x);
    f.Rendered();

    struct Step
    {
        const char *what;
        int readings; // added so far
        double min, max;
        double top = 25; // of the left axis
    };
    const double end = readings[first - 1].x;
    const Step steps[] = {
        {"the axis a second on", first, 0, end + 1 / 60.0},
        {"and back", first, 0, end},
        {"a reading", first + 1, 0, readings[first].x},
        {"five readings more", first + 6, 0, readings[first + 5].x},
        {"the start a minute on", first + 6, 1, readings[first + 5].x},
        {"a window of an hour", first + 6, end - 60, end},
        {"the window a second on", first + 6, end - 60 + 1 / 60.0, end + 1 / 60.0},
        {"all of it again", first + 6, 0, readings[first + 5].x},
        {"four hundred readings", first + 400, 0, readings[first + 399].x},
        // The series flattened to a few rows, where they hide little.
        {"the left axis up to 2500", first + 400, 0, readings[first + 399].x, 2500},
        {"and back to 25", first + 400, 0, readings[first + 399].x},
    };
    int added = first;
    for (const Step &step : steps) {
        for (; added < step.readings; ++added)
            add(f.chart, readings[added]);
        f.chart.SetBottomMinimum(step.min);
        f.chart.SetBottomMaximum(step.max);
        f.chart.SetLeftMaximum(step.top);
        const QImage moved = f.Rendered();

        Chart fresh;
        for (int i = 0; i < step.readings; ++i)
            add(fresh.chart, readings[i]);
        fresh.chart.SetBottomMinimum(step.min);
        fresh.chart.SetBottomMaximum(step.max);
        fresh.chart.SetLeftMaximum(step.top);
        const QString difference = FirstDifference(moved, fresh.Rendered(), moved.rect());
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QLatin1String(step.what) + QLatin1String(": ") + difference));
    }
}

void tst_ChartWidget::paintShowsTheLegendBoxesAsTheScreenDoes()
{
    Chart f;
    f.chart.SetTitle({QStringLiteral("Module 5")});
    f.chart.SetSeriesVisible(4, false);
    for (int i = 0; i < 720; ++i)
        QVERIFY(f.chart.AddPoint(0, i / 60.0, 10 + (i % 50) / 10.0, kColours[0]).ok());
    const QImage screen = f.Rendered();
    QImage painted(f.chart.size(), QImage::Format_RGB32);
    painted.fill(kUnpainted);
    {
        QPainter painter(&painted);
        f.chart.Paint(painter, f.chart.rect());
    }
    QCOMPARE(FirstDifference(painted, screen, painted.rect()), QString());

    // Laid out afresh at another size: the plot area grows with it.
    const QRect big(0, 0, 1400, 700);
    QVERIFY(f.chart.PlotRect(big).width() > f.chart.PlotRect().width() + 500);
    QImage large(big.size(), QImage::Format_RGB32);
    large.fill(kUnpainted);
    {
        QPainter painter(&large);
        f.chart.Paint(painter, big);
    }
    QCOMPARE(CountColour(large, large.rect(), kUnpainted), 0);
    QVERIFY(CountColour(large, f.chart.PlotRect(big), kColours[0]) > 1000);
}

void tst_ChartWidget::rendersToPdfAsVectors()
{
    Chart f;
    for (int i = 0; i < 720; ++i)
        QVERIFY(f.chart.AddPoint(0, i / 60.0, 10 + (i % 50) / 10.0, kColours[0]).ok());
    for (const bool throughRender : {true, false}) {
        QBuffer pdf;
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        {
            QPdfWriter writer(&pdf);
            writer.setResolution(1200);
            QPainter painter(&writer);
            const double scale = writer.width() / double(f.chart.width());
            painter.scale(scale, scale);
            if (throughRender)
                f.chart.render(&painter, {}, {}, QWidget::DrawChildren);
            else
                f.chart.Paint(painter, f.chart.rect());
        }
        // No image anywhere: lines, text and the check boxes went as vectors.
        QVERIFY(pdf.data().startsWith("%PDF"));
        QCOMPARE(pdf.data().count("/Subtype /Image"), 0);
    }
}

void tst_ChartWidget::screenshotOfAModule()
{
    // Module 5 after twelve minutes: RTD 3 lost its sensor for a while (a
    // gap, bridged in white), RTD 6 reads open throughout (220, above the
    // axis, so nothing of it shows), the others drift.
    Chart f;
    f.chart.SetTitle({QStringLiteral("Module 5")});
    QRandomGenerator random(5);
    const int count = 3000;
    for (int s = 0; s < 8; ++s) {
        for (int i = 0; i < count; ++i) {
            const double minutes = i * 12.0 / count;
            if (s == 2 && minutes >= 5 && minutes < 6)
                continue; // the gap
            const double y =
                3 + 2.6 * s + 1.2 * std::sin(minutes / 1.7 + s) + random.bounded(0.3) - 0.15;
            const QColor colour =
                s == 2 && minutes >= 6 && minutes < 6.001 ? kGapWhite : kColours[s];
            QVERIFY(f.chart.AddPoint(s, minutes, s == 5 ? 220 : y, colour).ok());
        }
    }
    const QImage image = f.chart.grab().toImage();
    const QRect plot = f.chart.PlotRect();
    QCOMPARE(CountColour(image, plot, kColours[5]), 0);
    // No blue in the columns of the gap (minutes 5.0 to 6.0).
    const AxisScale x(0, 12, plot.left(), plot.right());
    const QRect gap(QPoint(int(x.Pixel(5.0)) + 1, plot.top()),
                    QPoint(int(x.Pixel(6.0)) - 1, plot.bottom()));
    QCOMPARE(CountColour(image, gap, kColours[2]), 0);
    QVERIFY(CountColour(image, plot, kColours[2]) > 100);

    const QString dir = qEnvironmentVariable("KELVORA_BINARY_DIR");
    if (!dir.isEmpty() && QDir(dir).mkpath(QStringLiteral("screenshots")))
        QVERIFY(image.save(dir + QStringLiteral("/screenshots/chart.png")));
}

QTEST_MAIN(tst_ChartWidget)
#include "tst_chartwidget.moc"

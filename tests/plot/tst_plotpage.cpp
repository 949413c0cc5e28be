#include "plot/chartwidget.h"
#include "plot/tplot_f.h"
#include "support/modal.h"
#include "support/pixels.h"
#include "widgets/tqmspinedit.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

// The Temperature Plotting page on its own, on a clock the test moves:
// choosing modules, the points and gaps each read adds, auto-scaling, the
// hand-set axes, the dropped readings and a new choice.
class TestPlotPage : public QObject
{
    Q_OBJECT

private slots:
    void preparedPageOffersTheActiveModules();
    void chartsAreDressedAndResetForTheUnit();
    void okNeedsOneToEightTicks_data();
    void okNeedsOneToEightTicks();
    void spaceTicksAnItem();
    void listFillsFourColumns();
    void ticksInAnyOrderChartModulesInListOrder();
    void readingsBecomePointsOnTheirChart();
    void gapLeavesNoVisibleLine();
    void emptyTextAddsNoPointAndNoGap();
    void allDashesMoveTitleAndTimeButAddNoPoint();
    void autoScaleWidensItsChartAndLimitsTheFields();
    void autoScaleOffKeepsTheTemperatureAxis();
    void timeWindowFromTenMinutesReachesThePresent();
    void timeMinimumIsClampedToTheElapsedMinutes();
    void reversedTemperatureLimitsAreNotApplied();
    void axisFieldsSpeakOfTheChartOnView();
    void tickWrapKeepsTimeGoingForward();
    void readingsAreDroppedWhileChoosingPrintingOrUncharted();
    void selectingDifferentModulesKeepsTicksAndEmptiesCharts();
    void answeringNoKeepsThePlot();
    void newStartOffersNoTicks();
    void spinEditsAreShapedAndNamed();

private:
    static QString dump(const TPlot_F &page);
};

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);

// The page in the main window's size, prepared for some active modules, on
// a clock that starts at start and moves only when the test says.
struct Page
{
    TPlot_F page;
    quint32 now = 5000;

    explicit Page(const QList<int> &active = {2, 5, 9},
                  const QString &unit = QStringLiteral("Celsius"))
    {
        page.TickCount = [this] { return now; };
        page.resize(786, 439);
        page.show();
        Prepare(active, unit);
    }

    void Prepare(const QList<int> &active, const QString &unit = QStringLiteral("Celsius"))
    {
        std::array<int, kModuleCount + 1> modules;
        modules.fill(kMarkOff);
        for (const int m : active)
            modules[size_t(m)] = kMarkOn;
        page.Prepare_Plot(modules, unit);
    }

    QListWidgetItem *Item(int m) const
    {
        const QList<QListWidgetItem *> found =
            page.ListBox1->findItems(QStringLiteral("Module %1").arg(m), Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }

    void Tick(const QList<int> &modules)
    {
        for (const int m : modules)
            Item(m)->setCheckState(Qt::Checked);
    }

    // Ticks the modules and presses OK.
    void Start(const QList<int> &modules)
    {
        Tick(modules);
        page.Start_B->click();
    }

    // Moves the clock to ms after OK.
    void At(quint32 ms) { now = page.start_ticks + ms; }
};

ReadingTexts Texts(std::initializer_list<const char *> texts)
{
    ReadingTexts r;
    r.fill(QStringLiteral("----"));
    int i = 0;
    for (const char *t : texts)
        r[size_t(i++)] = QString::fromLatin1(t);
    return r;
}

// Every input reads the same text.
ReadingTexts All(const char *text)
{
    ReadingTexts r;
    r.fill(QString::fromLatin1(text));
    return r;
}

} // namespace

QString TestPlotPage::dump(const TPlot_F &page)
{
    QStringList items;
    for (int k = 0; k < page.modules_CB->count(); ++k)
        items << page.modules_CB->itemText(k);
    return items.join(QLatin1Char(','));
}

void TestPlotPage::preparedPageOffersTheActiveModules()
{
    Page p({9, 2, 5, 63});
    QCOMPARE(p.page.ListBox1->count(), 4);
    const QStringList expected{QStringLiteral("Module 2"), QStringLiteral("Module 5"),
                               QStringLiteral("Module 9"), QStringLiteral("Module 63")};
    for (int k = 0; k < 4; ++k) {
        const QListWidgetItem *item = p.page.ListBox1->item(k);
        QCOMPARE(item->text(), expected[k]);
        QCOMPARE(item->checkState(), Qt::Unchecked);
        QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
        QCOMPARE(p.page.ListBox1->visualItemRect(item).height(), 21);
    }
    QVERIFY(!p.page.Start_B->isEnabled());
    QVERIFY(p.page.module_selection_P->isVisible());
    QCOMPARE(p.page.Label1->text(), QStringLiteral("Select up to 8 modules"));
    QCOMPARE(p.page.Start_B->text(), QStringLiteral("OK"));
    QCOMPARE(p.page.Start_B->size(), QSize(120, 25));
    QCOMPARE(p.page.ListBox1->height(), 360);
    QCOMPARE(p.page.chart_P->size(), QSize(784, 356));
    QCOMPARE(p.page.axis_P->height(), 84);
    QCOMPARE(p.page.unit_name, QStringLiteral("Celsius"));
    QVERIFY(!p.page.plotting);
    // A module that is selected but not active (mark 2) is not offered.
    QVERIFY(!p.Item(3));
}

void TestPlotPage::chartsAreDressedAndResetForTheUnit()
{
    Page p({2}, QStringLiteral("Fahrenheit"));
    const QColor colours[8] = {{255, 0, 0}, {0, 0, 0},   {0, 0, 255},   {128, 128, 128},
                               {0, 128, 0}, {0, 255, 0}, {255, 0, 255}, {0, 128, 128}};
    for (int c = 1; c <= 8; ++c) {
        ChartWidget *chart = p.page.Chart(c);
        QCOMPARE(chart->objectName(), QStringLiteral("Chart%1").arg(c));
        QCOMPARE(chart->parentWidget(), p.page.chart_P);
        QCOMPARE(chart->geometry(), QRect(QPoint(0, 0), p.page.chart_P->size()));
        QCOMPARE(chart->SeriesCount(), 8);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(chart->SeriesTitle(i), QStringLiteral("RTD %1").arg(i + 1));
            QCOMPARE(chart->SeriesColour(i), colours[i]);
            QCOMPARE(chart->LegendBox(i)->objectName(),
                     QStringLiteral("RTD_%1_%2").arg(c).arg(i + 1));
        }
        QCOMPARE(chart->LegendTitle(),
                 (QStringList{QStringLiteral("220 = Open"), QStringLiteral("230 = Short"),
                              QStringLiteral("240 = Error")}));
        QCOMPARE(chart->LeftTitle(), QStringLiteral("Temperature (Fahrenheit)"));
        QCOMPARE(chart->BottomTitle(), QStringLiteral("Minutes"));
        QCOMPARE(chart->LeftLabelSize(), 20);
        QCOMPARE(chart->Title(), QStringList{QString()});
        QVERIFY(chart->TitleVisible());
        QCOMPARE(chart->Margins(), QMargins(0, 5, 0, 5));
        QCOMPARE(chart->LeftMinimum(), 0.0);
        QCOMPARE(chart->LeftMaximum(), 5.0);
        QCOMPARE(chart->BottomMinimum(), 0.0);
        QCOMPARE(chart->BottomMaximum(), 1.0);
        QVERIFY(chart->isHidden());
    }
}

void TestPlotPage::okNeedsOneToEightTicks_data()
{
    QTest::addColumn<int>("ticked");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("none") << 0 << false;
    QTest::newRow("one") << 1 << true;
    QTest::newRow("eight") << 8 << true;
    QTest::newRow("nine") << 9 << false;
}

void TestPlotPage::okNeedsOneToEightTicks()
{
    QFETCH(int, ticked);
    Page p({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    for (int m = 1; m <= ticked; ++m)
        p.Item(m)->setCheckState(Qt::Checked);
    QTEST(p.page.Start_B->isEnabled(), "enabled");
}

void TestPlotPage::spaceTicksAnItem()
{
    Page p({4, 6});
    p.page.ListBox1->setFocus();
    p.page.ListBox1->setCurrentRow(1);
    QTest::keyClick(p.page.ListBox1, Qt::Key_Space);
    QCOMPARE(p.Item(6)->checkState(), Qt::Checked);
    QVERIFY(p.page.Start_B->isEnabled());
    QTest::keyClick(p.page.ListBox1, Qt::Key_Space);
    QCOMPARE(p.Item(6)->checkState(), Qt::Unchecked);
    QVERIFY(!p.page.Start_B->isEnabled());

    // A screen reader finds a checkable item, named after its module.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(p.page.ListBox1);
    QVERIFY(list);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Select up to 8 modules"));
}

void TestPlotPage::listFillsFourColumns()
{
    QList<int> forty;
    for (int m = 1; m <= 40; ++m)
        forty << m;
    Page p(forty);
    // 17 items of 21 pixels fill the 360-pixel column, top to bottom; the
    // 18th starts the next of four columns a quarter of the width across.
    const QRect first = p.page.ListBox1->visualItemRect(p.Item(1));
    const QRect second = p.page.ListBox1->visualItemRect(p.Item(2));
    const QRect eighteenth = p.page.ListBox1->visualItemRect(p.Item(18));
    const QRect last = p.page.ListBox1->visualItemRect(p.Item(40));
    QCOMPARE(second.top(), first.top() + 21);
    QCOMPARE(second.left(), first.left());
    QCOMPARE(eighteenth.top(), first.top());
    const int quarter = p.page.ListBox1->viewport()->width() / 4;
    QVERIFY2(qAbs(eighteenth.left() - first.left() - quarter) <= 1,
             qPrintable(QStringLiteral("%1 %2").arg(eighteenth.left()).arg(quarter)));
    QVERIFY(p.page.ListBox1->viewport()->rect().contains(last));
}

void TestPlotPage::ticksInAnyOrderChartModulesInListOrder()
{
    Page p({2, 5, 9});
    p.Tick({5});
    p.Tick({2});
    p.Tick({9});
    p.page.Start_B->click();
    QCOMPARE(dump(p.page), QStringLiteral("Module 2,Module 5,Module 9"));
    QCOMPARE(p.page.chart_of_module[2], 1);
    QCOMPARE(p.page.chart_of_module[5], 2);
    QCOMPARE(p.page.chart_of_module[9], 3);
    QCOMPARE(p.page.chart_of_module[0], 0);
    QCOMPARE(p.page.chart_of_module[64], 0);
    QVERIFY(p.page.plotting);
    QVERIFY(p.page.module_selection_P->isHidden());
    QCOMPARE(p.page.start_ticks, 5000u);
    QCOMPARE(p.page.modules_CB->currentIndex(), 0);
    QVERIFY(p.page.Chart1->isVisible());
    for (int c = 2; c <= 8; ++c)
        QVERIFY(p.page.Chart(c)->isHidden());

    p.page.modules_CB->setCurrentIndex(2);
    p.page.modules_CBChange();
    QVERIFY(p.page.Chart3->isVisible());
    QVERIFY(p.page.Chart1->isHidden());

    // Each module's readings reach its own chart.
    p.At(30000);
    p.page.Plot_Readings(9, Texts({"1.0"}));
    p.page.Plot_Readings(2, Texts({"2.0"}));
    QCOMPARE(p.page.Chart3->Point(0, 0).y, 1.0);
    QCOMPARE(p.page.Chart1->Point(0, 0).y, 2.0);
    QCOMPARE(p.page.Chart2->PointCount(0), 0);
}

void TestPlotPage::readingsBecomePointsOnTheirChart()
{
    Page p;
    p.Start({5});
    p.At(90500); // 90 whole seconds: 1.5 minutes
    p.page.Plot_Readings(5, Texts({"23.4", "Op", "Sh", "ERROR", "-3.2", "12.0", "----", ""}));
    ChartWidget *chart = p.page.Chart1;
    QCOMPARE(chart->Title(), QStringList{QStringLiteral("Module 5")});
    QCOMPARE(chart->BottomMaximum(), 1.5);
    QCOMPARE(p.page.bottom_max_SE->Max(), 1.5);
    QCOMPARE(p.page.bottom_min_SE->Max(), 1.5);
    const double ys[6] = {23.4f, 220, 230, 240, -3.2f, 12};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(chart->PointCount(i), 1);
        QCOMPARE(chart->Point(i, 0).x, 1.5);
        QCOMPARE(chart->Point(i, 0).y, ys[i]);
        QCOMPARE(chart->Point(i, 0).colour, p.page.series_colours[size_t(i)]);
    }
    QCOMPARE(chart->PointCount(6), 0);
    QCOMPARE(chart->PointCount(7), 0);
}

void TestPlotPage::gapLeavesNoVisibleLine()
{
    Page p;
    p.Start({2});
    p.page.auto_scale_CB->setChecked(false);
    // Input 3 (blue) at 10 from minute 0 to 3, not read at minute 1.
    const char *input3[4] = {"10.0", "----", "10.0", "10.0"};
    for (int k = 0; k < 4; ++k) {
        p.At(quint32(k) * 60000);
        p.page.Plot_Readings(2, Texts({"----", "----", input3[k]}));
    }
    ChartWidget *chart = p.page.Chart1;
    QCOMPARE(chart->PointCount(2), 3);
    QCOMPARE(chart->Point(2, 0).colour, kBlue);
    QCOMPARE(chart->Point(2, 1).colour, kWhite); // the first point after the gap
    QCOMPARE(chart->Point(2, 1).x, 2.0);
    QCOMPARE(chart->Point(2, 2).colour, kBlue); // joined again
    QVERIFY(p.page.joined[2][3]);

    chart->SetLeftMinimum(0);
    chart->SetLeftMaximum(20);
    QImage image(chart->size(), QImage::Format_RGB32);
    chart->render(&image);
    const QRect plot = chart->PlotRect();
    const AxisScale x(0, 3, plot.left(), plot.right());
    const AxisScale y(0, 20, plot.bottom(), plot.top());
    const int row = int(y.Pixel(10));
    const int x0 = int(x.Pixel(0));
    const int x2 = int(x.Pixel(2));
    const int x3 = int(x.Pixel(3));
    const QRect band(0, row - 1, 1, 3);
    QCOMPARE(CountColour(image, band.adjusted(x0 + 2, 0, x2 - 2, 0), kBlue), 0);
    QVERIFY(CountColour(image, band.adjusted(x2 + 2, 0, x3 - 2, 0), kBlue) > 0);
}

// The metering gives an empty text for a unit it does not know: no point,
// and the line goes on from the last point.
void TestPlotPage::emptyTextAddsNoPointAndNoGap()
{
    Page p;
    p.Start({2});
    const char *texts[3] = {"5.0", "", "6.0"};
    for (int k = 0; k < 3; ++k) {
        p.At(quint32(k) * 1000);
        p.page.Plot_Readings(2, Texts({texts[k]}));
    }
    QCOMPARE(p.page.Chart1->PointCount(0), 2);
    QCOMPARE(p.page.Chart1->Point(0, 1).colour, kRed);
}

void TestPlotPage::allDashesMoveTitleAndTimeButAddNoPoint()
{
    Page p;
    p.Start({9});
    p.At(120000);
    p.page.Plot_Readings(9, All("----"));
    QCOMPARE(p.page.Chart1->Title(), QStringList{QStringLiteral("Module 9")});
    QCOMPARE(p.page.Chart1->BottomMaximum(), 2.0);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(p.page.Chart1->PointCount(i), 0);
    for (int i = 1; i <= 8; ++i)
        QVERIFY(!p.page.joined[9][size_t(i)]);
}

// The steps of auto-scaling are AutoScaleAxis's (tst_plotarithmetic). The
// page adds that every point of a reading widens its own chart's axis and
// no other's, and that the temperature fields are limited to the result:
// a typed 100 becomes 30.
void TestPlotPage::autoScaleWidensItsChartAndLimitsTheFields()
{
    Page p;
    p.Start({2, 5});
    p.page.Plot_Readings(2, Texts({"25.0", "-3.2"}));
    QCOMPARE(p.page.Chart1->LeftMinimum(), -5.0);
    QCOMPARE(p.page.Chart1->LeftMaximum(), 30.0);
    QCOMPARE(p.page.Chart2->LeftMinimum(), 0.0);
    QCOMPARE(p.page.Chart2->LeftMaximum(), 5.0);
    for (const TQMSpinEdit *edit : {p.page.temp_max_SE, p.page.temp_min_SE}) {
        QCOMPARE(edit->Min(), -5.0);
        QCOMPARE(edit->Max(), 30.0);
    }
    p.page.auto_scale_CB->setChecked(false);
    p.page.temp_max_SE->TextBox()->setText(QStringLiteral("100"));
    p.page.temp_max_SE->KeyPressed(QChar(13));
    QCOMPARE(p.page.temp_max_SE->Value(), 30.0);
    p.page.temp_min_SE->TextBox()->setText(QStringLiteral("-60"));
    p.page.temp_min_SE->KeyPressed(QChar(13));
    QCOMPARE(p.page.temp_min_SE->Value(), -5.0);
}

void TestPlotPage::autoScaleOffKeepsTheTemperatureAxis()
{
    Page p;
    p.Start({2});
    QVERIFY(p.page.auto_scale_CB->isChecked());
    QVERIFY(p.page.axis_adjustment_P->isHidden());
    p.page.auto_scale_CB->setChecked(false);
    QVERIFY(p.page.axis_adjustment_P->isVisible());
    p.At(3000);
    p.page.Plot_Readings(2, Texts({"Op"}));
    QCOMPARE(p.page.Chart1->LeftMaximum(), 5.0);
    QCOMPARE(p.page.Chart1->LeftMinimum(), 0.0);
    QCOMPARE(p.page.Chart1->PointCount(0), 1);
    p.At(63000);
    p.page.Plot_Readings(2, Texts({"Op"}));
    QCOMPARE(p.page.Chart1->BottomMaximum(), double(63.0f / 60.0f));
    p.page.auto_scale_CB->setChecked(true);
    QVERIFY(p.page.axis_adjustment_P->isHidden());
}

void TestPlotPage::timeWindowFromTenMinutesReachesThePresent()
{
    Page p({2, 5});
    p.Start({2, 5});
    p.page.auto_scale_CB->setChecked(false);
    p.At(11 * 60000 + 30000);
    p.page.Plot_Readings(2, Texts({"20.0"}));
    TQMSpinEdit *timeMin = p.page.bottom_min_SE;
    TQMSpinEdit *timeMax = p.page.bottom_max_SE;
    timeMin->TextBox()->setText(QStringLiteral("10"));
    timeMin->EditExit();
    timeMax->TextBox()->setText(QStringLiteral("4"));
    timeMax->EditExit();
    QCOMPARE(timeMin->Value(), 10.0);
    QCOMPARE(timeMax->Value(), 4.0);

    p.page.ok_axis_B->click();
    QCOMPARE(timeMax->Value(), 11.0);
    QCOMPARE(timeMax->TextBox()->text(), QStringLiteral("11.0"));
    for (int c = 1; c <= 8; ++c) {
        QCOMPARE(p.page.Chart(c)->BottomMinimum(), 10.0);
        QCOMPARE(p.page.Chart(c)->BottomMaximum(), 11.0);
    }
    // The next reading moves its own chart's maximum to the present.
    p.At(12 * 60000);
    p.page.Plot_Readings(2, Texts({"20.0"}));
    QCOMPARE(p.page.Chart1->BottomMinimum(), 10.0);
    QCOMPARE(p.page.Chart1->BottomMaximum(), 12.0);
    QCOMPARE(p.page.Chart2->BottomMaximum(), 11.0);
}

void TestPlotPage::timeMinimumIsClampedToTheElapsedMinutes()
{
    Page p;
    p.Start({2});
    p.page.auto_scale_CB->setChecked(false);
    p.At(3 * 60000);
    p.page.Plot_Readings(2, Texts({"20.0"}));
    p.page.bottom_min_SE->TextBox()->setText(QStringLiteral("10"));
    p.page.bottom_min_SE->EditExit();
    QCOMPARE(p.page.bottom_min_SE->Value(), 3.0);
}

void TestPlotPage::reversedTemperatureLimitsAreNotApplied()
{
    Page p;
    p.Start({2});
    p.page.auto_scale_CB->setChecked(false);
    p.page.temp_min_SE->SetValue(50);
    p.page.temp_max_SE->SetValue(20);
    p.page.bottom_max_SE->SetValue(1);
    p.page.ok_axis_BClick();
    QCOMPARE(p.page.Chart1->LeftMinimum(), 0.0);
    QCOMPARE(p.page.Chart1->LeftMaximum(), 5.0);

    // A typed pair that was never committed counts when OK is pressed.
    p.page.temp_min_SE->TextBox()->setText(QStringLiteral("-10"));
    p.page.temp_min_SE->TextBox()->setModified(true);
    p.page.ok_axis_BClick();
    QCOMPARE(p.page.Chart3->LeftMinimum(), -10.0);
    QCOMPARE(p.page.Chart3->LeftMaximum(), 20.0);
}

// The four fields of the axis panel started at 0.0, so OK without typing
// set 0..0 on every chart, and the temperature fields took their limits
// from whichever chart auto-scaled last: a typed 90 became 65. They show
// the limits of the chart on view when the panel appears and when another
// chart comes on view, and take that chart's limits.
void TestPlotPage::axisFieldsSpeakOfTheChartOnView()
{
    Page p({2, 5});
    p.Start({2, 5});
    p.At(90000);
    p.page.Plot_Readings(2, Texts({"88.0"}));          // chart 1: 0..90
    p.page.Plot_Readings(5, Texts({"-12.0", "61.0"})); // chart 2: -15..65, read last
    TQMSpinEdit *tempMax = p.page.temp_max_SE;
    TQMSpinEdit *tempMin = p.page.temp_min_SE;
    TQMSpinEdit *timeMax = p.page.bottom_max_SE;
    TQMSpinEdit *timeMin = p.page.bottom_min_SE;
    const auto fields = [&] {
        return QList<double>{tempMin->Value(), tempMax->Value(), timeMin->Value(),
                             timeMax->Value()};
    };
    const auto typeInto = [](TQMSpinEdit *edit, const char *text) {
        edit->TextBox()->setText(QString::fromLatin1(text));
        edit->KeyPressed(QChar(13));
        return edit->Value();
    };

    p.page.auto_scale_CB->setChecked(false); // the panel appears on chart 1
    QCOMPARE(fields(), (QList<double>{0, 90, 0, 1.5}));
    QCOMPARE(tempMin->Min(), 0.0);
    QCOMPARE(tempMax->Max(), 90.0);

    p.page.modules_CB->setCurrentIndex(1);
    p.page.modules_CBChange();
    QCOMPARE(fields(), (QList<double>{-15, 65, 0, 1.5}));
    QCOMPARE(typeInto(tempMax, "100"), 65.0);

    p.page.modules_CB->setCurrentIndex(0);
    p.page.modules_CBChange();
    QCOMPARE(fields(), (QList<double>{0, 90, 0, 1.5}));
    QCOMPARE(typeInto(tempMax, "90"), 90.0);

    p.page.ok_axis_B->click(); // what the fields show is what the chart keeps
    QCOMPARE(p.page.Chart1->LeftMinimum(), 0.0);
    QCOMPARE(p.page.Chart1->LeftMaximum(), 90.0);
    QCOMPARE(p.page.Chart1->BottomMinimum(), 0.0);
    QCOMPARE(p.page.Chart1->BottomMaximum(), 1.5);
}

void TestPlotPage::tickWrapKeepsTimeGoingForward()
{
    Page p;
    p.now = 0xFFFFFFFFu - 29999u; // 30 s before the counter wraps
    p.Start({2});
    const quint32 later[3] = {0, 20000, 60000}; // the last two after the wrap
    for (const quint32 ms : later) {
        p.now = p.page.start_ticks + ms;
        p.page.Plot_Readings(2, Texts({"20.0"}));
    }
    QVERIFY(p.now < p.page.start_ticks);
    QCOMPARE(p.page.Chart1->PointCount(0), 3);
    QCOMPARE(p.page.Chart1->Point(0, 1).x, double(20.0f / 60.0f));
    QCOMPARE(p.page.Chart1->Point(0, 2).x, 1.0);
    QCOMPARE(p.page.Chart1->BottomMaximum(), 1.0);
}

void TestPlotPage::readingsAreDroppedWhileChoosingPrintingOrUncharted()
{
    Page p({2, 5, 9});
    p.page.Plot_Readings(2, All("20.0")); // still choosing
    p.Start({2});
    QCOMPARE(p.page.Chart1->PointCount(0), 0);

    p.page.Set_Printing(true);
    QVERIFY(p.page.printing);
    p.page.Plot_Readings(2, All("20.0"));
    QCOMPARE(p.page.Chart1->PointCount(0), 0);
    QCOMPARE(p.page.Chart1->Title(), QStringList{QString()});
    p.page.Set_Printing(false);

    p.page.Plot_Readings(5, All("20.0")); // active, not charted
    p.page.Plot_Readings(64, All("20.0"));
    p.page.Plot_Readings(0, All("20.0"));
    for (int c = 1; c <= 8; ++c)
        QCOMPARE(p.page.Chart(c)->PointCount(0), 0);
    p.page.Plot_Readings(2, All("20.0"));
    QCOMPARE(p.page.Chart1->PointCount(0), 1);
}

void TestPlotPage::selectingDifferentModulesKeepsTicksAndEmptiesCharts()
{
    Page p;
    p.Start({5, 9});
    p.At(60000);
    p.page.Plot_Readings(5, All("20.0"));
    p.page.Plot_Readings(9, All("30.0"));

    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("Yes")); });
    p.page.change_modules_B->click();
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Selecting New Modules"));
    QCOMPARE(seen->text, QStringLiteral("Selecting new modules will cause all currently plotted "
                                        "data to be erased.\nDo you wish to continue?"));

    QVERIFY(!p.page.plotting);
    QVERIFY(p.page.module_selection_P->isVisible());
    QCOMPARE(p.Item(5)->checkState(), Qt::Checked);
    QCOMPARE(p.Item(9)->checkState(), Qt::Checked);
    QCOMPARE(p.Item(2)->checkState(), Qt::Unchecked);
    QVERIFY(p.page.Start_B->isEnabled());
    QCOMPARE(p.page.modules_CB->count(), 0);
    for (int m = 0; m <= 64; ++m)
        QCOMPARE(p.page.chart_of_module[size_t(m)], 0);
    for (int c = 1; c <= 8; ++c) {
        QCOMPARE(p.page.Chart(c)->PointCount(0), 0);
        QCOMPARE(p.page.Chart(c)->BottomMaximum(), 1.0);
        QCOMPARE(p.page.Chart(c)->LeftTitle(), QStringLiteral("Temperature (Celsius)"));
    }
    p.page.Plot_Readings(5, All("20.0"));
    QCOMPARE(p.page.Chart1->PointCount(0), 0);
}

void TestPlotPage::answeringNoKeepsThePlot()
{
    Page p;
    p.Start({5});
    p.page.Plot_Readings(5, All("20.0"));
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("No")); });
    p.page.change_modules_BClick();
    QVERIFY(seen->seen);
    QVERIFY(p.page.plotting);
    QVERIFY(p.page.module_selection_P->isHidden());
    QCOMPARE(p.page.Chart1->PointCount(0), 1);
    QCOMPARE(dump(p.page), QStringLiteral("Module 5"));
}

void TestPlotPage::newStartOffersNoTicks()
{
    Page p;
    p.Start({2, 9});
    p.page.Plot_Readings(2, All("20.0"));
    p.Prepare({2, 5, 9});
    QVERIFY(!p.page.plotting);
    QVERIFY(p.page.module_selection_P->isVisible());
    for (int k = 0; k < p.page.ListBox1->count(); ++k)
        QCOMPARE(p.page.ListBox1->item(k)->checkState(), Qt::Unchecked);
    QVERIFY(!p.page.Start_B->isEnabled());
    QCOMPARE(p.page.Chart1->PointCount(0), 0);
    QCOMPARE(p.page.modules_CB->count(), 0);
}

void TestPlotPage::spinEditsAreShapedAndNamed()
{
    Page p;
    struct Expected
    {
        TQMSpinEdit *edit;
        QGroupBox *group;
        double min;
        double max;
        const char *name;
    };
    const Expected expected[4] = {
        {p.page.temp_max_SE, p.page.temp_GB, -70, 400, "Temperature Axis Maximum"},
        {p.page.temp_min_SE, p.page.temp_GB, -70, 400, "Temperature Axis Minimum"},
        {p.page.bottom_max_SE, p.page.time_GB, 0, 65536, "Time Axis Maximum"},
        {p.page.bottom_min_SE, p.page.time_GB, 0, 65536, "Time Axis Minimum"}};
    for (const Expected &e : expected) {
        QCOMPARE(e.edit->size(), QSize(70, 21));
        QCOMPARE(e.edit->parentWidget(), e.group);
        QCOMPARE(e.edit->Precision(), 1);
        QCOMPARE(e.edit->Increment(), 0.1);
        QCOMPARE(e.edit->Min(), e.min);
        QCOMPARE(e.edit->Max(), e.max);
        QCOMPARE(e.edit->TextBox()->accessibleName(), QString::fromLatin1(e.name));
    }
    QCOMPARE(p.page.temp_GB->title(), QStringLiteral("Temperature Axis"));
    QCOMPARE(p.page.time_GB->title(), QStringLiteral("Time Axis"));
    QCOMPARE(p.page.temp_max_L->buddy(), p.page.temp_max_SE);
    QCOMPARE(p.page.axis_adjustment_P->size(), QSize(412, 80));
    QCOMPARE(p.page.ok_axis_B->size(), QSize(70, 25));
    QCOMPARE(p.page.ok_axis_B->text(), QStringLiteral("OK"));
    QCOMPARE(p.page.Button1->text(), QStringLiteral("Print Chart"));
    QCOMPARE(p.page.Button1->size(), QSize(130, 25));
    QCOMPARE(p.page.change_modules_B->text(), QStringLiteral("Select Different Modules"));
    QCOMPARE(p.page.change_modules_B->size(), QSize(130, 25));
    QCOMPARE(p.page.modules_CB->width(), 130);
    QCOMPARE(p.page.view_model_L->text(), QStringLiteral("Viewing Module:"));
    QCOMPARE(p.page.auto_scale_CB->text(), QStringLiteral("Auto-Scale Y-Axis"));
    // The keyboard walks the bottom panel in reading order.
    QCOMPARE(p.page.modules_CB->nextInFocusChain(), p.page.change_modules_B);
    QCOMPARE(p.page.temp_min_SE->TextBox()->nextInFocusChain(), p.page.bottom_max_SE->TextBox());
}

QTEST_MAIN(TestPlotPage)
#include "tst_plotpage.moc"

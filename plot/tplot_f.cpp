#include "plot/tplot_f.h"

#include "plot/chartwidget.h"
#include "widgets/fontfit.h"
#include "widgets/palette.h"
#include "widgets/tqmspinedit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr int kItemHeight = 21;
constexpr int kListColumns = 4;
constexpr int kAxisPanelHeight = 84;
// The selection list leaves this much of the page below it for its label
// and OK: 360 of the main window's 439.
constexpr int kBelowList = 79;

const QColor kGapColour{255, 255, 255};

// The temperature spin edits' limits until auto-scaling narrows them, and
// the time spin edits'.
constexpr double kTempLowest = -70;
constexpr double kTempHighest = 400;
constexpr double kTimeLowest = 0;
constexpr double kTimeHighest = 65536;

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                        const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setGeometry(geometry);
    return button;
}

QFrame *MakePanel(QWidget *parent, const char *name)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1StringView(name));
    SetBackground(panel, kSilver);
    return panel;
}

// One of the four axis limits: its label at the left of the group, the spin
// edit (70 x 21, one decimal, step 0.1) beside it. A screen reader names the
// spin edit after its group and label ("Temperature Axis Maximum").
TQMSpinEdit *MakeLimit(QGroupBox *group, const char *name, const char *labelName,
                       const QString &caption, int top, double min, double max, QLabel *&label)
{
    auto *spin = new TQMSpinEdit(group);
    spin->setObjectName(QLatin1StringView(name));
    spin->setGeometry(76, top, TQMSpinEdit::kDefaultWidth, TQMSpinEdit::kDefaultHeight);
    spin->SetPrecision(1);
    spin->SetIncrement(0.1);
    spin->SetMin(min);
    spin->SetMax(max);
    spin->SetValue(0);
    label = new QLabel(caption, group);
    label->setObjectName(QLatin1StringView(labelName));
    label->setGeometry(10, top, 60, TQMSpinEdit::kDefaultHeight);
    label->setBuddy(spin);
    const QString accessible = group->title() + QLatin1Char(' ') + caption;
    spin->setAccessibleName(accessible);
    spin->TextBox()->setAccessibleName(accessible);
    return spin;
}

} // namespace

TPlot_F::TPlot_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Plot_F1"));
    SetBackground(this, kMediumGrey);
    SetDialogFont(this);

    for (auto &row : joined)
        row.fill(true);
    m_temperatureLimits.fill({kTempLowest, kTempHighest});
    series_colours = {QColor(255, 0, 0),     QColor(0, 0, 0),    QColor(0, 0, 255),
                      QColor(128, 128, 128), QColor(0, 128, 0),  QColor(0, 255, 0),
                      QColor(255, 0, 255),   QColor(0, 128, 128)};

    buildCharts();
    buildAxisPanel();
    buildSelectionPanel();
    orderTabs();
    resize(786, 419);

    ListBox1ClickCheck();
    module_selection_P->raise();
    axis_adjustment_P->hide();
}

void TPlot_F::buildSelectionPanel()
{
    module_selection_P = MakePanel(this, "module_selection_P");

    ListBox1 = new QListWidget(module_selection_P);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    SetBackground(ListBox1, kSilver);
    // Four columns of items, filled top to bottom, then the next column.
    ListBox1->setFlow(QListView::TopToBottom);
    ListBox1->setWrapping(true);
    ListBox1->setResizeMode(QListView::Adjust);
    ListBox1->setUniformItemSizes(true);
    // Four columns of 17 in the main window's 360 pixels hold all 63
    // modules. Without this the list keeps room for a scroll bar it never
    // needs at the bottom of every column, and makes them 16 high.
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(ListBox1, &QListWidget::itemChanged, this, [this] { ListBox1ClickCheck(); });

    Label1 = new QLabel(QStringLiteral("Select up to 8 modules"), module_selection_P);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    ListBox1->setAccessibleName(Label1->text());

    Start_B = MakeButton(module_selection_P, "Start_B", QStringLiteral("OK"), {0, 0, 120, 25});
    connect(Start_B, &QPushButton::clicked, this, &TPlot_F::Start_BClick);
}

void TPlot_F::buildCharts()
{
    chart_P = new QFrame(this);
    chart_P->setObjectName(QStringLiteral("chart_P"));
    SetBackground(chart_P, kMediumGrey);

    const QStringList legendTitle{QStringLiteral("220 = Open"), QStringLiteral("230 = Short"),
                                  QStringLiteral("240 = Error")};
    for (int c = 1; c <= kPlotChartCount; ++c) {
        auto *chart = new ChartWidget(chart_P);
        chart->setObjectName(QStringLiteral("Chart%1").arg(c));
        for (int i = 1; i <= kInputCount; ++i) {
            const Result<int> series =
                chart->AddSeries(QStringLiteral("RTD %1").arg(i), series_colours[size_t(i - 1)]);
            if (series)
                chart->LegendBox(*series)->setObjectName(QStringLiteral("RTD_%1_%2").arg(c).arg(i));
        }
        chart->SetLegendTitle(legendTitle);
        chart->SetBottomTitle(QStringLiteral("Minutes"));
        chart->hide();
        m_charts[size_t(c - 1)] = chart;
    }
    Chart1 = m_charts[0];
    Chart2 = m_charts[1];
    Chart3 = m_charts[2];
    Chart4 = m_charts[3];
    Chart5 = m_charts[4];
    Chart6 = m_charts[5];
    Chart7 = m_charts[6];
    Chart8 = m_charts[7];
}

void TPlot_F::buildAxisPanel()
{
    axis_P = MakePanel(this, "axis_P");
    axis_P->setFrameShape(QFrame::Box);
    axis_P->setFrameShadow(QFrame::Plain);

    view_model_L = new QLabel(QStringLiteral("Viewing Module:"), axis_P);
    view_model_L->setObjectName(QStringLiteral("view_model_L"));
    view_model_L->setGeometry(10, 6, 130, 16);
    modules_CB = new QComboBox(axis_P);
    modules_CB->setObjectName(QStringLiteral("modules_CB"));
    modules_CB->setGeometry(10, 22, 130, 22);
    view_model_L->setBuddy(modules_CB);
    connect(modules_CB, &QComboBox::activated, this, [this] { modules_CBChange(); });

    auto_scale_CB = new QCheckBox(QStringLiteral("Auto-Scale Y-Axis"), axis_P);
    auto_scale_CB->setObjectName(QStringLiteral("auto_scale_CB"));
    auto_scale_CB->setGeometry(10, 54, 140, 20);
    auto_scale_CB->setChecked(true);
    connect(auto_scale_CB, &QCheckBox::toggled, this, &TPlot_F::auto_scale_CBClick);

    change_modules_B = MakeButton(axis_P, "change_modules_B",
                                  QStringLiteral("Select Different Modules"), {160, 12, 130, 25});
    connect(change_modules_B, &QPushButton::clicked, this, &TPlot_F::change_modules_BClick);
    // "Select Different Modules" is wider than 130 pixels leave for it in a
    // wide system font.
    change_modules_B->setFont(FontToFit(change_modules_B->font(), {change_modules_B->text()},
                                        CaptionRoom(change_modules_B)));
    Button1 = MakeButton(axis_P, "Button1", QStringLiteral("Print Chart"), {160, 46, 130, 25});

    axis_adjustment_P = MakePanel(axis_P, "axis_adjustment_P");
    axis_adjustment_P->resize(412, 80);

    temp_GB = new QGroupBox(QStringLiteral("Temperature Axis"), axis_adjustment_P);
    temp_GB->setObjectName(QStringLiteral("temp_GB"));
    temp_GB->setGeometry(4, 2, 160, 76);
    temp_max_SE = MakeLimit(temp_GB, "temp_max_SE", "temp_max_L", QStringLiteral("Maximum"), 20,
                            kTempLowest, kTempHighest, temp_max_L);
    temp_min_SE = MakeLimit(temp_GB, "temp_min_SE", "temp_min_L", QStringLiteral("Minimum"), 47,
                            kTempLowest, kTempHighest, temp_min_L);

    time_GB = new QGroupBox(QStringLiteral("Time Axis"), axis_adjustment_P);
    time_GB->setObjectName(QStringLiteral("time_GB"));
    time_GB->setGeometry(170, 2, 160, 76);
    bottom_max_SE = MakeLimit(time_GB, "bottom_max_SE", "bottom_max_L", QStringLiteral("Maximum"),
                              20, kTimeLowest, kTimeHighest, bottom_max_L);
    bottom_min_SE = MakeLimit(time_GB, "bottom_min_SE", "bottom_min_L", QStringLiteral("Minimum"),
                              47, kTimeLowest, kTimeHighest, bottom_min_L);

    ok_axis_B = MakeButton(axis_adjustment_P, "ok_axis_B", QStringLiteral("OK"), {336, 28, 70, 25});
    connect(ok_axis_B, &QPushButton::clicked, this, &TPlot_F::ok_axis_BClick);
}

void TPlot_F::orderTabs()
{
    const QWidget *chain[] = {modules_CB,
                              change_modules_B,
                              Button1,
                              auto_scale_CB,
                              temp_max_SE->TextBox(),
                              temp_min_SE->TextBox(),
                              bottom_max_SE->TextBox(),
                              bottom_min_SE->TextBox(),
                              ok_axis_B};
    for (std::size_t k = 1; k < std::size(chain); ++k)
        QWidget::setTabOrder(const_cast<QWidget *>(chain[k - 1]), const_cast<QWidget *>(chain[k]));
    QWidget::setTabOrder(ListBox1, Start_B);
}

void TPlot_F::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOut();
}

// Every panel follows the page's size: the bottom panel keeps its height at
// the bottom, the charts take the rest, and the selection panel covers all.
void TPlot_F::LayOut()
{
    const int w = width();
    const int h = height();
    module_selection_P->setGeometry(0, 0, w, h);
    ListBox1->setGeometry(0, 0, w, std::max(kItemHeight, h - kBelowList));
    const int columnWidth =
        std::max(1, (ListBox1->width() - 2 * ListBox1->frameWidth()) / kListColumns);
    ListBox1->setGridSize(QSize(columnWidth, kItemHeight));
    Label1->setGeometry(0, ListBox1->geometry().bottom() + 9, w, 16);
    Start_B->move((w - Start_B->width()) / 2, Label1->geometry().bottom() + 9);

    axis_P->setGeometry(0, h - kAxisPanelHeight, w, kAxisPanelHeight);
    axis_adjustment_P->move(w - axis_adjustment_P->width() - 4, 2);
    chart_P->setGeometry(1, 0, w - 2, h - kAxisPanelHeight + 1);
    for (ChartWidget *chart : m_charts)
        chart->setGeometry(0, 0, chart_P->width(), chart_P->height());
}

ChartWidget *TPlot_F::Chart(int c) const
{
    return c >= 1 && c <= kPlotChartCount ? m_charts[size_t(c - 1)] : nullptr;
}

int TPlot_F::chartNumber(const ChartWidget *chart) const
{
    const auto found = std::find(m_charts.begin(), m_charts.end(), chart);
    return found == m_charts.end() ? 0 : int(found - m_charts.begin()) + 1;
}

void TPlot_F::Prepare_Plot(const std::array<int, kModuleCount + 1> &module_active,
                           const QString &unit)
{
    unit_name = unit;
    plotting = false;
    module_selection_P->show();
    module_selection_P->raise();
    chart_of_module.fill(0);
    for (ChartWidget *chart : m_charts)
        Reset_Chart(chart);
    modules_CB->clear();
    {
        const QSignalBlocker quiet(ListBox1);
        ListBox1->clear();
        for (int m = 1; m <= kModuleCount; ++m) {
            if (module_active[size_t(m)] != kMarkOn)
                continue;
            auto *item = new QListWidgetItem(ModuleItemText(m), ListBox1);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setSizeHint(QSize(ListBox1->gridSize().width(), kItemHeight));
        }
    }
    ListBox1ClickCheck();
}

void TPlot_F::Reset_Chart(ChartWidget *chart)
{
    chart->SetTitle({QString()});
    chart->SetTitleVisible(true);
    chart->SetTitleColour(Qt::black);
    chart->SetLeftLabelSize(20);
    chart->SetLeftTitle(QStringLiteral("Temperature (") + unit_name + QLatin1Char(')'));
    chart->SetBottomTitle(QStringLiteral("Minutes"));
    chart->SetLeftMaximum(5);
    chart->SetLeftMinimum(0);
    chart->SetBottomMaximum(1);
    chart->SetBottomMinimum(0);
    // Percent: left, top, right, bottom.
    chart->SetMargins(QMargins(0, 5, 0, 5));
    chart->ClearPoints();
    for (int i = 0; i < chart->SeriesCount() && i < kInputCount; ++i)
        chart->SetSeriesColour(i, series_colours[size_t(i)]);
    if (const int c = chartNumber(chart))
        m_temperatureLimits[size_t(c - 1)] = {kTempLowest, kTempHighest};
}

void TPlot_F::ListBox1ClickCheck()
{
    int checked = 0;
    for (int k = 0; k < ListBox1->count(); ++k)
        checked += ListBox1->item(k)->checkState() == Qt::Checked;
    Start_B->setEnabled(checked >= 1 && checked <= kPlotChartCount);
}

void TPlot_F::Start_BClick()
{
    chart_of_module.fill(0);
    modules_CB->clear();
    QList<int> modules;
    for (int k = 0; k < ListBox1->count(); ++k) {
        const QListWidgetItem *item = ListBox1->item(k);
        if (item->checkState() == Qt::Checked)
            modules << ModuleOfItemText(item->text());
    }
    chart_of_module = ChartsOfModules(modules);
    // The combo's item k names the module of chart k + 1.
    for (int m = 1; m <= kModuleCount; ++m) {
        const int c = chart_of_module[size_t(m)];
        if (c != 0)
            modules_CB->insertItem(c - 1, ModuleItemText(m));
    }

    start_ticks = TickCount();
    module_selection_P->hide();
    plotting = true;
    modules_CB->setCurrentIndex(0);
    modules_CBChange();
}

void TPlot_F::modules_CBChange()
{
    for (ChartWidget *chart : m_charts)
        chart->hide();
    if (ChartWidget *chart = Chart(modules_CB->currentIndex() + 1))
        chart->show();
    showAxisLimits();
}

void TPlot_F::showAxisLimits()
{
    const int c = modules_CB->currentIndex() + 1;
    const ChartWidget *chart = Chart(c);
    if (!chart)
        return;
    const AxisLimits limits = m_temperatureLimits[size_t(c - 1)];
    for (TQMSpinEdit *edit : {temp_max_SE, temp_min_SE}) {
        edit->SetMin(std::min(limits.min, chart->LeftMinimum()));
        edit->SetMax(std::max(limits.max, chart->LeftMaximum()));
    }
    for (TQMSpinEdit *edit : {bottom_max_SE, bottom_min_SE}) {
        if (edit->Max() < chart->BottomMaximum())
            edit->SetMax(chart->BottomMaximum());
    }
    if (auto_scale_CB->isChecked())
        return;
    temp_max_SE->SetValue(chart->LeftMaximum());
    temp_min_SE->SetValue(chart->LeftMinimum());
    bottom_max_SE->SetValue(chart->BottomMaximum());
    bottom_min_SE->SetValue(chart->BottomMinimum());
}

void TPlot_F::change_modules_BClick()
{
    QMessageBox ask(QMessageBox::NoIcon, QStringLiteral("Selecting New Modules"),
                    QStringLiteral("Selecting new modules will cause all currently plotted data "
                                   "to be erased.\nDo you wish to continue?"),
                    QMessageBox::Yes | QMessageBox::No);
    ask.setObjectName(QStringLiteral("Selecting_New_Modules"));
    if (ask.exec() != QMessageBox::Yes)
        return;

    module_selection_P->show();
    module_selection_P->raise();
    plotting = false;
    ListBox1ClickCheck();
    chart_of_module.fill(0);
    for (ChartWidget *chart : m_charts)
        Reset_Chart(chart);
    modules_CB->clear();
}

void TPlot_F::auto_scale_CBClick()
{
    axis_adjustment_P->setVisible(!auto_scale_CB->isChecked());
    showAxisLimits();
}

void TPlot_F::Plot_Readings(int m, const ReadingTexts &readings)
{
    if (!plotting || printing || m < 1 || m > kModuleCount)
        return;
    ChartWidget *chart = Chart(chart_of_module[size_t(m)]);
    if (!chart)
        return;
    chart->SetTitle({ModuleItemText(m)});
    chart->SetTitleVisible(true);

    const float x = ElapsedMinutes(start_ticks, TickCount());
    chart->SetBottomMaximum(x);
    bottom_max_SE->SetMax(x);
    bottom_min_SE->SetMax(x);

    for (int i = 1; i <= kInputCount; ++i) {
        const PlotValue value = PlotValueOf(readings[size_t(i - 1)]);
        bool &join = joined[size_t(m)][size_t(i)];
        switch (value.kind) {
        case PlotValue::Kind::Gap:
            join = false;
            break;
        case PlotValue::Kind::Point:
            Add_Point(chart, x, i, value.y, join);
            join = true;
            break;
        case PlotValue::Kind::Nothing:
            break;
        }
    }
}

void TPlot_F::Add_Point(ChartWidget *chart, float x, int i, double y, bool joined_point)
{
    const QColor colour = joined_point ? series_colours[size_t(i - 1)] : kGapColour;
    // x never goes back (whole seconds since OK) and y is a float: the chart
    // refuses neither, until a series holds 2^31 points.
    const Result<> added = chart->AddPoint(i - 1, x, y, colour);
    if (!added)
        qWarning("Plot point dropped: %s", qUtf8Printable(added.error()));
    if (auto_scale_CB->isChecked())
        Auto_Scale_Axis(chart, y);
}

void TPlot_F::Auto_Scale_Axis(ChartWidget *chart, double y)
{
    const AxisLimits axis = AutoScaleAxis({chart->LeftMinimum(), chart->LeftMaximum()}, y);
    chart->SetLeftMaximum(axis.max);
    chart->SetLeftMinimum(axis.min);
    const int c = chartNumber(chart);
    if (c == 0)
        return;
    m_temperatureLimits[size_t(c - 1)] = SpinLimitsOf(axis);
    // The spin edits follow the chart on view only.
    if (c == modules_CB->currentIndex() + 1)
        showAxisLimits();
}

void TPlot_F::ok_axis_BClick()
{
    // Text typed and not yet taken (OK reached by a key without leaving the
    // text box) counts, as it would on Enter.
    for (TQMSpinEdit *edit : {temp_max_SE, temp_min_SE, bottom_max_SE, bottom_min_SE}) {
        if (edit->TextBox()->isModified())
            edit->EditExit();
    }
    const AxisAdjustment a = AdjustAxes({temp_min_SE->Value(), temp_max_SE->Value(),
                                         bottom_min_SE->Value(), bottom_max_SE->Value()});
    if (a.timeMaxRaised)
        bottom_max_SE->SetValue(a.timeMax);
    // The chart takes its limits in either order, so each pair is set
    // directly.
    for (ChartWidget *chart : m_charts) {
        if (a.applyTemperature) {
            chart->SetLeftMinimum(temp_min_SE->Value());
            chart->SetLeftMaximum(temp_max_SE->Value());
        }
        if (a.applyTime) {
            chart->SetBottomMaximum(bottom_max_SE->Value());
            chart->SetBottomMinimum(bottom_min_SE->Value());
        }
    }
}

void TPlot_F::Set_Printing(bool on)
{
    printing = on;
}

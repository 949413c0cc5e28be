#pragma once

#include "modules/moduletable.h"
#include "modules/readingconversion.h"
#include "plot/plotarithmetic.h"

#include <QColor>
#include <QWidget>

#include <array>

class ChartWidget;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class TQMSpinEdit;

// The Temperature Plotting page: the readings of up to eight chosen modules
// against time, one chart a module, one line a input.
//
// The page has no timer and never touches the bus. The main window calls
// Prepare_Plot at every start of metering (the page returns to choosing and
// forgets all data) and the metering cycle calls Plot_Readings after every
// module read. While the user chooses (module_selection_P covers the page)
// and while Print Chart runs (printing), readings are dropped, not queued.
//
// Choosing: ListBox1 lists the active modules as check boxes "Module %i";
// OK (Start_B) is enabled for 1 to 8 ticked. OK gives the ticked modules
// charts 1, 2, ... in list order, which is ascending module order, fills
// modules_CB with them in the same order, takes the start time and shows
// chart 1.
//
// Plotting: each read of a charted module puts its title "Module %i" on its
// chart, moves the time axis maximum (and the upper limit of both time spin
// edits) to the minutes since OK, in whole seconds, and adds a point for each
// input: "Op", "Sh" and "ERROR" at 220, 230 and 240 (the legend title says
// so), numbers at their value. "----" adds no point but leaves the next
// point of that input unjoined: it is drawn white, so that the segment that
// bridges the gap is invisible on the white plot area. With auto_scale_CB
// ticked, every point may widen the temperature axis to the next multiple of
// 5 beyond it (AutoScaleAxis), and the limits of both temperature spin edits
// become that axis (each chart keeps its own; the spin edits take those of
// the chart on view). Unticked, axis_adjustment_P shows and its OK sets the
// axes of all eight charts by hand (AdjustAxes). The time window chosen by
// hand always reaches the present: the next reading moves its maximum again.
//
// The four spin edits speak of the chart on view: when the axis panel
// appears, and when another chart comes on view while it shows, they show
// that chart's axis limits, and the temperature pair takes that chart's
// limits (widened to its axis, so that the axis itself can be shown). OK
// without typing keeps the axes as they are.
//
// Time comes from TickCount, the system's 32-bit millisecond tick counter
// unless a test puts another clock there; a wrap of the counter during a run
// does not disturb the time axis.
//
// Print Chart (Button1) is handled by the main window
// (TMainF::Plot_F1Button1Click), which sets printing through Set_Printing
// around the print job.
class TPlot_F : public QWidget
{
    Q_OBJECT

public:
    explicit TPlot_F(QWidget *parent = nullptr);

    // Stores the unit name, returns to choosing, empties every chart and
    // the combo, and lists the modules whose module_active entry is 3, in
    // ascending order, none ticked.
    void Prepare_Plot(const std::array<int, kModuleCount + 1> &module_active, const QString &unit);
    // Adds up to eight points to the chart of module m (1..63), if it has
    // one and the page is plotting and not printing.
    void Plot_Readings(int m, const ReadingTexts &readings);
    void Set_Printing(bool on);

    // --- handlers -----------------------------------------------------------
    void ListBox1ClickCheck();
    void Start_BClick();
    void modules_CBChange();
    // Asks first, in a Yes/No box of its own (no owner window); on Yes, back
    // to choosing with the old ticks kept and every chart emptied.
    void change_modules_BClick();
    void auto_scale_CBClick();
    void ok_axis_BClick();

    // Empties a chart and puts back its titles, axes (0..5 and 0..1),
    // margins and series colours.
    void Reset_Chart(ChartWidget *chart);
    void Add_Point(ChartWidget *chart, float x, int i, double y, bool joined_point);
    void Auto_Scale_Axis(ChartWidget *chart, double y);

    // Chart c, 1..8; nullptr for any other number.
    ChartWidget *Chart(int c) const;

    // --- fields ---------------------------------------------------------------
    QString unit_name;
    bool plotting = false;
    bool printing = false;
    ChartOfModule chart_of_module{};
    // joined[m][i]: the next point of input i (1..8) of module m is joined to
    // the one before by a visible line. All true at first, never reset as a
    // whole. Column 0 is not used.
    std::array<std::array<bool, kInputCount + 1>, kModuleCount + 2> joined;
    quint32 start_ticks = 0;
    // "RTD 1" to "RTD 8": red, black, blue, gray, green, lime, fuchsia, teal.
    std::array<QColor, kInputCount> series_colours;
    // The millisecond tick counter.
    TickClock TickCount = SystemTickCount;

    // --- controls -------------------------------------------------------------
    QFrame *module_selection_P = nullptr;
    QListWidget *ListBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Start_B = nullptr;

    QFrame *chart_P = nullptr;
    ChartWidget *Chart1 = nullptr;
    ChartWidget *Chart2 = nullptr;
    ChartWidget *Chart3 = nullptr;
    ChartWidget *Chart4 = nullptr;
    ChartWidget *Chart5 = nullptr;
    ChartWidget *Chart6 = nullptr;
    ChartWidget *Chart7 = nullptr;
    ChartWidget *Chart8 = nullptr;

    QFrame *axis_P = nullptr;
    QLabel *view_model_L = nullptr;
    QComboBox *modules_CB = nullptr;
    QPushButton *change_modules_B = nullptr;
    QPushButton *Button1 = nullptr; // "Print Chart"
    QCheckBox *auto_scale_CB = nullptr;
    QFrame *axis_adjustment_P = nullptr;
    QGroupBox *temp_GB = nullptr;
    QLabel *temp_max_L = nullptr;
    TQMSpinEdit *temp_max_SE = nullptr;
    QLabel *temp_min_L = nullptr;
    TQMSpinEdit *temp_min_SE = nullptr;
    QGroupBox *time_GB = nullptr;
    QLabel *bottom_max_L = nullptr;
    TQMSpinEdit *bottom_max_SE = nullptr;
    QLabel *bottom_min_L = nullptr;
    TQMSpinEdit *bottom_min_SE = nullptr;
    QPushButton *ok_axis_B = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The spin edits' limits, and while the axis panel shows their values,
    // from the chart on view.
    void showAxisLimits();
    // The number (1..8) of a chart of this page; 0 for any other.
    int chartNumber(const ChartWidget *chart) const;
    void buildSelectionPanel();
    void buildCharts();
    void buildAxisPanel();
    void orderTabs();
    void LayOut();

    std::array<ChartWidget *, kPlotChartCount> m_charts{};
    // The temperature spin edits' limits of each chart: as auto-scaling last
    // set them, the design's -70..400 before it has.
    std::array<AxisLimits, kPlotChartCount> m_temperatureLimits{};
};

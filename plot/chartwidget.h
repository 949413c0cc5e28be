#pragma once

#include "plot/chartseries.h"
#include "result/result.h"

#include <QColor>
#include <QMargins>
#include <QPen>
#include <QStringList>
#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;

// One point of a series as the chart holds it: x in minutes and y as
// single-precision numbers, and the colour of the segment that ends there.
struct ChartPoint
{
    double x = 0;
    double y = 0;
    QColor colour;
};

// A two-dimensional line chart of up to eight series against time, drawn
// with QPainter: the chart of the Temperature Plotting page.
//
// What it shows, from the outside in: a silver (192, 192, 192) surround
// inside a black border; margins in percent of the chart's height (top,
// bottom) and width (left, right); a title of any number of lines, centred,
// in its own colour; the legend at the right, a white box with a title of
// any number of lines above one real QCheckBox per series, each named in its
// series colour with no symbol (unticking it hides the series); the plot
// area with a white back wall, grid lines at the labelled values, the left
// axis with its title written upwards and its labels in a column at least
// LeftLabelSize() pixels wide, the bottom axis with its title ("Minutes"
// unless set). Labels step by 1, 2 or 5 times a power of ten (AxisTicks).
//
// The axes show exactly the limits the program sets: nothing the chart does
// moves them, adding points included, and the mouse neither zooms nor
// pans. A limit pair whose maximum is not above its minimum is drawn as an
// axis without width (AxisScale). Setting a minimum above the current
// maximum is allowed, so limits may be set in either order.
//
// Every point carries its own colour, the colour of the line segment that
// ends at it, and segments are drawn in order, series after series, each
// over what came before: a white point after a gap draws a white segment
// that bridges the gap invisibly on the white back wall. Painting draws
// per pixel column only the points ChartSeries::VisiblePoints keeps, which
// gives the same pixels as drawing every segment, at a cost that follows
// the chart's width rather than the number of points. The lines it makes
// of them are the fewest that give those pixels: strokes inside a column
// joined, links between columns that their strokes cover left out, the
// rows of a stroke that later series paint over cut off, and the lines of
// a colour drawn together wherever their order does not show. They are
// kept until points, axes or the shown series change, and the series keep
// what their reduction found, so that a move of the time axis redoes
// little.
//
// Assistive technology reads the chart as a Chart whose name is its title
// (lines joined by blanks) and whose description lists every visible
// series that has points with its latest value ("RTD 1: 23.4, RTD 3:
// 220.0"); the legend boxes are ordinary check boxes.
//
// Printing: Paint() draws the whole chart, legend boxes included (through
// the widget style, as the check boxes draw themselves), laid out for any
// rectangle on any painter, in vectors on a vector device. QWidget::render()
// of the chart, or of a page holding it, works too: the chart paints its
// body through the painter it is given and the check boxes paint
// themselves.
class ChartWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxSeries = 8;

    explicit ChartWidget(QWidget *parent = nullptr);
    ~ChartWidget() override;

    // Series, numbered from 0 in the order they were added. The title is the
    // legend's text; the colour that of the legend text only (every point
    // brings its own). Fails beyond kMaxSeries.
    Result<int> AddSeries(const QString &title, const QColor &colour);
    int SeriesCount() const { return int(m_series.size()); }
    QString SeriesTitle(int series) const;
    QColor SeriesColour(int series) const;
    void SetSeriesColour(int series, const QColor &colour);
    // The legend box's tick: setting one sets the other.
    bool SeriesVisible(int series) const;
    void SetSeriesVisible(int series, bool visible);
    QCheckBox *LegendBox(int series) const;

    // Adds the point (x minutes, y) drawn in `colour` (its alpha is ignored)
    // to the end of a series. Fails, adding nothing, for a series that does
    // not exist and for what ChartSeries::Append refuses (x before the
    // series' last x, a value that is not a finite single-precision number).
    Result<> AddPoint(int series, double x, double y, const QColor &colour);
    // Removes every point of every series; all else stays.
    void ClearPoints();
    int PointCount(int series) const;
    // Point i (0 .. PointCount - 1) of a series.
    ChartPoint Point(int series, int i) const;
    const ChartSeries &SeriesPoints(int series) const;

    double LeftMinimum() const { return m_leftMin; }
    double LeftMaximum() const { return m_leftMax; }
    double BottomMinimum() const { return m_bottomMin; }
    double BottomMaximum() const { return m_bottomMax; }
    void SetLeftMinimum(double value);
    void SetLeftMaximum(double value);
    void SetBottomMinimum(double value);
    void SetBottomMaximum(double value);

    QString LeftTitle() const { return m_leftTitle; }
    void SetLeftTitle(const QString &title);
    QString BottomTitle() const { return m_bottomTitle; }
    void SetBottomTitle(const QString &title);
    // The least width in pixels of the column of left axis labels; wider
    // labels widen it.
    int LeftLabelSize() const { return m_leftLabelSize; }
    void SetLeftLabelSize(int pixels);

    QStringList Title() const { return m_title; }
    // Each entry is a line; an empty line still takes its height.
    void SetTitle(const QStringList &lines);
    bool TitleVisible() const { return m_titleVisible; }
    void SetTitleVisible(bool visible);
    QColor TitleColour() const { return m_titleColour; }
    void SetTitleColour(const QColor &colour);

    QStringList LegendTitle() const { return m_legendTitle; }
    void SetLegendTitle(const QStringList &lines);

    // Percent of the chart's width (left, right) and height (top, bottom).
    QMargins Margins() const { return m_margins; }
    void SetMargins(const QMargins &percent);

    // Where the plot area lies when the chart fills `rect`: the pixels the
    // series are drawn on, inside the axis lines. The left minimum lands on
    // the bottom row, the bottom minimum on the left column.
    QRect PlotRect(const QRect &rect) const;
    QRect PlotRect() const { return PlotRect(rect()); }

    // Draws the whole chart laid out to fill `rect` (in the painter's
    // coordinates), legend boxes included, as it appears on screen at that
    // size. The painter's state is left as it was.
    void Paint(QPainter &painter, const QRect &rect) const;

    QSize sizeHint() const override { return {784, 356}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The lines that draw a series, in drawing order, with what they were
    // made for: a repaint of unchanged points on unchanged axes draws them
    // again without reducing the series anew.
    struct Drawn
    {
        quint64 revision = ~quint64(0);
        QRect plot;
        double limits[4] = {};
        std::vector<QLine> lines;
        std::vector<std::pair<QPen, std::size_t>> batches; // pen, end in lines
        qint64 strokeRows = 0; // the rows of its vertical lines in the plot area
        // The same less what later series paint over (see Uncover), when
        // they paint over any of it (`cut`).
        bool cut = false;
        std::vector<QLine> shown;
        std::vector<std::pair<QPen, std::size_t>> shownBatches;
    };

    // Rows of a pixel column that series paint: stretches from .. to,
    // apart and in order (for Uncover).
    struct PaintedRows
    {
        std::array<std::pair<int, int>, 6> rows;
        int count = 0;
    };
    // Hands the stretches of the rows top .. bottom that `painted` does
    // not hold to keep(from, to); adds the rows top .. bottom to `painted`.
    template <typename Keep>
    static void Uncovered(int top, int bottom, const PaintedRows &painted, Keep keep);
    static void Cover(int top, int bottom, PaintedRows &painted);
    struct Series
    {
        QString title;
        QColor colour;
        ChartSeries points;
        QCheckBox *box = nullptr;
        mutable Drawn drawn;
    };
    struct Layout;

    Layout LayOut(const QRect &rect) const;
    void PaintChart(QPainter &painter, const QRect &rect, bool withBoxes) const;
    // Draws the series whose boxes are ticked, lining up those whose points
    // or axes changed.
    void PaintSeries(QPainter &painter, const QRect &plot) const;
    // Fills drawn.shown of the series `shown` (a bit each) from its lines.
    void Uncover(const QRect &plot, quint32 shown) const;
    // Fills series.drawn for the plot area and the current limits.
    void LineUp(const Series &series, const QRect &plot) const;
    // Puts m_segments into d's lines and batches, segments of one colour
    // together where the order does not show.
    void Batch(Drawn &d, const QRect &plot) const;
    // Puts the legend boxes where the layout wants them, after any change
    // of size, font, titles or series.
    void PlaceLegend();
    bool ValidSeries(int series) const { return series >= 0 && series < SeriesCount(); }
    void TellAssistiveTechnology(int event) const;

    std::vector<Series> m_series;
    double m_leftMin = 0;
    double m_leftMax = 5;
    double m_bottomMin = 0;
    double m_bottomMax = 1;
    QString m_leftTitle;
    QString m_bottomTitle = QStringLiteral("Minutes");
    int m_leftLabelSize = 0;
    QStringList m_title;
    bool m_titleVisible = true;
    QColor m_titleColour = Qt::black;
    QStringList m_legendTitle;
    QMargins m_margins{0, 5, 0, 5};
    // The reduction's output, kept to save an allocation per series and
    // paint.
    mutable std::vector<KeptPoint> m_kept;
    // LineUp's segments in drawing order, and what Batch needs to group
    // them: the layers drawn in each pixel column, where each layer's
    // segments begin in m_layered, and the colours of one layer.
    struct Segment
    {
        QLine line;
        ChartRgb rgb;
        int layer = 0;
    };
    mutable std::vector<Segment> m_segments;
    struct ColumnLayers
    {
        int top = -1;                  // the highest layer drawn in the column
        int others = -1;               // the highest layer of colours other than topRgb
        ChartRgb topRgb = 0xffffffffu; // none yet
    };
    mutable std::vector<ColumnLayers> m_columns;
    mutable std::vector<std::size_t> m_layerStart;
    mutable std::vector<quint32> m_layered;
    mutable std::vector<ChartRgb> m_layerColours;
    // What Uncover worked on: the series shown (a bit each), the plot area,
    // and per pixel column the rows that later series paint.
    mutable quint32 m_uncovered = 0;
    mutable QRect m_uncoveredPlot;
    mutable std::vector<PaintedRows> m_covered;
};

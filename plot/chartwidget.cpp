#include "plot/chartwidget.h"

#include "widgets/palette.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

constexpr int kPad = 4;          // between the chart's parts
constexpr int kTick = 4;         // length of an axis tick
constexpr int kLegendGap = 8;    // between the plot area and the legend
constexpr double kFar = 1 << 20; // segments are cut this far outside the plot area

class AccessibleChart : public QAccessibleWidget
{
public:
    explicit AccessibleChart(ChartWidget *chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString title = chart()->Title().join(QLatin1Char(' ')).trimmed();
            if (!title.isEmpty())
                return title;
        }
        if (t == QAccessible::Description)
            return Summary();
        return QAccessibleWidget::text(t);
    }

private:
    ChartWidget *chart() const { return static_cast<ChartWidget *>(widget()); }

    // "RTD 1: 23.4, RTD 3: 220.0": the visible series that have points, with
    // their latest values, written as the readings are, with one decimal.
    QString Summary() const
    {
        QStringList parts;
        const ChartWidget *c = chart();
        for (int s = 0; s < c->SeriesCount(); ++s) {
            const int count = c->PointCount(s);
            if (!c->SeriesVisible(s) || count == 0)
                continue;
            parts << QStringLiteral("%1: %2").arg(
                c->SeriesTitle(s), QString::number(c->Point(s, count - 1).y, 'f', 1));
        }
        return parts.join(QStringLiteral(", "));
    }
};

QAccessibleInterface *chartFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("ChartWidget") && object && object->isWidgetType())
        return new AccessibleChart(static_cast<ChartWidget *>(object));
    return nullptr;
}

} // namespace

struct ChartWidget::Layout
{
    QRect title;
    QRect plot; // the pixels the series are drawn on; the axis lines lie around it
    QRect legend;
    std::vector<QRect> boxes; // per series; empty where a box does not fit
    AxisTicks left;
    AxisTicks bottom;
    QRect leftLabels;
    QRect leftTitle;
    int bottomLabelTop = 0;
    QRect bottomTitle;
    int line = 0;
};

ChartWidget::ChartWidget(QWidget *parent) : QWidget(parent)
{
    static const bool registered = (QAccessible::installFactory(chartFactory), true);
    Q_UNUSED(registered);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ChartWidget::~ChartWidget() = default;

Result<int> ChartWidget::AddSeries(const QString &title, const QColor &colour)
{
    if (SeriesCount() == kMaxSeries)
        return Fail(QStringLiteral("A chart holds at most %1 series.").arg(kMaxSeries));
    Series series;
    series.title = title;
    series.box = new QCheckBox(title, this);
    series.box->setChecked(true);
    connect(series.box, &QCheckBox::toggled, this, [this] {
        update();
        TellAssistiveTechnology(QAccessible::DescriptionChanged);
    });
    m_series.push_back(std::move(series));
    const int index = SeriesCount() - 1;
    SetSeriesColour(index, colour);
    PlaceLegend();
    update();
    return index;
}

QString ChartWidget::SeriesTitle(int series) const
{
    return ValidSeries(series) ? m_series[series].title : QString();
}

QColor ChartWidget::SeriesColour(int series) const
{
    return ValidSeries(series) ? m_series[series].colour : QColor();
}

void ChartWidget::SetSeriesColour(int series, const QColor &colour)
{
    if (!ValidSeries(series))
        return;
    Series &s = m_series[series];
    s.colour = colour;
    // The box writes its text in WindowText, in every state.
    QPalette palette = s.box->palette();
    palette.setColor(QPalette::WindowText, colour);
    s.box->setPalette(palette);
}

bool ChartWidget::SeriesVisible(int series) const
{
    return ValidSeries(series) && m_series[series].box->isChecked();
}

void ChartWidget::SetSeriesVisible(int series, bool visible)
{
    if (ValidSeries(series))
        m_series[series].box->setChecked(visible);
}

QCheckBox *ChartWidget::LegendBox(int series) const
{
    return ValidSeries(series) ? m_series[series].box : nullptr;
}

Result<> ChartWidget::AddPoint(int series, double x, double y, const QColor &colour)
{
    if (!ValidSeries(series))
        return Fail(QStringLiteral("The chart has no series %1.").arg(series));
    const Result<> added = m_series[series].points.Append(x, y, colour.rgb() & 0xffffff);
    if (added) {
        update();
        TellAssistiveTechnology(QAccessible::DescriptionChanged);
    }
    return added;
}

void ChartWidget::ClearPoints()
{
    for (Series &s : m_series)
        s.points.Clear();
    update();
    TellAssistiveTechnology(QAccessible::DescriptionChanged);
}

int ChartWidget::PointCount(int series) const
{
    return ValidSeries(series) ? int(m_series[series].points.Count()) : 0;
}

ChartPoint ChartWidget::Point(int series, int i) const
{
    if (i < 0 || i >= PointCount(series))
        return {};
    const ChartSeries &points = m_series[series].points;
    return {points.X(i), points.Y(i), QColor::fromRgb(points.Rgb(i))};
}

const ChartSeries &ChartWidget::SeriesPoints(int series) const
{
    static const ChartSeries none;
    return ValidSeries(series) ? m_series[series].points : none;
}

void ChartWidget::SetLeftMinimum(double value)
{
    m_leftMin = value;
    update();
}

void ChartWidget::SetLeftMaximum(double value)
{
    m_leftMax = value;
    update();
}

void ChartWidget::SetBottomMinimum(double value)
{
    m_bottomMin = value;
    update();
}

void ChartWidget::SetBottomMaximum(double value)
{
    m_bottomMax = value;
    update();
}

void ChartWidget::SetLeftTitle(const QString &title)
{
    m_leftTitle = title;
    update();
}

void ChartWidget::SetBottomTitle(const QString &title)
{
    m_bottomTitle = title;
    update();
}

void ChartWidget::SetLeftLabelSize(int pixels)
{
    m_leftLabelSize = std::max(0, pixels);
    update();
}

void ChartWidget::SetTitle(const QStringList &lines)
{
    m_title = lines;
    PlaceLegend();
    update();
    TellAssistiveTechnology(QAccessible::NameChanged);
}

void ChartWidget::SetTitleVisible(bool visible)
{
    m_titleVisible = visible;
    PlaceLegend();
    update();
}

void ChartWidget::SetTitleColour(const QColor &colour)
{
    m_titleColour = colour;
    update();
}

void ChartWidget::SetLegendTitle(const QStringList &lines)
{
    m_legendTitle = lines;
    PlaceLegend();
    update();
}

void ChartWidget::SetMargins(const QMargins &percent)
{
    m_margins = percent;
    PlaceLegend();
    update();
}

ChartWidget::Layout ChartWidget::LayOut(const QRect &rect) const
{
    Layout l;
    const QFontMetrics fm(font());
    l.line = fm.height();
    const int line = l.line;

    // Inside the border, the margins and a little air.
    const QRect inner = rect.adjusted(1 + rect.width() * m_margins.left() / 100 + kPad,
                                      1 + rect.height() * m_margins.top() / 100 + kPad,
                                      -(1 + rect.width() * m_margins.right() / 100 + kPad),
                                      -(1 + rect.height() * m_margins.bottom() / 100 + kPad));
    int top = inner.top();
    if (m_titleVisible && !m_title.isEmpty()) {
        l.title = QRect(inner.left(), top, inner.width(), int(m_title.size()) * line);
        top = l.title.bottom() + 1 + kPad;
    }

    // The legend: its title lines, then a box a series.
    int legendWidth = 0;
    for (const QString &text : m_legendTitle)
        legendWidth = std::max(legendWidth, fm.horizontalAdvance(text));
    int boxHeight = line;
    for (const Series &s : m_series) {
        const QSize hint = s.box->sizeHint();
        legendWidth = std::max(legendWidth, hint.width());
        boxHeight = std::max(boxHeight, hint.height());
    }
    int right = inner.right();
    if (!m_series.empty() || !m_legendTitle.isEmpty()) {
        legendWidth += 2 * kPad;
        const int titleHeight =
            m_legendTitle.isEmpty() ? 0 : int(m_legendTitle.size()) * line + kPad;
        const int height = kPad + titleHeight + SeriesCount() * boxHeight + kPad;
        l.legend = QRect(inner.right() + 1 - legendWidth, top, legendWidth, height);
        int y = l.legend.top() + kPad + titleHeight;
        for (int s = 0; s < SeriesCount(); ++s, y += boxHeight) {
            const QRect box(l.legend.left() + kPad, y, legendWidth - 2 * kPad, boxHeight);
            l.boxes.push_back(box.bottom() < rect.bottom() ? box : QRect());
        }
        right = l.legend.left() - kLegendGap;
    }

    // Rows: half a label above the plot area (the top label is centred on
    // its edge), and below it the ticks, the labels and the axis title.
    const int plotTop = top + line / 2 + 1;
    int bottom = inner.bottom();
    const int bottomTitleTop = bottom - line + 1;
    if (!m_bottomTitle.isEmpty())
        bottom -= line;
    l.bottomLabelTop = bottom - line + 1;
    bottom -= line + kTick + 1;
    const int plotBottom = bottom - 1;
    const int plotHeight = plotBottom - plotTop + 1;

    // Columns: the left title written upwards, the labels, the ticks.
    l.left = ChooseAxisTicks(m_leftMin, m_leftMax, plotHeight - 1, 1.5 * line);
    int labelWidth = m_leftLabelSize;
    for (const double v : l.left.values)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(AxisTickLabel(v, l.left.decimals)));
    int left = inner.left();
    if (!m_leftTitle.isEmpty()) {
        l.leftTitle = QRect(left, plotTop, line, plotHeight);
        left += line + kPad;
    }
    l.leftLabels = QRect(left, plotTop, labelWidth, plotHeight);
    left += labelWidth + 2 + kTick + 1;
    const int plotLeft = left + 1;

    // Bottom labels at least two lines' height apart beyond the widest; the
    // last one is centred on the right edge and must clear the legend.
    const auto bottomTicks = [&](int pixels) {
        const AxisTicks rough = ChooseAxisTicks(m_bottomMin, m_bottomMax, pixels, 4 * line);
        int widest = 0;
        for (const double v : rough.values)
            widest = std::max(widest, fm.horizontalAdvance(AxisTickLabel(v, rough.decimals)));
        return std::pair{ChooseAxisTicks(m_bottomMin, m_bottomMax, pixels, widest + 2 * line),
                         widest};
    };
    int plotRight = right - 2;
    const int widest = bottomTicks(plotRight - plotLeft).second;
    plotRight = std::min(plotRight, right - widest / 2 - 1);
    l.bottom = bottomTicks(plotRight - plotLeft).first;

    l.plot = QRect(QPoint(plotLeft, plotTop), QPoint(plotRight, plotBottom));
    if (!m_bottomTitle.isEmpty())
        l.bottomTitle = QRect(l.plot.left(), bottomTitleTop, l.plot.width(), line);
    return l;
}

QRect ChartWidget::PlotRect(const QRect &rect) const
{
    return LayOut(rect).plot;
}

void ChartWidget::Paint(QPainter &painter, const QRect &rect) const
{
    PaintChart(painter, rect, true);
}

void ChartWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PaintChart(painter, rect(), false);
}

void ChartWidget::PaintChart(QPainter &painter, const QRect &rect, bool withBoxes) const
{
    const Layout l = LayOut(rect);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font());
    painter.setBrush(Qt::NoBrush);

    painter.fillRect(rect, kSilver);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));

    if (!l.title.isNull()) {
        painter.setPen(m_titleColour);
        for (int i = 0; i < m_title.size(); ++i) {
            painter.drawText(
                QRect(l.title.left(), l.title.top() + i * l.line, l.title.width(), l.line),
                Qt::AlignCenter, m_title[i]);
        }
    }

    const QRect plot = l.plot;
    if (plot.width() >= 2 && plot.height() >= 2) {
        const AxisScale x(m_bottomMin, m_bottomMax, plot.left(), plot.right());
        const AxisScale y(m_leftMin, m_leftMax, plot.bottom(), plot.top());
        painter.fillRect(plot, kWhite);

        // Grid lines at the labelled values, under the series.
        painter.setPen(QPen(kGray, 1, Qt::DotLine));
        for (const double v : l.left.values) {
            const double row = y.Pixel(v);
            if (row > plot.top() && row < plot.bottom())
                painter.drawLine(QPointF(plot.left(), row), QPointF(plot.right(), row));
        }
        for (const double v : l.bottom.values) {
            const double column = x.Pixel(v);
            if (column > plot.left() && column < plot.right())
                painter.drawLine(QPointF(column, plot.top()), QPointF(column, plot.bottom()));
        }

        painter.save();
        painter.setClipRect(plot, Qt::IntersectClip);
        PaintSeries(painter, plot);
        painter.restore();

        // The axis lines around the plot area, their ticks and labels.
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(
            QRect(plot.left() - 1, plot.top() - 1, plot.width() + 1, plot.height() + 1));
        for (const double v : l.left.values) {
            const int row = int(y.Pixel(v));
            painter.drawLine(plot.left() - 1 - kTick, row, plot.left() - 2, row);
            painter.drawText(
                QRect(l.leftLabels.left(), row - l.line / 2, l.leftLabels.width(), l.line),
                Qt::AlignRight | Qt::AlignVCenter, AxisTickLabel(v, l.left.decimals));
        }
        for (const double v : l.bottom.values) {
            const int column = int(x.Pixel(v));
            painter.drawLine(column, plot.bottom() + 2, column, plot.bottom() + 1 + kTick);
            painter.drawText(QRect(column - 100, l.bottomLabelTop, 200, l.line),
                             Qt::AlignHCenter | Qt::AlignTop, AxisTickLabel(v, l.bottom.decimals));
        }
        if (!l.leftTitle.isNull()) {
            painter.save();
            painter.translate(l.leftTitle.center());
            painter.rotate(-90);
            painter.drawText(
                QRect(-l.leftTitle.height() / 2, -l.line / 2, l.leftTitle.height(), l.line),
                Qt::AlignCenter, m_leftTitle);
            painter.restore();
        }
        if (!l.bottomTitle.isNull())
            painter.drawText(l.bottomTitle, Qt::AlignCenter, m_bottomTitle);
    }

    if (!l.legend.isNull()) {
        painter.fillRect(l.legend, kWhite);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(l.legend.adjusted(0, 0, -1, -1));
        for (int i = 0; i < m_legendTitle.size(); ++i) {
            painter.drawText(QRect(l.legend.left() + kPad, l.legend.top() + kPad + i * l.line,
                                   l.legend.width() - 2 * kPad, l.line),
                             Qt::AlignLeft | Qt::AlignVCenter, m_legendTitle[i]);
        }
        for (int s = 0; withBoxes && s < SeriesCount(); ++s) {
            if (l.boxes[s].isNull())
                continue;
            const QCheckBox *box = m_series[s].box;
            QStyleOptionButton option;
            option.initFrom(box);
            option.rect = l.boxes[s];
            option.text = box->text();
            option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
            option.state |= box->isChecked() ? QStyle::State_On : QStyle::State_Off;
            box->style()->drawControl(QStyle::CE_CheckBox, &option, &painter, box);
        }
    }
    painter.restore();
}

void ChartWidget::PaintSeries(QPainter &painter, const QRect &plot) const
{
    bool linedUp = false;
    quint32 shown = 0;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        const Series &series = m_series[i];
        if (!series.box->isChecked())
            continue;
        shown |= 1u << i;
        const Drawn &d = series.drawn;
        if (d.revision != series.points.Revision() || d.plot != plot ||
            d.limits[0] != m_bottomMin || d.limits[1] != m_bottomMax || d.limits[2] != m_leftMin ||
            d.limits[3] != m_leftMax) {
            LineUp(series, plot);
            linedUp = true;
        }
    }
    if (linedUp || shown != m_uncovered || plot != m_uncoveredPlot) {
        // Series can hide much of one another only where their strokes
        // add up to more rows than the plot area holds pixels; else
        // finding what they hide costs more than it saves.
        qint64 rows = 0;
        for (std::size_t i = 0; i < m_series.size(); ++i)
            rows += shown & (1u << i) ? m_series[i].drawn.strokeRows : 0;
        Uncover(plot, rows > qint64(plot.width()) * plot.height() ? shown : 0);
        m_uncovered = shown;
    }
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        if (!(shown & (1u << i)))
            continue;
        const Drawn &d = m_series[i].drawn;
        const std::vector<QLine> &lines = d.cut ? d.shown : d.lines;
        std::size_t begin = 0;
        for (const auto &[pen, end] : d.cut ? d.shownBatches : d.batches) {
            painter.setPen(pen);
            painter.drawLines(lines.data() + begin, int(end - begin));
            begin = end;
        }
    }
}

// Takes from the rows `top` .. `bottom` of a column those that `painted`
// holds, handing each stretch that is left to `keep`.
template <typename Keep>
void ChartWidget::Uncovered(int top, int bottom, const PaintedRows &painted, Keep keep)
{
    for (int i = 0; i < painted.count; ++i) {
        const auto [from, to] = painted.rows[i];
        if (to < top)
            continue;
        if (from > bottom)
            break;
        if (from > top)
            keep(top, from - 1);
        top = to + 1;
        if (top > bottom)
            return;
    }
    keep(top, bottom);
}

// Adds the rows top .. bottom to `painted`, joining those they touch; a
// column whose stretches are all taken forgets the new ones, which only
// leaves more to paint.
void ChartWidget::Cover(int top, int bottom, PaintedRows &painted)
{
    auto &rows = painted.rows;
    int at = 0;
    while (at < painted.count && rows[at].second < top - 1)
        ++at;
    int past = at;
    while (past < painted.count && rows[past].first <= bottom + 1) {
        top = std::min(top, rows[past].first);
        bottom = std::max(bottom, rows[past].second);
        ++past;
    }
    const int count = painted.count - (past - at) + 1;
    if (count > int(rows.size()))
        return;
    // Shift what lies beyond into place, element by element: a column holds
    // a few, and the library's move of a few bytes costs more.
    if (past == at) {
        for (int i = painted.count; i > at; --i)
            rows[i] = rows[i - 1];
    } else {
        for (int i = at + 1, j = past; j < painted.count; ++i, ++j)
            rows[i] = rows[j];
    }
    rows[at] = {top, bottom};
    painted.count = count;
}

void ChartWidget::Uncover(const QRect &plot, quint32 shown) const
{
    // Where series lie over one another, as a random walk of many points
    // fills its columns with strokes tens of pixels long, the painter
    // paints most pixels several times, series after series. A series
    // painted later paints over all of an earlier one, and a vertical
    // stroke paints exactly the rows from one end to the other; so the rows
    // of a stroke that strokes of later series paint need not be painted,
    // and the picture stays the same. From the last series to the first,
    // each column gathers the rows its strokes paint, and each stroke of an
    // earlier series is drawn only where it shows (in up to a few pieces,
    // or not at all). Rows outside the plot area are clipped anyway.
    m_uncoveredPlot = plot;
    m_covered.assign(std::size_t(plot.width()), PaintedRows{});
    for (const Series &series : m_series)
        series.drawn.cut = false;
    const auto stroke = [&](const QLine &l) {
        return l.x1() == l.x2() && l.x1() >= plot.left() && l.x1() <= plot.right();
    };
    // The rows of a stroke within the plot area (none when top > bottom),
    // and what later series paint in its column.
    const auto rows = [&](const QLine &l) {
        return std::pair{std::max(std::min(l.y1(), l.y2()), plot.top()),
                         std::min(std::max(l.y1(), l.y2()), plot.bottom())};
    };
    const auto covered = [&](const QLine &l) -> PaintedRows & {
        return m_covered[l.x1() - plot.left()];
    };
    for (std::size_t i = m_series.size(); i-- > 0;) {
        if (!(shown & (1u << i)))
            continue;
        Drawn &d = m_series[i].drawn;
        d.shown.clear();
        d.shownBatches.clear();
        // Mostly nothing of a series is covered where series lie apart, and
        // it is drawn as it was lined up.
        d.cut = std::any_of(d.lines.begin(), d.lines.end(), [&](const QLine &l) {
            if (!stroke(l))
                return false;
            const auto [top, bottom] = rows(l);
            const PaintedRows &painted = covered(l);
            for (int r = 0; r < painted.count; ++r) {
                if (painted.rows[r].first <= bottom && painted.rows[r].second >= top)
                    return true;
            }
            return false;
        });
        for (std::size_t batch = 0, k = 0; d.cut && batch < d.batches.size(); ++batch) {
            for (; k < d.batches[batch].second; ++k) {
                const QLine &l = d.lines[k];
                const auto [top, bottom] = rows(l);
                if (!stroke(l))
                    d.shown.push_back(l);
                else if (top <= bottom)
                    Uncovered(top, bottom, covered(l), [&](int from, int to) {
                        d.shown.emplace_back(l.x1(), from, l.x1(), to);
                    });
            }
            if (d.shown.size() > (d.shownBatches.empty() ? 0 : d.shownBatches.back().second))
                d.shownBatches.emplace_back(d.batches[batch].first, d.shown.size());
        }
        if ((shown & ((1u << i) - 1)) == 0)
            break; // no series before it to cover
        for (const QLine &l : d.lines) {
            const auto [top, bottom] = rows(l);
            if (stroke(l) && top <= bottom)
                Cover(top, bottom, covered(l));
        }
    }
}

void ChartWidget::LineUp(const Series &series, const QRect &plot) const
{
    Drawn &d = series.drawn;
    d.revision = series.points.Revision();
    d.plot = plot;
    d.limits[0] = m_bottomMin;
    d.limits[1] = m_bottomMax;
    d.limits[2] = m_leftMin;
    d.limits[3] = m_leftMax;
    d.lines.clear();
    d.batches.clear();
    d.strokeRows = 0;
    m_segments.clear();

    const AxisScale x(m_bottomMin, m_bottomMax, plot.left(), plot.right());
    const AxisScale y(m_leftMin, m_leftMax, plot.bottom(), plot.top());
    series.points.VisiblePoints(x, m_kept);
    if (m_kept.size() < 2)
        return;

    // Segments in the colour of their end point, in order. Consecutive
    // segments inside one pixel column are vertical strokes that overlap:
    // one stroke from their lowest to their highest row paints the same
    // pixels once, as long as they share a colour. Segments are cut short
    // only when a point lies very far out, so that what reaches the painter
    // fits its coordinates.
    const QRectF far = QRectF(plot).adjusted(-kFar, -kFar, kFar, kFar);
    ChartRgb colour = 0;
    const double farLeft = far.left(), farRight = far.right();
    const double farTop = far.top(), farBottom = far.bottom();
    const auto add = [&](QPointF a, QPointF b) {
        const bool near = std::min(a.x(), b.x()) >= farLeft && std::max(a.x(), b.x()) <= farRight &&
                          std::min(a.y(), b.y()) >= farTop && std::max(a.y(), b.y()) <= farBottom;
        if (!near && !ClipSegment(a, b, far))
            return false;
        m_segments.push_back(Segment{QLine(a.toPoint(), b.toPoint()), colour});
        return true;
    };
    // Where the points are dense, a segment from one column to the next
    // mostly paints nothing of its own: a one-pixel line paints only in the
    // rows and columns between its ends, so when it joins neighbouring
    // columns and both its ends lie within the stroke drawn just before it
    // and within the stroke drawn just after it, all of one colour, every
    // pixel it paints is painted by one of those two and stays so. Leaving
    // it out spares the painter half the lines of a long series.
    const auto dropCoveredLink = [&] {
        const std::size_t n = m_segments.size();
        if (n < 3)
            return;
        const Segment &before = m_segments[n - 3], &link = m_segments[n - 2],
                      &after = m_segments[n - 1];
        const QLine &b = before.line, &l = link.line, &a = after.line;
        const auto within = [](int row, const QLine &stroke) {
            return row >= std::min(stroke.y1(), stroke.y2()) &&
                   row <= std::max(stroke.y1(), stroke.y2());
        };
        if (before.rgb == link.rgb && after.rgb == link.rgb && b.x1() == b.x2() &&
            a.x1() == a.x2() && l.x1() == b.x1() && l.x2() == a.x1() && l.x2() == l.x1() + 1 &&
            within(l.y1(), b) && within(l.y2(), b) && within(l.y1(), a) && within(l.y2(), a)) {
            m_segments[n - 2] = after;
            m_segments.pop_back();
        }
    };
    bool stroke = false; // a vertical stroke is being gathered
    double column = 0, top = 0, bottom = 0;
    const auto endStroke = [&] {
        if (stroke && add(QPointF(column, top), QPointF(column, bottom)))
            dropCoveredLink();
        stroke = false;
    };
    colour = m_kept[1].rgb;
    QPointF from(m_kept[0].pixel, y.Pixel(m_kept[0].y));
    for (std::size_t k = 1; k < m_kept.size(); ++k) {
        const KeptPoint &p = m_kept[k];
        const QPointF to(p.pixel, y.Pixel(p.y));
        if (p.rgb != colour) {
            endStroke();
            colour = p.rgb;
        }
        if (to.x() != from.x()) {
            endStroke();
            add(from, to);
        } else if (stroke) { // `from` lies on the stroke already
            top = std::min(top, to.y());
            bottom = std::max(bottom, to.y());
        } else {
            stroke = true;
            column = to.x();
            top = std::min(from.y(), to.y());
            bottom = std::max(from.y(), to.y());
        }
        from = to;
    }
    endStroke();
    Batch(d, plot);
    for (const QLine &l : d.lines) {
        if (l.x1() == l.x2())
            d.strokeRows += std::max(0, std::min(std::max(l.y1(), l.y2()), plot.bottom()) -
                                            std::max(std::min(l.y1(), l.y2()), plot.top()) + 1);
    }
}

void ChartWidget::Batch(Drawn &d, const QRect &plot) const
{
    // Drawing the segments in order would change the pen at every change
    // of colour, hundreds of times on a long series with gaps, and a pen
    // change costs the painter more than a line. But only segments of
    // different colours that share a pixel need their order. A line of one
    // pixel between whole pixels paints only in the pixel columns from one
    // end to the other, so: put each segment one layer above every segment
    // of another colour drawn before it in any of its columns, then draw
    // layer after layer, a batch for each colour of a layer. Segments of one
    // layer and different colours share no column, so the picture stays
    // that of the segments in order; a series with gaps takes a few layers.
    // Each column remembers the highest layer drawn in it and its colour,
    // and the highest layer of the other colours.
    const int left = plot.left();
    const int right = plot.right();
    const bool oneColour = std::all_of(m_segments.begin(), m_segments.end(), [&](const Segment &s) {
        return s.rgb == m_segments.front().rgb;
    });
    if (oneColour) {
        for (const Segment &s : m_segments) {
            if (std::max(s.line.x1(), s.line.x2()) >= left &&
                std::min(s.line.x1(), s.line.x2()) <= right)
                d.lines.push_back(s.line);
        }
        if (!d.lines.empty())
            d.batches.emplace_back(QPen(QColor::fromRgb(m_segments.front().rgb), 1),
                                   d.lines.size());
        return;
    }
    m_columns.assign(std::size_t(right - left + 1), ColumnLayers{});
    int layers = 0;
    for (Segment &s : m_segments) {
        const int lo = std::max(std::min(s.line.x1(), s.line.x2()), left) - left;
        const int hi = std::min(std::max(s.line.x1(), s.line.x2()), right) - left;
        if (lo > hi) { // wholly beside the plot area, where nothing is drawn
            s.layer = -1;
            continue;
        }
        int layer = 0;
        for (int c = lo; c <= hi; ++c) {
            const ColumnLayers &col = m_columns[c];
            layer = std::max(layer, (col.topRgb == s.rgb ? col.others : col.top) + 1);
        }
        for (int c = lo; c <= hi; ++c) {
            ColumnLayers &col = m_columns[c];
            if (col.topRgb == s.rgb) {
                col.top = std::max(col.top, layer);
            } else { // then layer > col.top
                col.others = col.top;
                col.top = layer;
                col.topRgb = s.rgb;
            }
        }
        s.layer = layer;
        layers = std::max(layers, layer + 1);
    }

    // Layer by layer, and in a layer colour by colour, in order of first
    // appearance; the last colour of a layer goes on into the next layer
    // when that starts with it.
    d.lines.reserve(m_segments.size());
    std::size_t pending = 0; // lines not yet in a batch
    ChartRgb batchRgb = 0;
    const auto closeBatch = [&] {
        if (d.lines.size() > pending)
            d.batches.emplace_back(QPen(QColor::fromRgb(batchRgb), 1), d.lines.size());
        pending = d.lines.size();
    };
    m_layerStart.assign(std::size_t(layers) + 1, 0);
    for (const Segment &s : m_segments) {
        if (s.layer >= 0)
            ++m_layerStart[std::size_t(s.layer) + 1];
    }
    for (int l = 0; l < layers; ++l)
        m_layerStart[l + 1] += m_layerStart[l];
    m_layered.resize(m_layerStart[layers]);
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
        if (m_segments[i].layer >= 0)
            m_layered[m_layerStart[m_segments[i].layer]++] = quint32(i);
    }
    // Each start has moved on to the next layer's.
    std::rotate(m_layerStart.begin(), m_layerStart.end() - 1, m_layerStart.end());
    m_layerStart[0] = 0;
    for (int l = 0; l < layers; ++l) {
        const std::size_t begin = m_layerStart[l], end = m_layerStart[l + 1];
        // The colours of this layer, the one being batched first.
        m_layerColours.clear();
        if (d.lines.size() > pending)
            m_layerColours.push_back(batchRgb);
        for (std::size_t k = begin; k < end; ++k) {
            const ChartRgb rgb = m_segments[m_layered[k]].rgb;
            if (std::find(m_layerColours.begin(), m_layerColours.end(), rgb) ==
                m_layerColours.end())
                m_layerColours.push_back(rgb);
        }
        for (const ChartRgb rgb : m_layerColours) {
            if (rgb != batchRgb)
                closeBatch();
            batchRgb = rgb;
            for (std::size_t k = begin; k < end; ++k) {
                const Segment &s = m_segments[m_layered[k]];
                if (s.rgb == rgb)
                    d.lines.push_back(s.line);
            }
        }
    }
    closeBatch();
}

void ChartWidget::resizeEvent(QResizeEvent *)
{
    PlaceLegend();
}

void ChartWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        PlaceLegend();
    QWidget::changeEvent(event);
}

void ChartWidget::PlaceLegend()
{
    const Layout l = LayOut(rect());
    for (int s = 0; s < SeriesCount(); ++s) {
        QCheckBox *box = m_series[s].box;
        box->setGeometry(l.boxes[s]);
        box->setVisible(!l.boxes[s].isNull());
    }
}

void ChartWidget::TellAssistiveTechnology(int event) const
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent e(const_cast<ChartWidget *>(this), QAccessible::Event(event));
    QAccessible::updateAccessibility(&e);
}

#include "widgets/piegauge.h"

#include "widgets/accessiblevaluewidget.h"

#include <QAccessible>
#include <QPainter>

#include <algorithm>

namespace {

class AccessiblePieGauge : public AccessibleValueWidget
{
public:
    explicit AccessiblePieGauge(PieGauge *gauge)
        : AccessibleValueWidget(gauge, QAccessible::ProgressBar)
    {}

    QVariant currentValue() const override { return gauge()->Progress(); }
    void setCurrentValue(const QVariant &) override {} // read-only
    QVariant maximumValue() const override { return gauge()->MaxValue(); }
    QVariant minimumValue() const override { return gauge()->MinValue(); }
    QVariant minimumStepSize() const override { return 1; }

protected:
    QString ValueText() const override { return gauge()->Text(); }

private:
    PieGauge *gauge() const { return static_cast<PieGauge *>(widget()); }
};

QAccessibleInterface *gaugeFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("PieGauge") && object && object->isWidgetType())
        return new AccessiblePieGauge(static_cast<PieGauge *>(object));
    return nullptr;
}

} // namespace

PieGauge::PieGauge(QWidget *parent) : QWidget(parent)
{
    static const bool registered = (QAccessible::installFactory(gaugeFactory), true);
    Q_UNUSED(registered);
    resize(sizeHint());
}

void PieGauge::SetRange(int minValue, int maxValue)
{
    m_min = minValue;
    m_max = std::max(minValue, maxValue);
    m_progress = std::clamp(m_progress, m_min, m_max);
    update();
}

void PieGauge::SetProgress(int value)
{
    const int clamped = std::clamp(value, m_min, m_max);
    if (clamped == m_progress)
        return;
    m_progress = clamped;
    update();
    QAccessibleValueChangeEvent event(this, m_progress);
    QAccessible::updateAccessibility(&event);
}

int PieGauge::PercentDone() const
{
    if (m_max <= m_min)
        return 0;
    // 64-bit, so that a range near the int limits cannot overflow.
    return int(qint64(m_progress - m_min) * 100 / (qint64(m_max) - m_min));
}

QString PieGauge::Text() const
{
    return QStringLiteral("%1%").arg(PercentDone());
}

void PieGauge::SetBackColor(const QColor &colour)
{
    m_back = colour;
    update();
}

void PieGauge::SetForeColor(const QColor &colour)
{
    m_fore = colour;
    update();
}

void PieGauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_back);
    painter.drawEllipse(disc);

    const int span =
        m_max > m_min ? int(qint64(m_progress - m_min) * 360 * 16 / (qint64(m_max) - m_min)) : 0;
    if (span > 0) {
        painter.setBrush(m_fore);
        // Qt counts angles counter-clockwise from three o'clock: start at
        // twelve and run clockwise.
        painter.drawPie(disc, 90 * 16, -span);
    }

    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignCenter, Text());
}

#include "widgets/statuspanel.h"

#include "widgets/palette.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

StatusPanel::StatusPanel(const QString &name, QWidget *parent) : QLabel(parent)
{
    setObjectName(name);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(96, 96, 96));
    setPalette(pal);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    setTextFormat(Qt::PlainText);
}

void StatusPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}

void StatusPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(4, 0, -4, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, Qt::AlignCenter, shown);
}

bool StatusPanel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const int room = contentsRect().width() - 8;
        if (fontMetrics().horizontalAdvance(text()) > room)
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

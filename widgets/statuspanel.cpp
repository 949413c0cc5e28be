#include "widgets/statuspanel.h"

#include "widgets/palette.h"

#include <QMouseEvent>

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
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit clicked();
}

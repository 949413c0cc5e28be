#include "widgets/palette.h"

#include <QWidget>

void SetBackground(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Base, colour);
    widget->setPalette(pal);
}

void SetDialogFont(QWidget *widget)
{
    QFont font = widget->font();
    font.setPixelSize(11);
    widget->setFont(font);
}

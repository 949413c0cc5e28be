#include "plot/tplot_f.h"

#include "widgets/palette.h"

TPlot_F::TPlot_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Plot_F1"));
    SetBackground(this, kMediumGrey);
}

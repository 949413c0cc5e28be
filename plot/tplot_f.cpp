#include "plot/tplot_f.h"

#include "widgets/palette.h"

TPlot_F::TPlot_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Plot_F1"));
    SetBackground(this, kMediumGrey);
}

void TPlot_F::Prepare_Plot(const std::array<int, kModuleCount + 1> &, const QString &) {}

void TPlot_F::Plot_Readings(int, const ReadingTexts &) {}

#pragma once

#include "modules/moduletable.h"
#include "modules/readingconversion.h"

#include <QWidget>

#include <array>

// The Temperature Plotting page frame. The metering cycle already calls the
// page where its charts will take their points: Prepare_Plot at every start
// of metering, Plot_Readings after every module read. Until the charts
// arrive, both take note of nothing.
class TPlot_F : public QWidget
{
    Q_OBJECT

public:
    explicit TPlot_F(QWidget *parent = nullptr);

    // Resets the page and offers the active modules for charting, in the unit
    // given.
    void Prepare_Plot(const std::array<int, kModuleCount + 1> &module_active, const QString &unit);
    // Adds up to eight points to the chart of module m (1..63), if charted.
    void Plot_Readings(int m, const ReadingTexts &readings);
};

#pragma once

#include <QWidget>

// The Temperature Plotting page frame; the charts arrive with the plot page.
class TPlot_F : public QWidget
{
    Q_OBJECT

public:
    explicit TPlot_F(QWidget *parent = nullptr);
};

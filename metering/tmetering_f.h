#pragma once

#include <QWidget>

// The Metering page frame. Its grid, tree, gauge and buttons arrive with the
// metering cycle; the main window already places it on "Metering".
class TMetering_F : public QWidget
{
    Q_OBJECT

public:
    explicit TMetering_F(QWidget *parent = nullptr);
};

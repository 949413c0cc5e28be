#pragma once

#include <QWidget>

// The VRX-RTD debug page frame; its editor and polling view arrive with the
// relay-module debug page.
class TVRX_RTD_F : public QWidget
{
    Q_OBJECT

public:
    explicit TVRX_RTD_F(QWidget *parent = nullptr);

    // The temperature unit of the readings shown ("Celsius" or "Fahrenheit").
    void Set_Unit_Name(const QString &unit);
};

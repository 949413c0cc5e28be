#pragma once

#include "app/optiondialog.h"

class QComboBox;
class QLabel;

// "Temperature Display": chooses the unit of the readings. temp_CB offers
// "Celsius" and "Fahrenheit"; it opens on the item that Temperature names
// exactly, or on none (optionvalues.h). OK stores the chosen item's text in
// Temperature (an empty text when none is chosen); Cancel leaves it.
class TTemperatureF : public OptionDialog
{
    Q_OBJECT

public:
    explicit TTemperatureF(QString &Temperature, QWidget *owner = nullptr);

    void ok_BClick() override;

    QLabel *temp_L = nullptr;
    QComboBox *temp_CB = nullptr;

private:
    QString &m_temperature;
};

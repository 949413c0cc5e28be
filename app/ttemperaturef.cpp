#include "app/ttemperaturef.h"

#include "app/optionvalues.h"

#include <QComboBox>
#include <QLabel>

TTemperatureF::TTemperatureF(QString &Temperature, QWidget *owner)
    : OptionDialog(owner, QStringLiteral("TemperatureF"), QStringLiteral("Temperature Display")),
      m_temperature(Temperature)
{
    temp_CB = AddDropDownList(QStringLiteral("temp_CB"), {112, 12}, 100);
    temp_CB->addItems(TemperatureUnits());
    temp_CB->setCurrentIndex(TemperatureItem(Temperature));
    temp_L = AddLabel(QStringLiteral("temp_L"), QStringLiteral("Temperature"), {20, 16}, temp_CB);
    AddButtons({12, 56}, {137, 56});
}

void TTemperatureF::ok_BClick()
{
    m_temperature = temp_CB->currentIndex() >= 0 ? temp_CB->currentText() : QString();
    accept();
}

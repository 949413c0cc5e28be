#include "metering/tmetering_f.h"

#include "widgets/palette.h"

TMetering_F::TMetering_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Metering_F1"));
    SetBackground(this, kMediumGrey);
}

#include "debug/tvrx_rtd_f.h"

#include "widgets/palette.h"

TVRX_RTD_F::TVRX_RTD_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VRX_RTD_F1"));
    SetBackground(this, kMediumGrey);
}

#include "debug/tvrx_rtd_f.h"

#include "widgets/palette.h"

TVRX_RTD_F::TVRX_RTD_F(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VRX_RTD_F1"));
    SetBackground(this, kMediumGrey);
}

// The page shows no readings yet; it takes the unit once it does.
void TVRX_RTD_F::Set_Unit_Name(const QString &) {}

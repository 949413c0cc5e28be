#include "app/moduleselectionpage.h"

#include "widgets/palette.h"

#include <QFrame>
#include <QPushButton>
#include <QRadioButton>

ModuleSelectionPage::ModuleSelectionPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Selection_Page"));

    selections_P = new QFrame(this);
    selections_P->setObjectName(QStringLiteral("selections_P"));
    selections_P->setGeometry(227, 126, 330, 177);
    selections_P->setFrameShape(QFrame::Panel);
    selections_P->setFrameShadow(QFrame::Raised);
    SetBackground(selections_P, kSilver);

    // 140 pixels wide was drawn for a narrower dialog font; 180 keeps the
    // captions whole in the system's font.
    tav_RB = new QRadioButton(QStringLiteral("TAV-RTD (Standard Use)"), selections_P);
    tav_RB->setObjectName(QStringLiteral("tav_RB"));
    tav_RB->setGeometry(95, 32, 180, 17);
    tav_RB->setChecked(true);
    vrx_RB = new QRadioButton(QStringLiteral("VRX-RTD (DEBUG only)"), selections_P);
    vrx_RB->setObjectName(QStringLiteral("vrx_RB"));
    vrx_RB->setGeometry(95, 74, 180, 17);

    view_B = new QPushButton(QStringLiteral("VIEW"), selections_P);
    view_B->setObjectName(QStringLiteral("view_B"));
    view_B->setGeometry(127, 117, 75, 25);
}

#pragma once

#include "app/optiondialog.h"

class QLabel;
class TQMSpinEdit;

// "Period Selection": chooses the sample period in seconds. period_SE
// (TQMSpinEdit, unit " s", step 1, up to 9999) opens with the minimum 2n for
// n active modules and the value Period, raised to 2n when below
// (optionvalues.h). OK stores the spin edit's value with its fraction cut
// off toward zero in Period; Cancel leaves it.
//
// Enter in the spin edit first takes the typed text, as the spin edit always
// does. Text that stands as typed (a number within the limits) then confirms
// the dialog as OK does, as Enter does in any dialog. Text that the spin edit
// had to correct (no number, or beyond a limit) leaves the dialog open on the
// corrected value, so that nothing the user did not see is stored; the next
// Enter confirms it.
class TPeriodF : public OptionDialog
{
    Q_OBJECT

public:
    TPeriodF(int &Period, int activeModules, QWidget *owner = nullptr);

    void ok_BClick() override;

    QLabel *period_L = nullptr;
    TQMSpinEdit *period_SE = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int &m_period;
};

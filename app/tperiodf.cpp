#include "app/tperiodf.h"

#include "app/optionvalues.h"
#include "widgets/tqmspinedit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TPeriodF::TPeriodF(int &Period, int activeModules, QWidget *owner)
    : OptionDialog(owner, QStringLiteral("PeriodF"), QStringLiteral("Period Selection")),
      m_period(Period)
{
    const PeriodSpin spin = PeriodSpinFor(Period, activeModules);
    period_SE = new TQMSpinEdit(this);
    period_SE->setObjectName(QStringLiteral("period_SE"));
    period_SE->setGeometry(112, 18, 100, 21);
    period_SE->SetUnits(QStringLiteral(" s"));
    period_SE->SetIncrement(PeriodSpin::kIncrement);
    period_SE->SetMax(PeriodSpin::kMax);
    period_SE->SetMin(spin.min);
    period_SE->SetValue(spin.value);
    period_L =
        AddLabel(QStringLiteral("period_L"), QStringLiteral("Sample Period"), {20, 22}, period_SE);
    // The focus lands on the text box inside the spin edit, and a screen
    // reader names what has the focus.
    period_SE->TextBox()->setAccessibleName(period_L->text());
    AddButtons({16, 56}, {141, 56});

    // Installed after the spin edit's own filter, so it sees Enter first.
    period_SE->TextBox()->installEventFilter(this);
}

bool TPeriodF::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != period_SE->TextBox() || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    const bool stands =
        TypedPeriodStands(period_SE->TextBox()->text(), period_SE->Min(), period_SE->Max());
    period_SE->KeyPressed(QChar(13));
    if (stands)
        ok_B->click();
    return true;
}

void TPeriodF::ok_BClick()
{
    // Text typed and not yet taken (OK reached without leaving the text box)
    // counts, as it would on Enter.
    if (period_SE->TextBox()->isModified())
        period_SE->EditExit();
    m_period = StoredPeriod(period_SE->Value());
    accept();
}

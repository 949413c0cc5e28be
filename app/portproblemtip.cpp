#include "app/portproblemtip.h"

#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>

namespace {

const char kTipName[] = "PortProblemTip";

// Sees the panel's tip requests before the panel does.
class ProblemTip : public QObject
{
public:
    explicit ProblemTip(QObject *parent) : QObject(parent)
    {
        setObjectName(QLatin1String(kTipName));
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *panel = qobject_cast<QWidget *>(watched);
        if (!panel || event->type() != QEvent::ToolTip || panel->toolTip().isEmpty())
            return false;
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), panel->toolTip(), panel);
        return true;
    }
};

} // namespace

void ShowPortProblem(QLabel *panel, const QString &problem)
{
    if (!panel->findChild<QObject *>(QLatin1String(kTipName), Qt::FindDirectChildrenOnly))
        panel->installEventFilter(new ProblemTip(panel));
    if (panel->toolTip() == problem)
        return;
    panel->setToolTip(problem);
    panel->setAccessibleDescription(problem);
}

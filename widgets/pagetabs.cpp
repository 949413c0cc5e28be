#include "widgets/pagetabs.h"

#include <QShortcut>
#include <QTabBar>

PageTabs::PageTabs(QWidget *parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, &PageTabs::turnedTo);
    auto *next = new QShortcut(this);
    next->setKey(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    next->setContext(Qt::WidgetWithChildrenShortcut);
    connect(next, &QShortcut::activated, this, [this] { turnBy(1); });
    // Shift+Tab comes as Backtab from most keyboards, as Shift+Tab from some.
    auto *previous = new QShortcut(this);
    previous->setKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)});
    previous->setContext(Qt::WidgetWithChildrenShortcut);
    connect(previous, &QShortcut::activated, this, [this] { turnBy(-1); });
}

void PageTabs::turnBy(int step)
{
    const int n = count();
    for (int i = 1; i < n; ++i) {
        const int index = ((currentIndex() + step * i) % n + n) % n;
        if (isTabVisible(index) && tabBar()->isTabEnabled(index)) {
            setCurrentIndex(index);
            return;
        }
    }
}

void PageTabs::SetPageVisible(QWidget *page, bool visible)
{
    const int index = indexOf(page);
    // Only the tab is disabled: the page's own controls keep their state
    // for the time it is shown again.
    tabBar()->setTabEnabled(index, visible);
    setTabVisible(index, visible);
}

bool PageTabs::IsPageVisible(QWidget *page) const
{
    return isTabVisible(indexOf(page));
}

void PageTabs::turnedTo(int index)
{
    if (m_turningBack)
        return;
    if (index < 0 || isTabVisible(index)) {
        m_shown = index;
        emit pageChanged(index);
        return;
    }
    int back = m_shown >= 0 && m_shown < count() && isTabVisible(m_shown) ? m_shown : -1;
    for (int i = 0; back < 0 && i < count(); ++i) {
        if (isTabVisible(i))
            back = i;
    }
    if (back < 0)
        return; // nothing is shown at all; the window has no page to offer
    m_turningBack = true;
    setCurrentIndex(back);
    m_turningBack = false;
}

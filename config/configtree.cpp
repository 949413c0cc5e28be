#include "config/configtree.h"

#include <QMouseEvent>

ConfigTree::ConfigTree(QWidget *parent) : QTreeWidget(parent)
{
    connect(this, &QTreeWidget::itemExpanded, this, &ConfigTree::OnExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &ConfigTree::OnCollapsed);
}

void ConfigTree::OnExpanded(QTreeWidgetItem *node)
{
    if (m_undoing || !m_expanding || m_expanding(node))
        return;
    m_undoing = true;
    node->setExpanded(false);
    m_undoing = false;
}

void ConfigTree::OnCollapsed(QTreeWidgetItem *node)
{
    if (m_undoing)
        return;
    if (m_collapsing && !m_collapsing(node)) {
        m_undoing = true;
        node->setExpanded(true);
        m_undoing = false;
        return;
    }
    // The selection must not stay on a node the collapse hid: once the group
    // is open again, a click on that node would select nothing new, so the
    // owner would never hear that the user chose it. The node that closed over
    // it takes the selection instead.
    for (const QTreeWidgetItem *item = currentItem(); item; item = item->parent()) {
        if (item->parent() == node) {
            setCurrentItem(node);
            break;
        }
    }
}

void ConfigTree::mousePressEvent(QMouseEvent *event)
{
    m_leftPressed = event->button() == Qt::LeftButton;
    QTreeWidget::mousePressEvent(event);
}

void ConfigTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_leftPressed = event->button() == Qt::LeftButton;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void ConfigTree::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        emit Clicked();
    }
}

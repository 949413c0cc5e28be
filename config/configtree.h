#pragma once

#include <QTreeWidget>

#include <functional>

// A tree that lets its owner refuse an expansion or collapse and reports
// every left click, on a node, its button or empty space.
//
// QTreeWidget expands from many places (the branch button, a double click,
// the keyboard, a program) and offers no veto beforehand. Every one of them
// ends in itemExpanded or itemCollapsed, so the tree asks its owner there and,
// on a refusal, turns the change back before anything is painted; the other
// listeners of those two signals must therefore tolerate a change that is
// undone at once. A collapse that stands and hides the current node makes the
// collapsed node current (and selected) instead, as a classic tree view does.
//
// Clicked is emitted on every release of the left button (the second half of
// a double click too), after the press has moved the selection or opened a
// node, so its handler sees their outcome.
class ConfigTree : public QTreeWidget
{
    Q_OBJECT

public:
    // Returns false to refuse; the node stays as it was.
    using ExpandHook = std::function<bool(QTreeWidgetItem *node)>;

    explicit ConfigTree(QWidget *parent = nullptr);

    void SetExpandingHook(ExpandHook hook) { m_expanding = std::move(hook); }
    void SetCollapsingHook(ExpandHook hook) { m_collapsing = std::move(hook); }

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void OnExpanded(QTreeWidgetItem *node);
    void OnCollapsed(QTreeWidgetItem *node);

    ExpandHook m_expanding;
    ExpandHook m_collapsing;
    bool m_undoing = false;
    bool m_leftPressed = false;
};

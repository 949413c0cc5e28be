#pragma once

#include <QTabWidget>

// The tab pages of a window that hides some of its pages at times: a hidden
// page is out of the user's reach, not only out of sight.
//
// QTabWidget hides only the tab of a hidden page. Ctrl+Tab and Ctrl+Shift+Tab,
// the arrow keys and the wheel on the tabs pass over disabled tabs but not
// over hidden ones, and a screen reader's press on a tab or a call of
// setCurrentIndex turns to any page. Here a hidden page's tab is disabled as
// well, so that the arrow keys and the wheel pass over it; and should some
// other route still make a hidden page current, it is turned back at once to
// the page that was current before (or, if that one is hidden too, to the
// first shown page), and pageChanged is not emitted for either move.
//
// Ctrl+Tab and Ctrl+Shift+Tab turn to the next and the previous shown page,
// round and round, wherever the focus is among the pages' controls: they are
// shortcuts here, since a drop-down list with the focus would take Ctrl+Tab
// as a letter to search its items for and keep the user on its page.
//
// Listen to pageChanged, not to currentChanged: it tells only of a page the
// user can see.
class PageTabs : public QTabWidget
{
    Q_OBJECT

public:
    explicit PageTabs(QWidget *parent = nullptr);

    // Shows or hides the tab of page (a page of this widget) and with it the
    // way to it.
    void SetPageVisible(QWidget *page, bool visible);
    bool IsPageVisible(QWidget *page) const;

signals:
    // A shown page has become the current one.
    void pageChanged(int index);

private:
    void turnedTo(int index);
    // To the next shown page in direction step (1 or -1), round the ends.
    void turnBy(int step);

    int m_shown = -1;
    bool m_turningBack = false;
};

#include "widgets/pagelayout.h"

#include <QWidget>

namespace {

constexpr int kTreeWidth = 168;
constexpr int kRightLeft = 172;
constexpr int kRightWidth = 608;
constexpr int kGridBottomGap = 439 - 389;
constexpr int kPanelBottomGap = 439 - 393;
constexpr int kPanelHeight = 42;

} // namespace

void LayOutTreePage(const QWidget *page, QWidget *tree, QWidget *grid, QWidget *panel)
{
    const int height = page->height();
    tree->setGeometry(0, 0, kTreeWidth, height);
    grid->setGeometry(kRightLeft, 0, kRightWidth, height - kGridBottomGap);
    panel->setGeometry(kRightLeft, height - kPanelBottomGap, kRightWidth, kPanelHeight);
}

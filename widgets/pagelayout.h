#pragma once

class QWidget;

// The layout the tree pages share (Configuration, Metering, and the
// Miscellaneous Info page to come), designed at 786 x 439: the tree along the
// left edge, 168 wide and full height; the grid to its right, 608 wide, and
// below the grid a 42-pixel button panel. Grid and panel keep their distance
// from the bottom edge as the page grows. Called from the page's resizeEvent.
void LayOutTreePage(const QWidget *page, QWidget *tree, QWidget *grid, QWidget *panel);

#pragma once

#include <QFont>
#include <QSize>
#include <QStringList>

class QComboBox;
class QPushButton;

// Fitting captions into the pages' fixed-size controls.
//
// The pages were laid out for a narrow dialog font: the widest captions fill
// the 90-pixel buttons and the 64-pixel type selector almost to the edge. A
// wider system font at the same height (DejaVu Sans runs "Change Column" to
// 88 of the 82 pixels a Fusion button leaves for text) would spill over the
// bevel or be cut off.

// The font narrowed, first in width (semi-condensed, condensed) and then in
// pixel height, until the widest of texts fits into room pixels; no smaller
// than 8 pixels.
QFont FontToFit(QFont font, const QStringList &texts, int room);

// The width a push button's style leaves for its caption.
int CaptionRoom(const QPushButton *button);

// The width a drop-down list of the given size leaves for its item's text;
// the text is drawn 1 pixel inside the edit field on either side.
int ItemRoom(const QComboBox *combo, const QSize &size);

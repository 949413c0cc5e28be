#pragma once

#include <QColor>

// The program's fixed colours.
inline const QColor kWhite{255, 255, 255};
inline const QColor kSkyBlue{166, 202, 240};    // heading cells and label tiles
inline const QColor kMediumGrey{160, 160, 164}; // window and grid backgrounds
inline const QColor kSilver{192, 192, 192};     // status panels and data cells
inline const QColor kGray{128, 128, 128};

// Gives a widget a solid background colour.
class QWidget;
void SetBackground(QWidget *widget, const QColor &colour);

// The dialog font at 8 points, 11 pixels high, for which the pages' and
// dialogs' controls are sized; children take it from the widget.
void SetDialogFont(QWidget *widget);

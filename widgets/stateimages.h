#pragma once

#include <QIcon>
#include <QPixmap>

class QTreeWidget;

// The four 16 x 16 state pictures shared by every tree view of the program:
// 0 a hollow square (never shown: state 0 means no picture), 1 and 2 a black
// diagonal cross, 3 a filled pure-green disc. The index is the mark of the
// module table (3 on, 2 off); group nodes show 0 (expanded) or 1 (collapsed).
//
// A fifth, kStateNotAnswering, is no mark of the table and no tree but the
// Metering page's shows it: a module that is metered (mark 3, the green disc)
// but answered none of its reads during a whole period. It is a red disc,
// centred like the green one and a little larger, with a white cross through
// it, so that it reads as "on, but failing": apart from the black cross of a
// module that is off (which no metered module has) and from the green disc.
// The module's node goes back to the green disc as soon as it answers again.
inline constexpr int kStateNotAnswering = 4;
QPixmap StateImage(int index, qreal devicePixelRatio = 1.0);

// The picture for a tree node's state index; an empty icon for index 0 or any
// index outside 1..4.
QIcon StateIcon(int index);

// The look every tree view of the pages shares: white, one column without a
// header, 15-pixel indent, room for the 16 x 16 state pictures, no editing.
void SetUpStateTree(QTreeWidget *tree);

// A tree that only lists modules for the eye (the Metering and Miscellaneous
// Info pages): the same look, without branches, selection or focus.
void SetUpModuleListTree(QTreeWidget *tree);

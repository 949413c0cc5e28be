#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// Where the main window opens. The stored place (Left, Top and the window's
// size) is kept when the window can be seen and taken by its title bar there:
// when at least kGripWidth x kGripHeight pixels of its top band (the
// kTitleBand pixels under its top edge) lie on one screen. A place on no
// screen - a screen that has gone, or Left 99999 - would open the window
// where no one sees it, and the close would store that place again; such a
// window opens centred on the primary screen's available area instead, its
// top-left corner kept inside that area.
inline constexpr int kTitleBand = 30;
inline constexpr int kGripWidth = 100;
inline constexpr int kGripHeight = 10;

// stored: the window at its stored place and size (see StoredWindowRect).
// screens: the geometry of every screen. primaryArea: the primary screen's
// available geometry.
QPoint PlaceWindow(const QRect &stored, const QList<QRect> &screens, const QRect &primaryArea);

// The window's stored place and size, made safe to use: the height at least
// minHeight and at most the height of the available area (a stored Height of
// 100000 opened a window 32767 pixels high, its status rows off the screen,
// and the close stored that again); Left and Top kept within a million
// pixels, beyond every screen, so that no arithmetic on the rectangle can
// overflow (Left near the integer maximum did, and so escaped the check for
// a place on no screen). The width is the window's own.
QRect StoredWindowRect(int left, int top, int width, int height, int minHeight, const QRect &area);

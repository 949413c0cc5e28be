#pragma once

// Reading a widget's picture in a test: how many pixels of one colour an
// area of a rendered image holds. Header-only (it needs Qt Gui, which the
// test-support library does not link).

#include <QColor>
#include <QImage>
#include <QRect>

inline int CountColour(const QImage &image, const QRect &area, const QColor &colour)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.pixelColor(x, y) == colour;
    }
    return n;
}

#pragma once

#include <QRect>
#include <QSize>

// Where a page's picture lands on a printed sheet: one uniform margin on
// every side, and the picture scaled to fill what lies inside it as far as
// its proportions allow, centred the other way. Plain arithmetic in printer
// pixels, apart from any printer.

// What the printer says of its sheet, in its pixels.
struct SheetGeometry
{
    int offsetX = 0;    // printable area from the left sheet edge
    int offsetY = 0;    // printable area from the top sheet edge
    int sheetWidth = 0; // 0 when the printer does not say: the printable size counts
    int sheetHeight = 0;
    int printableWidth = 0;
    int printableHeight = 0;
};

struct PrintPlacement
{
    // The area inside the uniform margin m, A x B, in the coordinates of the
    // printable area (whose origin is where a painter on the printer starts):
    // at (m - offsetX, m - offsetY).
    QRect target;
    // The picture inside the target area, in the target's coordinates.
    QRect picture;
    int margin = 0;

    // Nothing to draw: the source or the target area has no size.
    bool IsEmpty() const { return target.isEmpty() || picture.isEmpty(); }
};

// The margin m is the largest of the four distances from the printable area
// to the sheet's edges (left offsetX, top offsetY, right sheetWidth -
// printableWidth - offsetX, bottom likewise), so the picture keeps clear of
// the unprintable edge on every side and sits in the sheet's middle. The
// target area is A = sheetWidth - 2m by B = sheetHeight - 2m.
//
// With sx = A / W and sy = B / H for a source of W x H: when sx < sy the
// picture is A wide and int(H x sx) high, at y = B/2 - height/2 (integer
// halves); otherwise it is B high and int(W x sy) wide, at x = A/2 -
// width/2. A source of 1000 x 500 on a target area of 4000 x 6000 gives a
// picture 4000 x 2000 placed 2000 below the top of the area.
//
// A source without size, or a margin that leaves no area, gives an empty
// placement.
PrintPlacement PlacePrintPicture(const SheetGeometry &sheet, const QSize &source);

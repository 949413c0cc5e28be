#pragma once

#include "print/printgeometry.h"
#include "result/result.h"

class QPainter;
class QPrinter;
class QWidget;

// The sheet as the printer describes it, in its pixels: the printable area's
// offset from the sheet's corner, the sheet and the printable area.
SheetGeometry SheetGeometryOf(const QPrinter &printer);

// Draws the page, as it shows on screen now, onto the painter of a print
// job that the caller has begun on printer and will end: scaled and centred
// inside the uniform margin (PlacePrintPicture). The page and its visible
// children paint themselves onto that painter through a transform, so the
// sheet holds lines and text, not a bitmap of the screen: text stays text
// in a PDF file and sharp on paper at any resolution. A page or a target
// area without size draws nothing and succeeds; the painter's state is left
// as it was. Fails when the painter has stopped working.
Result<> Print_Control(QWidget *page, QPrinter &printer, QPainter &painter);

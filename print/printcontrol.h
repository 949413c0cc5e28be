#pragma once

#include "print/printgeometry.h"
#include "result/result.h"

#include <QPicture>
#include <QSize>

class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QWidget;

// A page as the screen shows it now, recorded command by command: the page
// and its visible children paint into the picture as they would on screen,
// so that played onto a printer it gives lines and text, not a bitmap of
// the screen (text stays text in a PDF file and sharp on paper at any
// resolution). A picture is a value: once recorded it may be played on
// another thread while the page goes on changing.
struct PagePicture
{
    QPicture picture;
    QSize size; // the page's size when it was recorded, in its own pixels
};

// Records page; only on the window's thread, which owns the widgets.
PagePicture RecordPage(QWidget *page);

// The sheet as a page layout describes it at a resolution (dots per inch),
// in those dots: the printable area's offset from the sheet's corner, the
// sheet and the printable area.
SheetGeometry SheetGeometryOf(const QPageLayout &layout, int resolution);

// Draws the recorded page onto the painter of a print job that the caller
// has begun on device and will end: scaled and centred inside the uniform
// margin (PlacePrintPicture). A page or a target area without size draws
// nothing and succeeds; the painter's state is left as it was. Fails when
// the painter has stopped working. Any thread may call it for a device of
// its own.
Result<> Print_Control(const PagePicture &page, QPagedPaintDevice &device, QPainter &painter);

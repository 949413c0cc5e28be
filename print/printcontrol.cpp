#include "print/printcontrol.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QWidget>

PagePicture RecordPage(QWidget *page)
{
    // QWidget::render() straight onto a printer's painter paints the widget
    // into one bitmap and prints that (Qt does so for every device of the
    // kind Printer): a page of 9583 x 8120 pixels for an A4 sheet at 1200
    // dpi, with no text left in it. Recorded into a picture, the page and
    // its children paint as they would on screen, command by command.
    PagePicture recorded;
    recorded.size = page->size();
    QPainter recorder(&recorded.picture);
    page->render(&recorder, QPoint(), QRegion(),
                 QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return recorded;
}

SheetGeometry SheetGeometryOf(const QPageLayout &layout, int resolution)
{
    // Both in device pixels: the sheet from (0, 0), the printable area where
    // a painter on the device has its origin.
    const QRect paper = layout.fullRectPixels(resolution);
    const QRect page = layout.paintRectPixels(resolution);
    return {page.left() - paper.left(),
            page.top() - paper.top(),
            paper.width(),
            paper.height(),
            page.width(),
            page.height()};
}

Result<> Print_Control(const PagePicture &page, QPagedPaintDevice &device, QPainter &painter)
{
    if (!painter.isActive())
        return Fail(QStringLiteral("The printer cannot be drawn on."));
    const QSize source = page.size;
    const PrintPlacement placement =
        PlacePrintPicture(SheetGeometryOf(device.pageLayout(), device.logicalDpiX()), source);
    if (placement.IsEmpty())
        return {};

    painter.save();
    painter.translate(placement.target.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), placement.target.size()));
    painter.translate(placement.picture.topLeft());
    painter.scale(double(placement.picture.width()) / source.width(),
                  double(placement.picture.height()) / source.height());
    // A picture plays itself scaled by the device's resolution over its own
    // (1200 / 96 = 12.5 on a printer at 1200 dpi), as if its pixels were
    // the screen's; the page's pixels are already scaled above.
    painter.scale(double(page.picture.logicalDpiX()) / device.logicalDpiX(),
                  double(page.picture.logicalDpiY()) / device.logicalDpiY());
    painter.drawPicture(0, 0, page.picture);
    painter.restore();
    if (!painter.isActive())
        return Fail(QStringLiteral("The printer stopped while the page was drawn."));
    return {};
}

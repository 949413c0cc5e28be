#include "print/printgeometry.h"

#include <algorithm>

PrintPlacement PlacePrintPicture(const SheetGeometry &sheet, const QSize &source)
{
    const int sheetWidth = sheet.sheetWidth > 0 ? sheet.sheetWidth : sheet.printableWidth;
    const int sheetHeight = sheet.sheetHeight > 0 ? sheet.sheetHeight : sheet.printableHeight;
    const int rightMargin = sheetWidth - sheet.printableWidth - sheet.offsetX;
    const int bottomMargin = sheetHeight - sheet.printableHeight - sheet.offsetY;

    PrintPlacement placement;
    const int m = std::max({sheet.offsetX, sheet.offsetY, rightMargin, bottomMargin});
    placement.margin = m;
    const int a = sheetWidth - 2 * m;
    const int b = sheetHeight - 2 * m;
    if (a <= 0 || b <= 0 || source.width() <= 0 || source.height() <= 0)
        return placement;
    placement.target = QRect(m - sheet.offsetX, m - sheet.offsetY, a, b);

    const double sx = double(a) / source.width();
    const double sy = double(b) / source.height();
    if (sx < sy) {
        const int height = int(source.height() * sx);
        placement.picture = QRect(0, b / 2 - height / 2, a, height);
    } else {
        const int width = int(source.width() * sy);
        placement.picture = QRect(a / 2 - width / 2, 0, width, b);
    }
    return placement;
}

#include "app/windowplacement.h"

#include <algorithm>

QPoint PlaceWindow(const QRect &stored, const QList<QRect> &screens, const QRect &primaryArea)
{
    const QRect band(stored.left(), stored.top(), stored.width(), kTitleBand);
    for (const QRect &screen : screens) {
        const QRect seen = band & screen;
        if (seen.width() >= kGripWidth && seen.height() >= kGripHeight)
            return stored.topLeft();
    }
    if (primaryArea.isEmpty())
        return stored.topLeft();
    // Centred; a window larger than the area starts at the area's top left.
    const int left = primaryArea.left() + (primaryArea.width() - stored.width()) / 2;
    const int top = primaryArea.top() + (primaryArea.height() - stored.height()) / 2;
    return {std::max(left, primaryArea.left()), std::max(top, primaryArea.top())};
}

#include "app/windowplacement.h"

#include <algorithm>

QRect StoredWindowRect(int left, int top, int width, int height, int minHeight, const QRect &area)
{
    constexpr int kFarAway = 1000000;
    const int most = area.isEmpty() ? minHeight : std::max(minHeight, area.height());
    return {std::clamp(left, -kFarAway, kFarAway), std::clamp(top, -kFarAway, kFarAway), width,
            std::clamp(height, minHeight, most)};
}

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

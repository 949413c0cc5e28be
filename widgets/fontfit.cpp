#include "widgets/fontfit.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace {

constexpr int kSmallestFitPixels = 8;

} // namespace

QFont FontToFit(QFont font, const QStringList &texts, int room)
{
    const auto widest = [&texts](const QFont &candidate) {
        const QFontMetrics metrics(candidate);
        int width = 0;
        for (const QString &text : texts)
            width = std::max(width, metrics.horizontalAdvance(text));
        return width;
    };
    for (const int stretch : {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed}) {
        font.setStretch(stretch);
        if (widest(font) <= room)
            return font;
    }
    while (font.pixelSize() > kSmallestFitPixels && widest(font) > room)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

int CaptionRoom(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle *style = button->style();
    return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() -
           style->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
}

int ItemRoom(const QComboBox *combo, const QSize &size)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = QRect(QPoint(), size);
    option.editable = false;
    option.frame = true;
    return combo->style()
               ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
               .width() -
           2;
}

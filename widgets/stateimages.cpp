#include "widgets/stateimages.h"

#include "widgets/palette.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTreeWidget>

#include <array>

QPixmap StateImage(int index, qreal devicePixelRatio)
{
    const int side = qRound(16 * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    switch (index) {
    case 0:
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(2, 2, 11, 11));
        break;
    case 1:
    case 2: {
        // Strokes from pixel 4 to pixel 11 inclusive, 2.5 px wide.
        QPen pen(Qt::black, 2.5, Qt::SolidLine, Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(4.2, 4.2), QPointF(11.8, 11.8));
        painter.drawLine(QPointF(11.8, 4.2), QPointF(4.2, 11.8));
        break;
    }
    case 3:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 255, 0));
        painter.drawEllipse(QRectF(4, 4, 8, 8));
        break;
    case kStateNotAnswering: {
        // A red disc of 12 px, wider than the green one so that it shows at a
        // glance, crossed by 2 px white strokes from pixel 5 to pixel 10: at
        // 16 px a thinner cross in a smaller disc blurs into a ring.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(220, 0, 0));
        painter.drawEllipse(QRectF(2, 2, 12, 12));
        painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(5, 5), QPointF(11, 11));
        painter.drawLine(QPointF(11, 5), QPointF(5, 11));
        break;
    }
    default:
        break;
    }
    return pixmap;
}

QIcon StateIcon(int index)
{
    if (index < 1 || index > kStateNotAnswering)
        return {};
    // Drawn once each: a configuration tree asks for one per node, 67 at
    // every start. The cache goes with the application object, before the
    // pixmaps would outlive it.
    static std::array<QIcon, kStateNotAnswering + 1> cache;
    static const bool cleared = [] {
        qAddPostRoutine([] { cache.fill(QIcon()); });
        return true;
    }();
    Q_UNUSED(cleared);
    QIcon &icon = cache[size_t(index)];
    if (icon.isNull()) {
        icon.addPixmap(StateImage(index, 1.0));
        icon.addPixmap(StateImage(index, 2.0));
    }
    return icon;
}

void SetUpStateTree(QTreeWidget *tree)
{
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setIndentation(15);
    tree->setIconSize(QSize(16, 16));
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetBackground(tree, kWhite);
}

void SetUpModuleListTree(QTreeWidget *tree)
{
    SetUpStateTree(tree);
    tree->setRootIsDecorated(false);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setFocusPolicy(Qt::NoFocus);
}

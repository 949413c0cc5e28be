#include "app/taboutbox.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextEdit>

#include <cmath>

QPixmap ProductPicture(const QSize &size)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(34, 61, 99));
    sky.setColorAt(1, QColor(14, 28, 48));
    p.fillRect(r, sky);

    // Grid of a trend chart.
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    for (qreal x = r.width() * 0.30; x < r.width(); x += r.width() / 14)
        p.drawLine(QPointF(x, r.height() * 0.12), QPointF(x, r.height() * 0.88));
    for (qreal y = r.height() * 0.12; y < r.height() * 0.9; y += r.height() / 8)
        p.drawLine(QPointF(r.width() * 0.30, y), QPointF(r.width() * 0.96, y));

    // Two trend lines in the first two series colours of the plot page.
    const auto trend = [&](const QColor &colour, qreal base, qreal swing, qreal phase) {
        QPainterPath path;
        for (int i = 0; i <= 60; ++i) {
            const qreal x = r.width() * (0.30 + 0.66 * i / 60.0);
            const qreal y = r.height() * (base - swing * std::sin(i / 9.0 + phase) - 0.004 * i);
            if (i == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        p.setPen(QPen(colour, 2.2));
        p.drawPath(path);
    };
    trend(QColor(255, 80, 80), 0.55, 0.10, 0.0);
    trend(QColor(110, 200, 255), 0.72, 0.06, 1.3);

    // The probe: a sheath with a sensing tip and a cable head.
    const qreal cx = r.width() * 0.15;
    const qreal top = r.height() * 0.10;
    const qreal bottom = r.height() * 0.88;
    const qreal w = r.width() * 0.035;
    p.setPen(Qt::NoPen);
    QLinearGradient steel(QPointF(cx - w, 0), QPointF(cx + w, 0));
    steel.setColorAt(0, QColor(150, 155, 165));
    steel.setColorAt(0.5, QColor(235, 238, 242));
    steel.setColorAt(1, QColor(120, 125, 135));
    p.setBrush(steel);
    p.drawRoundedRect(
        QRectF(cx - w / 2, top + r.height() * 0.16, w, bottom - top - r.height() * 0.16), w / 2,
        w / 2);
    p.setBrush(QColor(60, 60, 66));
    p.drawRoundedRect(QRectF(cx - w * 1.4, top, w * 2.8, r.height() * 0.18), 4, 4);
    p.setBrush(QColor(255, 80, 80));
    p.drawEllipse(QPointF(cx, bottom - w * 0.4), w * 0.75, w * 0.75);

    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(qMax(10, size.height() / 7));
    p.setFont(font);
    p.setPen(QColor(235, 240, 248));
    p.drawText(QRectF(r.width() * 0.30, r.height() * 0.02, r.width() * 0.66, r.height() * 0.18),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("KELVORA"));
    return pixmap;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = side;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(34, 61, 99));
        p.drawRoundedRect(QRectF(0, 0, s, s), s / 6, s / 6);
        // Sheath, cable head and the red sensing tip, centred.
        p.setBrush(QColor(225, 228, 234));
        p.drawRect(QRectF(s * 0.42, s * 0.22, s * 0.16, s * 0.56));
        p.setBrush(QColor(150, 155, 165));
        p.drawRect(QRectF(s * 0.32, s * 0.08, s * 0.36, s * 0.18));
        p.setBrush(QColor(255, 80, 80));
        p.drawEllipse(QPointF(s * 0.5, s * 0.78), s * 0.15, s * 0.15);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(371, 317);
    setModal(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(7, 0, 357, 177);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(3, 176, 365, 101);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);

    QFont bold = font();
    bold.setBold(true);
    ProductName = new QLabel(QStringLiteral("Kelvora"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setFont(bold);
    ProductName->move(48, 12);
    Version = new QLabel(QStringLiteral("Version 3.1"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setFont(bold);
    Version->move(48, 36);

    Copyright = new QLabel(QStringLiteral("RTD bus master"), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->move(200, 12);
    Comments = new QLabel(QStringLiteral("Modbus RTU, 19200 baud"), Panel1);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->move(200, 36);

    Description = new QTextEdit(Panel1);
    Description->setObjectName(QStringLiteral("Description"));
    Description->setGeometry(16, 60, 337, 37);
    Description->setReadOnly(true);
    Description->setFrameShape(QFrame::NoFrame);
    Description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Description->viewport()->setAutoFillBackground(false);
    Description->setAlignment(Qt::AlignCenter);
    Description->setPlainText(QStringLiteral(
        "Configures, meters, plots and logs RTD temperature-input modules on an RS-485 bus."));
    Description->setAlignment(Qt::AlignCenter);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(153, 282, 65, 33);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    // Placed before the window system maps it, so it never shows elsewhere
    // first (Qt would put a dialog over its parent).
    if (!event->spontaneous()) {
        // Painted when first wanted rather than at every start-up.
        if (Image1->pixmap().isNull())
            Image1->setPixmap(ProductPicture(Image1->size()));
        if (const QScreen *where = screen()) {
            const QRect area = where->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
        OKButton->setFocus();
    }
    QDialog::showEvent(event);
}

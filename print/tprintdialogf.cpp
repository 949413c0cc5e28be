#include "print/tprintdialogf.h"

#include "widgets/palette.h"

#include <QLabel>
#include <QTimer>

TPrintDialogF::TPrintDialogF(std::function<bool()> jobRunning, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_jobRunning(std::move(jobRunning))
{
    setObjectName(QStringLiteral("PrintDialogF"));
    setWindowTitle(QStringLiteral("Printing..."));
    setFixedSize(214, 85);
    SetDialogFont(this);

    Label1 = new QLabel(QStringLiteral("Page will Resize while Printing. "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(0, 20, 214, 16);
    Label1->setAlignment(Qt::AlignCenter);
    wait_L = new QLabel(QStringLiteral("Please Wait."), this);
    wait_L->setObjectName(QStringLiteral("wait_L"));
    // Wide enough for all 26 dots, and left-aligned so that the words stay
    // where they are while the dots grow.
    wait_L->setGeometry(70, 44, 144, 16);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TPrintDialogF::Timer1Timer);
}

void TPrintDialogF::showEvent(QShowEvent *event)
{
    if (const QWidget *owner = parentWidget()) {
        const QRect frame = frameGeometry();
        move(owner->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2) +
             (pos() - frame.topLeft()));
    }
    QDialog::showEvent(event);
    if (!Timer1->isActive())
        Timer1->start();
}

void TPrintDialogF::Timer1Timer()
{
    ++dots;
    if (!m_jobRunning || !m_jobRunning()) {
        Timer1->stop();
        close();
        return;
    }
    wait_L->setText(QStringLiteral("Please Wait") + QString(dots, QLatin1Char('.')));
    if (dots > 25)
        dots = 0;
}

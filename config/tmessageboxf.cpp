#include "config/tmessageboxf.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace {

// Qt sizes a window by its client area; the sizes this box is known by are
// outer sizes. A single fixed border of 3 pixels and a 22-pixel caption bar is
// the frame they were drawn with, so the client area is 6 pixels narrower and
// 28 pixels lower than the outer size.
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 28;

// A label keeps at least this much room above the buttons.
constexpr int kLabelClearance = 8;

constexpr int kFontPixels = 11;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kDesignProgressMaximum = 1500;

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text,
                        QStyle::StandardPixmap icon, int left)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setIcon(parent->style()->standardIcon(icon, nullptr, button));
    button->setGeometry(left, 431, kButtonWidth, kButtonHeight);
    return button;
}

} // namespace

TMessageBoxF::TMessageBoxF(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("MessageBoxF"));
    QFont boxFont = font();
    boxFont.setPixelSize(kFontPixels);
    setFont(boxFont);
    setFixedSize(472, 469);

    text_L = new QLabel(this);
    text_L->setObjectName(QStringLiteral("text_L"));
    text_L->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Texts are shown as written: a file name or message with "<" in it must
    // not be taken for markup.
    text_L->setTextFormat(Qt::PlainText);
    text_L->move(188, 8);

    ok_B = MakeButton(this, "ok_B", QStringLiteral("OK"), QStyle::SP_DialogOkButton, 72);
    cancel_B =
        MakeButton(this, "cancel_B", QStringLiteral("Cancel"), QStyle::SP_DialogCancelButton, 174);
    yes_B = MakeButton(this, "yes_B", QStringLiteral("&Yes"), QStyle::SP_DialogYesButton, 284);
    no_B = MakeButton(this, "no_B", QStringLiteral("&No"), QStyle::SP_DialogNoButton, 386);
    connect(ok_B, &QPushButton::clicked, this, [this] { done(kResultOk); });
    connect(cancel_B, &QPushButton::clicked, this, [this] { done(kResultCancel); });
    connect(yes_B, &QPushButton::clicked, this, [this] { done(kResultYes); });
    connect(no_B, &QPushButton::clicked, this, [this] { done(kResultNo); });

    memo_E = new QTextEdit(this);
    memo_E->setObjectName(QStringLiteral("memo_E"));
    memo_E->setReadOnly(true);
    memo_E->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_E->setGeometry(8, 79, 441, 330);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, kDesignProgressMaximum);
    ProgressBar1->setValue(0);
    ProgressBar1->setGeometry(24, 40, 409, 17);
}

void TMessageBoxF::SetOuterSize(int width, int height)
{
    setFixedSize(width - kFrameWidth, height - kFrameHeight);
}

void TMessageBoxF::GrowToFit(int clientHeight)
{
    if (clientHeight <= height())
        return;
    // No taller than the screen leaves room for: beyond that the memo scrolls.
    const QWidget *anchor = parentWidget() ? parentWidget() : this;
    if (const QScreen *screen = anchor->screen())
        clientHeight = std::min(clientHeight, screen->availableGeometry().height() - kFrameHeight);
    if (clientHeight > height())
        setFixedSize(width(), clientHeight);
}

void TMessageBoxF::PlaceLabel(const QString &text)
{
    const int cw = width();
    text_L->setWordWrap(false);
    text_L->setText(text);
    text_L->adjustSize();
    if (text_L->width() > cw) {
        const int wrapped = cw - 20;
        text_L->setWordWrap(true);
        text_L->resize(wrapped, text_L->heightForWidth(wrapped));
    }
    text_L->move(cw / 2 - text_L->width() / 2, 16);
}

void TMessageBoxF::PlaceButtons(int button_mode)
{
    const int cw = width();
    const int top = height() - 40;
    for (QPushButton *button : {ok_B, cancel_B, yes_B, no_B})
        button->move(button->x(), top);

    QPushButton *defaultButton = ok_B;
    switch (button_mode) {
    case 0:
        ok_B->move(cw / 2 - 37, top);
        cancel_B->hide();
        yes_B->hide();
        no_B->hide();
        m_escapeResult = kResultOk;
        m_escapeAnswers = false;
        break;
    case 1:
        ok_B->move(cw / 2 - 100, top);
        cancel_B->move(cw / 2 + 25, top);
        yes_B->hide();
        no_B->hide();
        m_escapeResult = kResultCancel;
        break;
    case 4:
        yes_B->move(cw / 2 - 100, top);
        no_B->move(cw / 2 + 25, top);
        ok_B->hide();
        cancel_B->hide();
        defaultButton = yes_B;
        m_escapeResult = kResultNo;
        break;
    default:
        ok_B->move(72, top);
        cancel_B->move(174, top);
        yes_B->move(284, top);
        no_B->move(386, top);
        m_escapeResult = kResultCancel;
        break;
    }
    defaultButton->setDefault(true);
    defaultButton->setFocus();
}

std::unique_ptr<TMessageBoxF> TMessageBoxF::NewProgressBox(QWidget *owner, const QString &caption,
                                                           int maximum, int outerHeight)
{
    std::unique_ptr<TMessageBoxF> box(new TMessageBoxF(owner));
    box->m_progress = true;
    box->SetOuterSize(400, outerHeight);
    for (QWidget *control :
         {static_cast<QWidget *>(box->text_L), static_cast<QWidget *>(box->ok_B),
          static_cast<QWidget *>(box->yes_B), static_cast<QWidget *>(box->no_B),
          static_cast<QWidget *>(box->cancel_B), static_cast<QWidget *>(box->memo_E)})
        control->hide();
    box->setWindowTitle(caption);
    box->ProgressBar1->setValue(0);
    // A range of 0..0 would make the bar a busy indicator; an empty bar is
    // what "nothing to do" looks like.
    box->ProgressBar1->setMaximum(std::max(maximum, 1));
    box->ProgressBar1->setValue(0);
    return box;
}

std::unique_ptr<TMessageBoxF> TMessageBoxF::CreateProgressBox(QWidget *owner,
                                                              const QString &caption, int maximum)
{
    std::unique_ptr<TMessageBoxF> box = NewProgressBox(owner, caption, maximum, 100);
    box->ProgressBar1->setGeometry(10, box->height() / 2 - 10, box->width() - 20, 20);
    box->setWindowModality(Qt::NonModal);
    box->show();
    SetProgress(box.get(), 0);
    return box;
}

std::unique_ptr<TMessageBoxF>
TMessageBoxF::CreateCancellableProgressBox(QWidget *owner, const QString &caption, int maximum)
{
    // 30 pixels higher than the plain box, for the button under the bar.
    std::unique_ptr<TMessageBoxF> box = NewProgressBox(owner, caption, maximum, 130);
    box->m_cancellable = true;
    const int cw = box->width();
    box->ProgressBar1->setGeometry(10, 16, cw - 20, 20);
    box->cancel_B->move(cw / 2 - kButtonWidth / 2, box->height() - 40);
    box->cancel_B->disconnect(box.get());
    connect(box->cancel_B, &QPushButton::clicked, box.get(), &TMessageBoxF::Cancel);
    box->cancel_B->show();
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->cancel_B->setFocus();
    SetProgress(box.get(), 0);
    return box;
}

void TMessageBoxF::Cancel()
{
    if (!m_cancellable)
        return;
    m_cancelled = true;
    cancel_B->setEnabled(false);
}

std::unique_ptr<TMessageBoxF> TMessageBoxF::CreateMessageBox(QWidget *owner, const QString &text,
                                                             const QString &caption,
                                                             int button_mode)
{
    std::unique_ptr<TMessageBoxF> box(new TMessageBoxF(owner));
    box->SetOuterSize(400, 150);
    box->memo_E->hide();
    box->ProgressBar1->hide();
    box->PlaceLabel(text);
    // A text of more lines than the box has room for makes it taller.
    box->GrowToFit(box->text_L->geometry().bottom() + 1 + kLabelClearance + 40);
    box->setWindowTitle(caption);
    box->PlaceButtons(button_mode);
    return box;
}

std::unique_ptr<TMessageBoxF> TMessageBoxF::CreateMemoMessageBox(QWidget *owner,
                                                                 const QString &memo_text,
                                                                 const QString &label_text,
                                                                 const QString &caption,
                                                                 int button_mode)
{
    std::unique_ptr<TMessageBoxF> box(new TMessageBoxF(owner));
    box->SetOuterSize(400, 400);
    box->ProgressBar1->hide();
    box->PlaceLabel(label_text);

    QFont memoFont = box->memo_E->font();
    memoFont.setPixelSize(kFontPixels);
    box->memo_E->setFont(memoFont);
    box->memo_E->clear();
    box->memo_E->setPlainText(memo_text);
    const int cw = box->width();
    const int memoWidth = cw - 20;
    // The box grows until the memo shows its whole text: a warning whose
    // last line lay below the memo's edge could be confirmed unread.
    box->GrowToFit(box->MemoHeightFor(memoWidth) + 100);
    const int ch = box->height();
    box->memo_E->setGeometry(cw / 2 - memoWidth / 2, 40, memoWidth, ch - 100);

    box->setWindowTitle(caption);
    box->PlaceButtons(button_mode);
    return box;
}

int TMessageBoxF::MemoHeightFor(int memoWidth) const
{
    // The text is laid out in the memo's viewport: its width less the frame
    // on both sides and the scroll bar, which always shows.
    const int frame = memo_E->frameWidth();
    const int textWidth = memoWidth - 2 * frame - memo_E->verticalScrollBar()->sizeHint().width();
    const std::unique_ptr<QTextDocument> layout(memo_E->document()->clone());
    layout->setTextWidth(std::max(1, textWidth));
    return int(std::ceil(layout->size().height())) + 2 * frame;
}

void TMessageBoxF::SetProgress(TMessageBoxF *box, int position)
{
    if (!box)
        return;
    box->ProgressBar1->setValue(position);
    box->ProgressBar1->repaint();
    ProcessWindowEvents();
}

void TMessageBoxF::ProcessWindowEvents()
{
    // The window system's events (exposure, mapping, the window manager's
    // pings) are what let the box appear and redraw, and every window answer,
    // while the caller keeps the thread. Timer events stay queued: whatever
    // its name, X11ExcludeTimers is honoured by Qt's Unix event dispatchers
    // (glib or not) under every platform plugin. A metering tick or any other
    // timer handler must not run inside a scan or a send.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::X11ExcludeTimers);
}

void TMessageBoxF::ProcessWindowEventsAndInput()
{
    QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers);
}

void TMessageBoxF::reject()
{
    // A progress box belongs to the loop that made it; only the loop ends it.
    // Escape on a cancellable one asks the loop to end.
    if (m_progress) {
        Cancel();
        return;
    }
    done(m_escapeResult);
}

void TMessageBoxF::keyPressEvent(QKeyEvent *event)
{
    if (m_cancellable && event->key() == Qt::Key_Escape) {
        Cancel();
        event->accept();
        return;
    }
    // A progress box answers no other key; in mode 0 no shown button answers
    // Escape.
    if (m_progress || (event->key() == Qt::Key_Escape && !m_escapeAnswers)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMessageBoxF::closeEvent(QCloseEvent *event)
{
    if (m_progress && event->spontaneous()) {
        Cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

int ShowMessageBox(QWidget *owner, const QString &text, const QString &caption, int button_mode)
{
    const auto box = TMessageBoxF::CreateMessageBox(owner, text, caption, button_mode);
    return box->exec();
}

int ShowMemoMessageBox(QWidget *owner, const QString &memo_text, const QString &label_text,
                       const QString &caption, int button_mode)
{
    const auto box =
        TMessageBoxF::CreateMemoMessageBox(owner, memo_text, label_text, caption, button_mode);
    return box->exec();
}

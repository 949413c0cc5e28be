#include "config/tmessageboxf.h"
#include "modules/miscinfopage.h"
#include "support/modal.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <map>

// Client sizes: the box's outer sizes less a 3-pixel border on each side and a
// 22-pixel caption, so 400 x 150 leaves 394 x 122 and 400 x 400 leaves
// 394 x 372 (CW = 394, CH = 122 or 372).
class TestTMessageBoxF : public QObject
{
    Q_OBJECT

private slots:
    void buttonsByMode_data();
    void buttonsByMode();
    void modalResult_data();
    void modalResult();
    void escapeLeavesAnOkOnlyBoxStanding();
    void labelWrapsOnlyWhenWiderThanTheBox_data();
    void labelWrapsOnlyWhenWiderThanTheBox();
    void memoBoxPlacesMemoAndKeepsLines();
    void wholeTextShows_data();
    void wholeTextShows();
    void progressBoxWithMaximumZeroShowsAnEmptyBar();
    void progressBoxFollowsSetProgressAndCannotBeDismissed();
    void timersWaitWhileAProgressBoxStands();
    void aTimerThatFellDueDuringProgressFiresAfterwards();
    void cancellableBoxIsCancelledAndStands_data();
    void cancellableBoxIsCancelledAndStands();

private:
    QWidget m_owner;
};

namespace {

using Lefts = QMap<QString, int>;

std::map<QString, QPushButton *> Buttons(const TMessageBoxF &box)
{
    return {{QStringLiteral("ok"), box.ok_B},
            {QStringLiteral("cancel"), box.cancel_B},
            {QStringLiteral("yes"), box.yes_B},
            {QStringLiteral("no"), box.no_B}};
}

} // namespace

void TestTMessageBoxF::buttonsByMode_data()
{
    QTest::addColumn<int>("mode");
    // The lefts of the buttons shown, by name; absent buttons are hidden.
    QTest::addColumn<Lefts>("lefts");
    QTest::newRow("0: OK centred") << 0 << Lefts{{QStringLiteral("ok"), 160}};
    QTest::newRow("1: OK and Cancel")
        << 1 << Lefts{{QStringLiteral("ok"), 97}, {QStringLiteral("cancel"), 222}};
    QTest::newRow("4: Yes and No")
        << 4 << Lefts{{QStringLiteral("yes"), 97}, {QStringLiteral("no"), 222}};
    QTest::newRow("other: all four at their design places")
        << 2
        << Lefts{{QStringLiteral("ok"), 72},
                 {QStringLiteral("cancel"), 174},
                 {QStringLiteral("yes"), 284},
                 {QStringLiteral("no"), 386}};
}

void TestTMessageBoxF::buttonsByMode()
{
    QFETCH(int, mode);
    QFETCH(Lefts, lefts);
    const auto box = TMessageBoxF::CreateMessageBox(&m_owner, QStringLiteral("Text"),
                                                    QStringLiteral("Caption"), mode);
    box->show();
    QCOMPARE(box->size(), QSize(394, 122));
    QCOMPARE(box->windowTitle(), QStringLiteral("Caption"));
    for (const auto &[name, button] : Buttons(*box)) {
        QCOMPARE(button->isVisible(), lefts.contains(name));
        if (lefts.contains(name)) {
            QCOMPARE(button->pos(), QPoint(lefts[name], 122 - 40));
            QCOMPARE(button->size(), QSize(75, 25));
        }
    }
    QVERIFY(!box->memo_E->isVisible());
    QVERIFY(!box->ProgressBar1->isVisible());
}

void TestTMessageBoxF::modalResult_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("press"); // a key or a button's object name
    QTest::addColumn<int>("result");

    QTest::newRow("0 Enter") << 0 << QStringLiteral("Enter") << 1;
    QTest::newRow("1 Enter") << 1 << QStringLiteral("Enter") << 1;
    QTest::newRow("1 Escape") << 1 << QStringLiteral("Escape") << 2;
    QTest::newRow("1 Cancel") << 1 << QStringLiteral("cancel_B") << 2;
    QTest::newRow("4 Enter") << 4 << QStringLiteral("Enter") << 6;
    QTest::newRow("4 Escape") << 4 << QStringLiteral("Escape") << 7;
    QTest::newRow("4 No") << 4 << QStringLiteral("no_B") << 7;
    QTest::newRow("all four: Yes") << 3 << QStringLiteral("yes_B") << 6;
    QTest::newRow("all four: Escape") << 3 << QStringLiteral("Escape") << 2;
}

void TestTMessageBoxF::modalResult()
{
    QFETCH(int, mode);
    QFETCH(QString, press);
    QFETCH(int, result);

    const auto answer = [press](QWidget *modal) {
        if (press == QLatin1StringView("Enter"))
            QTest::keyClick(modal, Qt::Key_Return);
        else if (press == QLatin1StringView("Escape"))
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            modal->findChild<QPushButton *>(press)->click();
    };
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, answer);
    QCOMPARE(ShowMessageBox(&m_owner, QStringLiteral("Question?"), QStringLiteral("Caption"), mode),
             result);

    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Caption"));
    QCOMPARE(seen->text, QStringLiteral("Question?"));

    AnswerNextModal(seen, answer);
    QCOMPARE(ShowMemoMessageBox(&m_owner, QStringLiteral("Long text"), QStringLiteral("Warning!"),
                                QStringLiteral("Please Read Carefully"), mode),
             result);
}

// Only Cancel and No answer Escape. In mode 0 OK stands alone, so Escape
// leaves the box up; Enter then answers it.
void TestTMessageBoxF::escapeLeavesAnOkOnlyBoxStanding()
{
    for (const bool memo : {false, true}) {
        bool openAfterEscape = false;
        auto seen = std::make_shared<ModalSeen>();
        AnswerNextModal(seen, [&openAfterEscape](QWidget *modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            openAfterEscape = modal->isVisible();
            QTest::keyClick(modal, Qt::Key_Return);
        });
        const int result =
            memo ? ShowMemoMessageBox(&m_owner, QStringLiteral("Long text"),
                                      QStringLiteral("Warning!"), QStringLiteral("Caption"), 0)
                 : ShowMessageBox(&m_owner, QStringLiteral("Error in Configuration File."),
                                  QStringLiteral("File Error"), 0);
        QVERIFY(seen->seen);
        QVERIFY2(openAfterEscape, memo ? "memo box" : "message box");
        QCOMPARE(result, 1);
    }
}

void TestTMessageBoxF::labelWrapsOnlyWhenWiderThanTheBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wraps");

    QTest::newRow("short") << QStringLiteral("Error in Configuration File.") << false;
    QTest::newRow("two short lines")
        << QStringLiteral("Module may have to be powered down\nto complete configuration.")
        << false;
    QTest::newRow("markup shown as written")
        << QStringLiteral("<b>plant.cfg</b> <i>not found</i>") << false;
    QTest::newRow("long")
        << QStringLiteral("The configuration could not be written to every module on the bus; "
                          "check the wiring, the port and the module addresses, then try again.")
        << true;
}

void TestTMessageBoxF::labelWrapsOnlyWhenWiderThanTheBox()
{
    QFETCH(QString, text);
    QFETCH(bool, wraps);
    const auto box = TMessageBoxF::CreateMessageBox(&m_owner, text, QStringLiteral("Caption"), 0);
    box->show();
    const QLabel *label = box->text_L;
    const int cw = box->width();
    const int oneLine = label->fontMetrics().height();

    QCOMPARE(label->wordWrap(), wraps);
    QCOMPARE(label->y(), 16);
    // Centred: as much room on the left as on the right, give or take the odd pixel.
    QVERIFY(qAbs(label->x() - (cw - label->x() - label->width())) <= 1);
    if (wraps) {
        QCOMPARE(label->width(), cw - 20);
        QVERIFY(label->height() >= 2 * oneLine);
        QVERIFY(label->alignment() & Qt::AlignHCenter);
    } else {
        QVERIFY(label->width() <= cw);
        // Every character of the widest line is there to be seen.
        int widest = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        QVERIFY2(label->width() >= widest, qPrintable(QString::number(label->width())));
    }
}

void TestTMessageBoxF::memoBoxPlacesMemoAndKeepsLines()
{
    const auto box = TMessageBoxF::CreateMemoMessageBox(
        &m_owner, QStringLiteral("First line\nSecond line\nThird line"), QStringLiteral("Warning!"),
        QStringLiteral("Please Read Carefully"), 1);
    box->show();
    QCOMPARE(box->size(), QSize(394, 372));
    QCOMPARE(box->memo_E->geometry(), QRect(10, 40, 374, 272));
    QVERIFY(box->memo_E->isReadOnly());
    QCOMPARE(box->memo_E->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(box->memo_E->document()->blockCount(), 3);
    QCOMPARE(box->memo_E->font().pixelSize(), 11);
    QCOMPARE(box->text_L->text(), QStringLiteral("Warning!"));
    QCOMPARE(box->text_L->y(), 16);
    QCOMPARE(box->ok_B->pos(), QPoint(97, 372 - 40));
    QCOMPARE(box->cancel_B->pos(), QPoint(222, 372 - 40));
}

// A box keeps its described size while its text fits, and grows downwards
// until the whole text shows where it does not: the notch-filter warning's
// last line "All viewable units will have their frequency changed!" lay
// below the memo's edge, where one Enter confirmed it unread.
void TestTMessageBoxF::wholeTextShows_data()
{
    QTest::addColumn<bool>("memo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("grows");

    QString manyLines;
    for (int k = 1; k <= 12; ++k)
        manyLines += QStringLiteral("Line %1 of a long report.\n").arg(k);
    QString longSentences;
    for (int k = 1; k <= 6; ++k)
        longSentences +=
            QStringLiteral("Sentence %1 of a message that wraps across the box. ").arg(k);

    QTest::newRow("memo: three lines") << true << QStringLiteral("First\nSecond\nThird") << false;
    QTest::newRow("memo: the notch-filter warning")
        << true << MiscInfoPage::NotchWarningText() << true;
    QTest::newRow("memo: one long paragraph") << true << longSentences.repeated(6) << true;
    QTest::newRow("message: two lines")
        << false << QStringLiteral("Module may have to be powered down\nto complete configuration.")
        << false;
    QTest::newRow("message: twelve lines") << false << manyLines << true;
    QTest::newRow("message: wrapped sentences") << false << longSentences << true;
}

void TestTMessageBoxF::wholeTextShows()
{
    QFETCH(bool, memo);
    QFETCH(QString, text);
    QFETCH(bool, grows);
    const auto box =
        memo ? TMessageBoxF::CreateMemoMessageBox(&m_owner, text, QStringLiteral("Warning!"),
                                                  QStringLiteral("Please Read Carefully"), 1)
             : TMessageBoxF::CreateMessageBox(&m_owner, text, QStringLiteral("Caption"), 1);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    const int ch = box->height();
    QCOMPARE(box->ok_B->pos(), QPoint(97, ch - 40));
    QCOMPARE(box->cancel_B->pos(), QPoint(222, ch - 40));
    QCOMPARE(box->text_L->y(), 16);
    if (memo) {
        QCOMPARE(box->memo_E->geometry(), QRect(10, 40, 374, ch - 100));
        // Nothing to scroll to: the end of the text lies inside the memo.
        QCOMPARE(box->memo_E->verticalScrollBar()->maximum(), 0);
        QTextCursor end(box->memo_E->document());
        end.movePosition(QTextCursor::End);
        const QRect last = box->memo_E->cursorRect(end);
        QVERIFY2(
            box->memo_E->viewport()->rect().contains(last),
            qPrintable(
                QStringLiteral("%1 %2").arg(last.bottom()).arg(box->memo_E->viewport()->height())));
    } else {
        // The label is as high as its lines need, and they end above the
        // buttons.
        const QLabel *label = box->text_L;
        QVERIFY(label->height() >= (label->wordWrap() ? label->heightForWidth(label->width())
                                                      : label->sizeHint().height()));
        QVERIFY2(label->geometry().bottom() < box->ok_B->y(),
                 qPrintable(
                     QStringLiteral("%1 %2").arg(label->geometry().bottom()).arg(box->ok_B->y())));
    }
    const QSize described(394, memo ? 372 : 122);
    QCOMPARE(box->width(), described.width());
    if (grows)
        QVERIFY2(box->height() > described.height(), qPrintable(QString::number(box->height())));
    else
        QCOMPARE(box->size(), described);
}

void TestTMessageBoxF::progressBoxWithMaximumZeroShowsAnEmptyBar()
{
    const auto box =
        TMessageBoxF::CreateProgressBox(&m_owner, QStringLiteral("Sending Configuration"), 0);
    QVERIFY(box->isVisible());
    // Shown, not modal: the other windows still take the user's clicks.
    QPushButton other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    int clicks = 0;
    connect(&other, &QPushButton::clicked, &other, [&clicks] { ++clicks; });
    // Through the window, as the system delivers a click, so that a modal
    // box would block it.
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, other.rect().center());
    QCOMPARE(clicks, 1);
    QCOMPARE(box->windowTitle(), QStringLiteral("Sending Configuration"));
    QCOMPARE(box->size(), QSize(394, 72));
    QCOMPARE(box->ProgressBar1->geometry(), QRect(10, 72 / 2 - 10, 374, 20));
    // An empty bar, not a busy indicator (which is what a 0..0 range shows).
    QCOMPARE(box->ProgressBar1->value(), 0);
    QVERIFY(box->ProgressBar1->maximum() > box->ProgressBar1->minimum());
    for (const auto &[name, button] : Buttons(*box))
        QVERIFY2(!button->isVisible(), qPrintable(name));
    QVERIFY(!box->text_L->isVisible());
    QVERIFY(!box->memo_E->isVisible());
}

void TestTMessageBoxF::progressBoxFollowsSetProgressAndCannotBeDismissed()
{
    const auto box =
        TMessageBoxF::CreateProgressBox(&m_owner, QStringLiteral("Scanning Modules"), 3);
    QCOMPARE(box->ProgressBar1->maximum(), 3);
    QCOMPARE(box->ProgressBar1->value(), 0);
    TMessageBoxF::SetProgress(box.get(), 2);
    QCOMPARE(box->ProgressBar1->value(), 2);

    QTest::keyClick(box.get(), Qt::Key_Escape);
    QVERIFY(box->isVisible());
    QTest::keyClick(box.get(), Qt::Key_Return);
    QVERIFY(box->isVisible());
    TMessageBoxF::SetProgress(box.get(), 3);
    QCOMPARE(box->ProgressBar1->value(), 3);
}

// A metering tick must not run inside a scan or a send: the events a
// progress box processes to paint itself never fire a timer.
void TestTMessageBoxF::timersWaitWhileAProgressBoxStands()
{
    QTimer tick;
    tick.setInterval(0);
    int ticks = 0;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    {
        auto box =
            TMessageBoxF::CreateProgressBox(&m_owner, QStringLiteral("Scanning Modules"), 50);
        tick.start();
        for (int i = 1; i <= 50; ++i)
            TMessageBoxF::SetProgress(box.get(), i);
        QCOMPARE(ticks, 0);
    }
    QTRY_VERIFY(ticks > 0);
}

// Held back, not lost: a single-shot timer that falls due while the box
// stands fires once the thread is back in the event loop.
void TestTMessageBoxF::aTimerThatFellDueDuringProgressFiresAfterwards()
{
    QTimer once;
    once.setSingleShot(true);
    once.setInterval(1);
    int fired = 0;
    connect(&once, &QTimer::timeout, this, [&fired] { ++fired; });
    {
        auto box =
            TMessageBoxF::CreateProgressBox(&m_owner, QStringLiteral("Setting Frequency"), 3);
        once.start();
        for (int i = 1; i <= 3; ++i) {
            QTest::qSleep(5); // the bus work of one module
            TMessageBoxF::SetProgress(box.get(), i);
        }
        QCOMPARE(fired, 0);
    }
    QTRY_COMPARE(fired, 1);
}

// The bus search's box: the loop's idle function takes the user's input, so
// a click on Cancel (or Escape) is seen between two attempts. The box is
// marked and stays for the loop to end; every other window's input is kept
// away meanwhile, and timers still wait.
void TestTMessageBoxF::cancellableBoxIsCancelledAndStands_data()
{
    QTest::addColumn<bool>("click");
    QTest::newRow("Cancel clicked") << true;
    QTest::newRow("Escape") << false;
}

void TestTMessageBoxF::cancellableBoxIsCancelledAndStands()
{
    QFETCH(bool, click);
    QTimer tick;
    tick.setInterval(0);
    int ticks = 0;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    QPushButton other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    int clicks = 0;
    connect(&other, &QPushButton::clicked, &other, [&clicks] { ++clicks; });

    const auto box = TMessageBoxF::CreateCancellableProgressBox(
        &m_owner, QStringLiteral("Searching the Bus"), 63);
    QCOMPARE(box->windowTitle(), QStringLiteral("Searching the Bus"));
    QCOMPARE(box->size(), QSize(394, 102));
    QCOMPARE(box->ProgressBar1->geometry(), QRect(10, 16, 374, 20));
    QCOMPARE(box->ProgressBar1->maximum(), 63);
    QVERIFY(box->cancel_B->isVisible());
    QCOMPARE(box->cancel_B->geometry(), QRect(394 / 2 - 37, 102 - 40, 75, 25));
    for (QWidget *hidden : {static_cast<QWidget *>(box->ok_B), static_cast<QWidget *>(box->yes_B),
                            static_cast<QWidget *>(box->no_B), static_cast<QWidget *>(box->text_L),
                            static_cast<QWidget *>(box->memo_E)})
        QVERIFY(!hidden->isVisible());

    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, other.rect().center());
    TMessageBoxF::ProcessWindowEventsAndInput();
    QCOMPARE(clicks, 0);
    QVERIFY(!box->Cancelled());

    if (click)
        QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {},
                          box->cancel_B->geometry().center());
    else
        QTest::keyClick(box.get(), Qt::Key_Escape);
    TMessageBoxF::ProcessWindowEventsAndInput();
    QVERIFY(box->Cancelled());
    QVERIFY(box->isVisible());
    QVERIFY(!box->cancel_B->isEnabled());
    TMessageBoxF::SetProgress(box.get(), 20);
    QCOMPARE(box->ProgressBar1->value(), 20);

    // (QTest's clicks run timers of their own; the loop's processing does not.)
    tick.start();
    for (int i = 0; i < 20; ++i)
        TMessageBoxF::ProcessWindowEventsAndInput();
    QCOMPARE(ticks, 0);
}

QTEST_MAIN(TestTMessageBoxF)
#include "tst_tmessageboxf.moc"

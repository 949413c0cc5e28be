#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;

// The program's own small dialog, for two jobs:
//  - a progress window that stays up while a loop of bus transactions keeps
//    the user-interface thread busy (CreateProgressBox, SetProgress), in a
//    variant with a Cancel button for a loop the user may give up
//    (CreateCancellableProgressBox);
//  - a modal message box with a text, an optional long scrolling text and a
//    choice of buttons (ShowMessageBox, ShowMemoMessageBox).
//
// Every use creates a fresh box and frees it afterwards. The box has a fixed
// size, no title-bar buttons, stays on top and is centred over its owner.
// A message box shows its whole text: where the label's lines or the memo's
// text need more height than the box's size gives them, the box grows
// downwards until they fit (as far as the screen allows; beyond that the
// memo scrolls), and the buttons stay 40 pixels above its bottom edge.
//
// Buttons by button_mode (CW, CH = client width and height; all tops CH - 40):
//   0      OK at CW/2 - 37
//   1      OK at CW/2 - 100, Cancel at CW/2 + 25
//   4      Yes at CW/2 - 100, No at CW/2 + 25
//   other  OK, Cancel, Yes, No at 72, 174, 284, 386
// Modal results: OK 1, Cancel 2, Yes 6, No 7. Enter presses OK (Yes in mode
// 4). Escape presses Cancel (No in mode 4), and only those two answer it: in
// mode 0, where OK stands alone, Escape does nothing and the box stays until
// OK is pressed. A close request from the window system gives the answer
// Escape would, and 1 in mode 0.
class TMessageBoxF : public QDialog
{
    Q_OBJECT

public:
    enum ModalResult
    {
        kResultOk = 1,
        kResultCancel = 2,
        kResultYes = 6,
        kResultNo = 7
    };

    // A progress window with the caption as its only text, the bar at 0 of
    // maximum (a maximum of 0 or less shows an empty bar). The box is shown at
    // once, not modal, and painted before this returns.
    static std::unique_ptr<TMessageBoxF> CreateProgressBox(QWidget *owner, const QString &caption,
                                                           int maximum);
    // A progress window as above with a Cancel button under the bar, for a
    // loop the user may give up. It is application modal: while it stands,
    // the user's input reaches this box and no other window, so the loop's
    // idle function may take input (ProcessWindowEventsAndInput) without any
    // other handler of the program starting. Cancel, Escape and a close
    // request mark the box Cancelled and disable the button; the box stays
    // until the loop, which asks Cancelled between its steps, ends it.
    static std::unique_ptr<TMessageBoxF>
    CreateCancellableProgressBox(QWidget *owner, const QString &caption, int maximum);
    // A message box with a one-part text, not yet shown.
    static std::unique_ptr<TMessageBoxF> CreateMessageBox(QWidget *owner, const QString &text,
                                                          const QString &caption, int button_mode);
    // A message box with a short label and a long text in the memo, not yet shown.
    static std::unique_ptr<TMessageBoxF>
    CreateMemoMessageBox(QWidget *owner, const QString &memo_text, const QString &label_text,
                         const QString &caption, int button_mode);

    // Moves the progress bar and paints the box. To let the box appear and
    // redraw while the caller keeps the thread, the window system's events are
    // processed, but neither user input nor timer events: no handler of the
    // program is started from the mouse, the keyboard or a timer in the middle
    // of the caller's loop. Input and timers that fall due meanwhile are not
    // lost; they are delivered once the caller returns to the event loop (a
    // repeating timer fires once for the ticks it missed). A caller that wants
    // its timer to start afresh after the loop stops and restarts it itself.
    static void SetProgress(TMessageBoxF *box, int position);
    // The event processing of SetProgress alone: the idle function of the
    // window's bus calls (Protocol::Idle), so that the windows answer (and
    // repaint) between the exchanges too.
    static void ProcessWindowEvents();
    // The same with the user's input, for the idle function of a loop under
    // a cancellable box, which keeps that input from every other window.
    // Timer events stay queued as in ProcessWindowEvents.
    static void ProcessWindowEventsAndInput();

    // Whether the user has cancelled a cancellable progress box.
    bool Cancelled() const { return m_cancelled; }
    QLabel *text_L = nullptr;
    QPushButton *ok_B = nullptr;
    QPushButton *cancel_B = nullptr;
    QPushButton *yes_B = nullptr;
    QPushButton *no_B = nullptr;
    QTextEdit *memo_E = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    explicit TMessageBoxF(QWidget *owner);

    // A progress box of the outer height, every control hidden but the bar,
    // which stands at 0 of maximum; not yet placed nor shown.
    static std::unique_ptr<TMessageBoxF> NewProgressBox(QWidget *owner, const QString &caption,
                                                        int maximum, int outerHeight);
    // Sets the outer window size; the client area is that less the frame.
    void SetOuterSize(int width, int height);
    // Makes the client area clientHeight high if it is lower, but no higher
    // than the owner's screen leaves room for.
    void GrowToFit(int clientHeight);
    // The height a memo memoWidth wide needs to show its whole text.
    int MemoHeightFor(int memoWidth) const;
    void PlaceLabel(const QString &text);
    void PlaceButtons(int button_mode);

    // Marks a cancellable box cancelled; no effect on any other box.
    void Cancel();

    bool m_progress = false;
    bool m_cancellable = false;
    bool m_cancelled = false;
    // The answer to a close request; Escape gives it only while the box shows
    // a Cancel or No button.
    int m_escapeResult = kResultCancel;
    bool m_escapeAnswers = true;
};

// Builds a message box, shows it modally, frees it and returns the modal result.
int ShowMessageBox(QWidget *owner, const QString &text, const QString &caption, int button_mode);
int ShowMemoMessageBox(QWidget *owner, const QString &memo_text, const QString &label_text,
                       const QString &caption, int button_mode);

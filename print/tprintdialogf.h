#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QTimer;

// The small "Printing..." window that Print Chart shows while the page
// goes to the printer: "Page will Resize while Printing. " and below it
// "Please Wait." with a growing row of dots. Client area 214 x 85, a title
// bar without buttons, centred on its owner, not modal.
//
// Timer1 ticks every 100 ms from the moment the window shows and runs
// Timer1Timer: the dot counter (1 at first) goes up by one; when no print
// job runs any more the window closes itself and its timer stops; otherwise
// wait_L shows "Please Wait" and that many dots, and a counter above 25
// starts again at 0. The label thus shows 2, 3, ... 26 dots, then 1, 2, ...
// 26 again. Whether a job runs is asked of jobRunning at each tick. The
// window is made before the print dialog asks, when no job runs yet; a tick
// then would close it for good, so the timer waits for the window to show.
class TPrintDialogF : public QDialog
{
    Q_OBJECT

public:
    TPrintDialogF(std::function<bool()> jobRunning, QWidget *owner);

    void Timer1Timer();

    QLabel *Label1 = nullptr;
    QLabel *wait_L = nullptr;
    QTimer *Timer1 = nullptr;
    int dots = 1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::function<bool()> m_jobRunning;
};

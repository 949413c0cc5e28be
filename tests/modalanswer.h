#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal widget from inside its own event loop: once the
// widget is the active modal one, `answer` runs with it (press a button,
// send Enter or Escape). Call it just before the code that opens the box.
inline void AnswerNextModal(std::function<void(QWidget *modal)> answer)
{
    QTimer::singleShot(0, qApp, [answer = std::move(answer)]() mutable {
        if (QWidget *modal = QApplication::activeModalWidget())
            answer(modal);
        else
            AnswerNextModal(std::move(answer));
    });
}

#pragma once

// Answers the next modal box from inside a test: a short timer polls for the
// active modal widget, records its caption and texts, and lets the test act
// on it (press a button, send Enter or Escape). Waiting is bounded.

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

struct ModalSeen
{
    bool seen = false;
    QString caption;
    QString text; // every label's text, joined by newlines
};

inline void AnswerNextModal(std::shared_ptr<ModalSeen> seen, std::function<void(QWidget *)> act,
                            int attempts = 500)
{
    QTimer::singleShot(10, qApp, [seen, act, attempts]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            if (attempts > 0)
                AnswerNextModal(seen, act, attempts - 1);
            return;
        }
        seen->seen = true;
        seen->caption = modal->windowTitle();
        QStringList texts;
        for (QLabel *label : modal->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        seen->text = texts.join(QLatin1Char('\n'));
        act(modal);
    });
}

// Presses the button whose text (mnemonics removed) is caption.
inline void PressButton(QWidget *modal, const QString &caption)
{
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
        if (button->text().remove(QLatin1Char('&')) == caption) {
            button->click();
            return;
        }
    }
}

inline void PressKey(QWidget *modal, int key)
{
    QWidget *target = modal->focusWidget() ? modal->focusWidget() : modal;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPoint;
class QPushButton;

// What the three option dialogs ("Comport Options", "Temperature Display",
// "Period Selection") share: a modal dialog of fixed size with a client area
// of 228 x 96, centred on the window that owns it when shown, in the 11-pixel
// dialog font its controls are placed for; labels that name their controls
// (the label is the control's buddy, so assistive technology reads the
// label's text as the control's name); and the buttons "OK" (the default
// button) and "Cancel", 75 x 25 each. OK runs ok_BClick, which stores the
// dialog's value and closes with OK; Cancel only closes.
class OptionDialog : public QDialog
{
    Q_OBJECT

public:
    virtual void ok_BClick() = 0;
    void cancel_BClick();

    QPushButton *ok_B = nullptr;
    QPushButton *cancel_B = nullptr;

protected:
    OptionDialog(QWidget *owner, const QString &name, const QString &caption);

    // A label at `at` naming control; its size fits its text.
    QLabel *AddLabel(const QString &name, const QString &text, const QPoint &at, QWidget *control);
    // A drop-down list (no typing) at `at`, `width` wide. A chosen text wider
    // than the list is shortened in the middle.
    QComboBox *AddDropDownList(const QString &name, const QPoint &at, int width);
    // OK and Cancel at the given places, after the controls made before them
    // in the tab order.
    void AddButtons(const QPoint &ok, const QPoint &cancel);
};

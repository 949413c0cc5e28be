#pragma once

#include "widgets/spineditvalue.h"

#include <QColor>
#include <QFont>
#include <QWidget>

class QLineEdit;
class QToolButton;

// The program's numeric entry control: a text box showing a number with its
// unit ("63 s") and a pair of arrow buttons at its right that step it by
// Increment between Min and Max. The arithmetic, the text and the reading of
// typed text are SpinEditValue's (spineditvalue.h); this widget shows and
// asks.
//
// Geometry: a new control is 70 x 21. For a control w x h the text box lies
// at (0, 0), w - 16 wide and h high, and the arrows at x = w - 15, 15 wide and
// h high, the up arrow in the upper half; column w - 16 stays empty.
//
// Properties: setting Value, Units, Precision or DisplayType stores and shows
// the value again (Value is not clamped and fires no OnChange); setting
// Increment, Min, Max or WrapValue stores only, so neither the value nor the
// text changes until the next read or step. Color (the background) and Font
// are the text box's.
//
// The text box may show typed text that is not yet the value. It becomes the
// value, clamped to [Min, Max] (Read_Value), when the user
// - presses Enter (or line feed): the key is consumed, the value shown again,
//   and OnChange fires if the value changed (compared in single precision,
//   see SpinEditValue::Commit);
// - leaves the text box (EditExit): the same as Enter; then DoExit, for
//   leaving the whole control, reads and shows once more without OnChange;
// - clicks an arrow or steps with a key (below): read first, then stepped.
// Escape discards typed text by showing the value again; the key goes on to
// the text box and so to the dialog, which may close on it. Every other key
// reaches the text box unfiltered. Focus moving to a popup (the text box's
// context menu) or to another window does not count as leaving.
//
// Stepping (UpClick, DownClick): read, step (SpinEditValue::StepUp/Down),
// OnChange (always, even when the value stays at a limit), show, then
// OnUpButtonPress or OnDownButtonPress. An arrow held down repeats its step
// after 400 ms and then every 100 ms. As in other spin boxes on the desktop,
// the Up and Down keys in the text box step like the arrows.
//
// Only the text box takes the keyboard focus (it is the control's focus
// proxy); the arrows never do, so clicking one leaves the focus and any
// typed text where they were. Typing is limited to 64 characters; a longer
// text set by the program is shown whole.
//
// Assistive technology reads the control as a spin box (QAccessible::SpinBox)
// with its value, limits and step (QAccessibleValueInterface), the shown
// text as its value text, the increase and decrease actions of the arrows,
// and the accessible name the dialog gives it (setAccessibleName, or a
// QLabel whose buddy it is). A value set through it is taken as typed text.
class TQMSpinEdit : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(QString Units READ Units WRITE SetUnits)
    Q_PROPERTY(int Precision READ Precision WRITE SetPrecision)
    Q_PROPERTY(SpinEditValue::display_type_e DisplayType READ DisplayType WRITE SetDisplayType)
    Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(double Min READ Min WRITE SetMin)
    Q_PROPERTY(double Max READ Max WRITE SetMax)
    Q_PROPERTY(bool WrapValue READ WrapValue WRITE SetWrapValue)

public:
    static constexpr int kDefaultWidth = 70;
    static constexpr int kDefaultHeight = 21;
    static constexpr int kButtonWidth = 15;
    static constexpr int kMaxTextLength = 64;

    explicit TQMSpinEdit(QWidget *parent = nullptr);

    QFont Font() const;
    void SetFont(const QFont &font);
    QColor Color() const;
    void SetColor(const QColor &color);
    double Value() const { return m_spin.Value(); }
    void SetValue(double value);
    QString Units() const { return m_spin.Units(); }
    void SetUnits(const QString &units);
    int Precision() const { return m_spin.Precision(); }
    void SetPrecision(int precision);
    display_type_e DisplayType() const { return m_spin.DisplayType(); }
    void SetDisplayType(display_type_e type);
    double Increment() const { return m_spin.Increment(); }
    void SetIncrement(double increment) { m_spin.SetIncrement(increment); }
    double Min() const { return m_spin.Min(); }
    void SetMin(double min) { m_spin.SetMin(min); }
    double Max() const { return m_spin.Max(); }
    void SetMax(double max) { m_spin.SetMax(max); }
    bool WrapValue() const { return m_spin.WrapValue(); }
    void SetWrapValue(bool wrap) { m_spin.SetWrapValue(wrap); }

    // The control's width, which the text box, the empty column and the
    // arrows fill; setting it lays them out (and resizes the control).
    int GetWidth() const;
    void SetWidth(int width);
    // The height of the text box and the arrows, the control's height.
    int GetHeight() const;
    void SetHeight(int height);

    // Writes the value into the text box in the current format.
    void Show_Value();
    // Reads the text box into the value, clamped to the limits; text without
    // a number leaves the value as it was.
    void Read_Value();
    // One step of the up or down arrow.
    void UpClick();
    void DownClick();
    // The text box's handler for a typed character: 13 (Enter) and 10 (line
    // feed) commit the text, 27 (Escape) shows the value again. True when the
    // key is consumed and must not reach the text box.
    bool KeyPressed(QChar Key);
    // The text box lost the focus: commit the text as Enter does.
    void EditExit();

    // Repaints the control and shows the value.
    virtual void Refresh();

    // The size last set, so that a layout keeps it (the size policy is Fixed).
    QSize sizeHint() const override { return m_hint; }

    // The parts, for the dialogs' tab order and for tests.
    QLineEdit *TextBox() const { return m_edit; }
    QToolButton *UpButton() const { return m_up; }
    QToolButton *DownButton() const { return m_down; }

signals:
    void OnChange(TQMSpinEdit *Sender);
    void OnUpButtonPress(TQMSpinEdit *Sender);
    void OnDownButtonPress(TQMSpinEdit *Sender);

protected:
    // Each emits its event with this control as sender.
    virtual void DoChange();
    virtual void DoUpButtonPress();
    virtual void DoDownButtonPress();
    // The focus left the whole control: read and show, no OnChange.
    virtual void DoExit();
    // Lays the parts out for the control's size and shows the value.
    virtual void Resize();

    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Enter and leaving the text box.
    void CommitText();
    void SetHint(const QSize &hint);

    SpinEditValue m_spin;
    QSize m_hint{kDefaultWidth, kDefaultHeight};
    QLineEdit *m_edit = nullptr;
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
};

#include "widgets/tqmspinedit.h"

#include "widgets/accessiblevaluewidget.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <cmath>

namespace {

// The first repetition of a held arrow, and the ones after it.
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 100;
// The text box ends one column short of the arrows.
constexpr int kTextBoxGap = 1;

// Limits what the user types or pastes to 64 characters. A validator rather
// than QLineEdit::setMaxLength, which would also cut the program's own text.
class TextLengthValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return input.size() <= TQMSpinEdit::kMaxTextLength ? Acceptable : Invalid;
    }
};

// The character a key press types, as the text box's key handler sees it:
// Enter (main or keypad) is 13 and Escape 27 whatever text the platform
// attaches; otherwise the typed character, or none.
QChar TypedCharacter(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(13);
    case Qt::Key_Escape:
        return QChar(27);
    default:
        break;
    }
    const QString text = event.text();
    return text.size() == 1 ? text.at(0) : QChar();
}

class AccessibleSpinEdit : public AccessibleValueWidget
{
public:
    explicit AccessibleSpinEdit(TQMSpinEdit *spin)
        : AccessibleValueWidget(spin, QAccessible::SpinBox)
    {}

    // QAccessibleValueInterface
    QVariant currentValue() const override { return Spin()->Value(); }
    // As if the number had been typed and the text box left: clamped to the
    // limits, with OnChange when the value changes.
    void setCurrentValue(const QVariant &value) override
    {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return;
        Spin()->TextBox()->setText(QString::number(number, 'g', 9));
        Spin()->EditExit();
    }
    QVariant maximumValue() const override { return Spin()->Max(); }
    QVariant minimumValue() const override { return Spin()->Min(); }
    QVariant minimumStepSize() const override { return Spin()->Increment(); }

    // The arrows as actions.
    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << QAccessibleActionInterface::increaseAction()
                                                << QAccessibleActionInterface::decreaseAction();
    }
    void doAction(const QString &actionName) override
    {
        if (actionName == QAccessibleActionInterface::increaseAction())
            Spin()->UpClick();
        else if (actionName == QAccessibleActionInterface::decreaseAction())
            Spin()->DownClick();
        else
            QAccessibleWidget::doAction(actionName);
    }
    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == QAccessibleActionInterface::increaseAction())
            return {QStringLiteral("Up")};
        if (actionName == QAccessibleActionInterface::decreaseAction())
            return {QStringLiteral("Down")};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

protected:
    QString ValueText() const override { return Spin()->TextBox()->text(); }

private:
    TQMSpinEdit *Spin() const { return static_cast<TQMSpinEdit *>(widget()); }
};

QAccessibleInterface *SpinEditFactory(const QString &className, QObject *object)
{
    if (className == QLatin1StringView("TQMSpinEdit") && object && object->isWidgetType())
        return new AccessibleSpinEdit(static_cast<TQMSpinEdit *>(object));
    return nullptr;
}

QToolButton *MakeArrow(QWidget *parent, Qt::ArrowType arrow, const QString &name)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(kRepeatDelayMs);
    button->setAutoRepeatInterval(kRepeatIntervalMs);
    button->setAccessibleName(name);
    return button;
}

} // namespace

TQMSpinEdit::TQMSpinEdit(QWidget *parent) : QWidget(parent)
{
    static const bool registered = (QAccessible::installFactory(SpinEditFactory), true);
    Q_UNUSED(registered);

    m_edit = new QLineEdit(this);
    m_edit->setValidator(new TextLengthValidator(m_edit));
    m_edit->installEventFilter(this);
    m_up = MakeArrow(this, Qt::UpArrow, QStringLiteral("Up"));
    m_down = MakeArrow(this, Qt::DownArrow, QStringLiteral("Down"));
    connect(m_up, &QToolButton::clicked, this, &TQMSpinEdit::UpClick);
    connect(m_down, &QToolButton::clicked, this, &TQMSpinEdit::DownClick);

    setFocusPolicy(m_edit->focusPolicy());
    setFocusProxy(m_edit);
    setAttribute(Qt::WA_InputMethodEnabled);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(kDefaultWidth, kDefaultHeight);
    Resize();
    Refresh();
}

QFont TQMSpinEdit::Font() const
{
    return m_edit->font();
}

void TQMSpinEdit::SetFont(const QFont &font)
{
    m_edit->setFont(font);
}

QColor TQMSpinEdit::Color() const
{
    return m_edit->palette().color(QPalette::Base);
}

void TQMSpinEdit::SetColor(const QColor &color)
{
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, color);
    m_edit->setPalette(palette);
}

void TQMSpinEdit::SetValue(double value)
{
    m_spin.SetValue(value);
    Show_Value();
}

void TQMSpinEdit::SetUnits(const QString &units)
{
    m_spin.SetUnits(units);
    Show_Value();
}

void TQMSpinEdit::SetPrecision(int precision)
{
    m_spin.SetPrecision(precision);
    Show_Value();
}

void TQMSpinEdit::SetDisplayType(display_type_e type)
{
    m_spin.SetDisplayType(type);
    Show_Value();
}

int TQMSpinEdit::GetWidth() const
{
    return m_edit->width() + kTextBoxGap + m_up->width();
}

void TQMSpinEdit::SetWidth(int width)
{
    width = std::max(width, kButtonWidth + kTextBoxGap);
    const int height = m_edit->height();
    m_edit->setGeometry(0, 0, width - kButtonWidth - kTextBoxGap, height);
    m_up->setGeometry(width - kButtonWidth, 0, kButtonWidth, height / 2);
    m_down->setGeometry(width - kButtonWidth, height / 2, kButtonWidth, height - height / 2);
    SetHint({width, m_hint.height()});
    if (this->width() != width)
        resize(width, this->height());
}

int TQMSpinEdit::GetHeight() const
{
    return m_edit->height();
}

void TQMSpinEdit::SetHeight(int height)
{
    height = std::max(height, 0);
    const int x = m_up->x();
    m_edit->resize(m_edit->width(), height);
    m_up->setGeometry(x, 0, kButtonWidth, height / 2);
    m_down->setGeometry(x, height / 2, kButtonWidth, height - height / 2);
    SetHint({m_hint.width(), height});
    if (this->height() != height)
        resize(this->width(), height);
}

void TQMSpinEdit::SetHint(const QSize &hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    updateGeometry();
}

void TQMSpinEdit::Show_Value()
{
    m_edit->setText(m_spin.Text());
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_spin.Value());
        QAccessible::updateAccessibility(&event);
    }
}

void TQMSpinEdit::Read_Value()
{
    m_spin.ReadText(m_edit->text());
}

void TQMSpinEdit::UpClick()
{
    Read_Value();
    m_spin.StepUp();
    DoChange();
    Show_Value();
    DoUpButtonPress();
}

void TQMSpinEdit::DownClick()
{
    Read_Value();
    m_spin.StepDown();
    DoChange();
    Show_Value();
    DoDownButtonPress();
}

bool TQMSpinEdit::KeyPressed(QChar Key)
{
    if (Key == QChar(13) || Key == QChar(10)) {
        CommitText();
        return true;
    }
    if (Key == QChar(27))
        Show_Value();
    return false;
}

void TQMSpinEdit::EditExit()
{
    CommitText();
}

void TQMSpinEdit::CommitText()
{
    const bool changed = m_spin.Commit(m_edit->text());
    Show_Value();
    if (changed)
        DoChange();
}

void TQMSpinEdit::Refresh()
{
    update();
    m_edit->update();
    m_up->update();
    m_down->update();
    Show_Value();
}

void TQMSpinEdit::DoChange()
{
    emit OnChange(this);
}

void TQMSpinEdit::DoUpButtonPress()
{
    emit OnUpButtonPress(this);
}

void TQMSpinEdit::DoDownButtonPress()
{
    emit OnDownButtonPress(this);
}

void TQMSpinEdit::DoExit()
{
    Read_Value();
    Show_Value();
}

void TQMSpinEdit::Resize()
{
    SetWidth(width());
    SetHeight(height());
    Show_Value();
}

void TQMSpinEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Resize();
}

bool TQMSpinEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit)
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::NoModifier && key->key() == Qt::Key_Up) {
            UpClick();
            return true;
        }
        if (modifiers == Qt::NoModifier && key->key() == Qt::Key_Down) {
            DownClick();
            return true;
        }
        return KeyPressed(TypedCharacter(*key));
    }

    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // A context menu or another window takes the focus only for a while.
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            return false;
        EditExit();
        // The arrows take no focus, so the focus has left the whole control
        // unless it came back to a part of it.
        const QWidget *focus = QApplication::focusWidget();
        if (!focus || !isAncestorOf(focus))
            DoExit();
    }
    return false;
}

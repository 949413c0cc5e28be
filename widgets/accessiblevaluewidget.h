#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

// What assistive technology reads of a widget that shows one number (a
// gauge, a spin edit): the widget with its role, the value interface, and
// the text the user sees as its Value text. A subclass gives the numbers and
// that text.
class AccessibleValueWidget : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    AccessibleValueWidget(QWidget *widget, QAccessible::Role role) : QAccessibleWidget(widget, role)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return ValueText();
        return QAccessibleWidget::text(t);
    }

protected:
    // The value as the widget shows it.
    virtual QString ValueText() const = 0;
};

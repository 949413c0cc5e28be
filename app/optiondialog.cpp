#include "app/optiondialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace {

// A drop-down list that shortens a chosen text too long for it in the middle
// ("/tmp/k…ttyKELV0"), as the status panels do, rather than cut its end off:
// a port's path is told apart by its end. The open list shows every text
// whole.
class DropDownList : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, this);
        option.currentText =
            fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width() - 2);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

} // namespace

OptionDialog::OptionDialog(QWidget *owner, const QString &name, const QString &caption)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(name);
    setWindowTitle(caption);
    setModal(true);
    setFixedSize(228, 96);
    // The dialog font at 8 points is 11 pixels high; the controls are laid
    // out for it.
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
}

void OptionDialog::cancel_BClick()
{
    reject();
}

QLabel *OptionDialog::AddLabel(const QString &name, const QString &text, const QPoint &at,
                               QWidget *control)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    label->setBuddy(control);
    return label;
}

QComboBox *OptionDialog::AddDropDownList(const QString &name, const QPoint &at, int width)
{
    auto *list = new DropDownList(this);
    list->setObjectName(name);
    list->setEditable(false);
    list->move(at);
    list->resize(width, list->sizeHint().height());
    return list;
}

void OptionDialog::AddButtons(const QPoint &ok, const QPoint &cancel)
{
    ok_B = new QPushButton(QStringLiteral("OK"), this);
    ok_B->setObjectName(QStringLiteral("ok_B"));
    ok_B->setGeometry(ok.x(), ok.y(), 75, 25);
    ok_B->setDefault(true);
    cancel_B = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_B->setObjectName(QStringLiteral("cancel_B"));
    cancel_B->setGeometry(cancel.x(), cancel.y(), 75, 25);
    connect(ok_B, &QPushButton::clicked, this, [this] { ok_BClick(); });
    connect(cancel_B, &QPushButton::clicked, this, &OptionDialog::cancel_BClick);
}

// The spin edit widget driven as a user drives it: keys in its text box, its
// arrows, the focus leaving it; and read as assistive technology reads it.

#include "widgets/tqmspinedit.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

// A spin edit that writes down its events, in order, and its exits.
class RecordingSpinEdit : public TQMSpinEdit
{
public:
    explicit RecordingSpinEdit(QWidget *parent = nullptr) : TQMSpinEdit(parent)
    {
        connect(this, &TQMSpinEdit::OnChange, this, [this](TQMSpinEdit *sender) {
            events << QStringLiteral("change");
            senders << sender;
        });
        connect(this, &TQMSpinEdit::OnUpButtonPress, this, [this](TQMSpinEdit *sender) {
            events << QStringLiteral("up");
            senders << sender;
        });
        connect(this, &TQMSpinEdit::OnDownButtonPress, this, [this](TQMSpinEdit *sender) {
            events << QStringLiteral("down");
            senders << sender;
        });
    }

    QStringList events;
    QList<TQMSpinEdit *> senders;
    int exits = 0;

protected:
    void DoExit() override
    {
        ++exits;
        events << QStringLiteral("exit");
        TQMSpinEdit::DoExit();
    }
};

// The period dialog's spin edit: unit " s", step 1, limits 63..9999.
void MakePeriod(TQMSpinEdit &spin, double value)
{
    spin.SetUnits(QStringLiteral(" s"));
    spin.SetIncrement(1);
    spin.SetMin(63);
    spin.SetMax(9999);
    spin.SetValue(value);
}

// Replaces the text box's text as a user would: select all, type.
void Type(TQMSpinEdit &spin, const QString &text)
{
    spin.TextBox()->selectAll();
    QTest::keyClick(spin.TextBox(), Qt::Key_Delete);
    QTest::keyClicks(spin.TextBox(), text);
}

// Holds the window around the control and records the keys that reach it.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
};

} // namespace

class TestTQMSpinEdit : public QObject
{
    Q_OBJECT

private slots:
    void freshControl();
    void geometryFollowsTheSize_data();
    void geometryFollowsTheSize();
    void someSettersRedrawOthersOnlyStore();
    void textAndFontAreTheTextBoxs();
    void enterTakesTheTypedText_data();
    void enterTakesTheTypedText();
    void enterAndLineFeedAreConsumed();
    void escapeRestoresAndPassesOn();
    void arrowsStepAndTell_data();
    void arrowsStepAndTell();
    void arrowsTakePendingText();
    void arrowKeysStepLikeTheArrows();
    void heldArrowKeepsStepping_data();
    void heldArrowKeepsStepping();
    void leavingTheControlTakesTheText();
    void popupDoesNotTakeTheText();
    void typingStopsAt64Characters();
    void assistiveTechnologyReadsAValueAndLimits();
    void assistiveTechnologySetsAndSteps();
};

void TestTQMSpinEdit::freshControl()
{
    TQMSpinEdit spin;
    QCOMPARE(spin.size(), QSize(70, 21));
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("0"));
    QCOMPARE(spin.Value(), 0.0);
    QCOMPARE(spin.DisplayType(), display_type_e::FLOAT);
    QVERIFY(!spin.WrapValue());
    QVERIFY(spin.isEnabled());
    QCOMPARE(spin.TextBox()->geometry(), QRect(0, 0, 54, 21));
    QCOMPARE(spin.UpButton()->geometry().left(), 55);
    QCOMPARE(spin.DownButton()->geometry().right(), 69);
    QCOMPARE(spin.focusProxy(), spin.TextBox());
    QCOMPARE(spin.UpButton()->focusPolicy(), Qt::NoFocus);
    QCOMPARE(spin.DownButton()->focusPolicy(), Qt::NoFocus);
}

void TestTQMSpinEdit::geometryFollowsTheSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("period dialog") << QSize(100, 21);
    QTest::newRow("taller") << QSize(70, 30);
    QTest::newRow("narrow, odd height") << QSize(40, 25);
}

void TestTQMSpinEdit::geometryFollowsTheSize()
{
    QFETCH(QSize, size);
    const int w = size.width();
    const int h = size.height();
    const auto check = [&](const TQMSpinEdit &spin) {
        QCOMPARE(spin.size(), size);
        QCOMPARE(spin.TextBox()->geometry(), QRect(0, 0, w - 16, h));
        const QRect up = spin.UpButton()->geometry();
        const QRect down = spin.DownButton()->geometry();
        QCOMPARE(up.left(), w - 15);
        QCOMPARE(up.width(), 15);
        QCOMPARE(down.left(), w - 15);
        QCOMPARE(down.width(), 15);
        // The up arrow on top, the down arrow below it, together full height.
        QCOMPARE(up.top(), 0);
        QCOMPARE(down.top(), up.bottom() + 1);
        QCOMPARE(down.bottom(), h - 1);
        QVERIFY(up.height() >= h / 2 - 1 && down.height() >= h / 2 - 1);
        QCOMPARE(spin.GetWidth(), w);
        QCOMPARE(spin.GetHeight(), h);
    };

    // Resized from outside, as a layout does, while shown.
    TQMSpinEdit resized;
    resized.show();
    QVERIFY(QTest::qWaitForWindowExposed(&resized));
    resized.resize(size);
    check(resized);

    // Through the control's own setters.
    TQMSpinEdit set;
    set.SetWidth(w);
    set.SetHeight(h);
    check(set);

    // A layout keeps the size the setters gave.
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *laidOut = new TQMSpinEdit;
    laidOut->SetWidth(w);
    laidOut->SetHeight(h);
    layout->addWidget(laidOut);
    window.resize(300, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    check(*laidOut);
}

void TestTQMSpinEdit::someSettersRedrawOthersOnlyStore()
{
    RecordingSpinEdit spin;
    spin.SetMin(0);
    spin.SetMax(100);
    spin.SetValue(50);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("50"));

    // Typed text, not taken yet: the storing setters leave it alone.
    spin.TextBox()->setText(QStringLiteral("7"));
    spin.SetMax(10); // below the value
    spin.SetMin(20);
    spin.SetIncrement(5);
    spin.SetWrapValue(true);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("7"));
    QCOMPARE(spin.Value(), 50.0);

    // The redrawing ones show the value, unclamped, and tell no change.
    spin.SetPrecision(1);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("50.0"));
    spin.SetUnits(QStringLiteral(" \u00b0C"));
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("50.0 \u00b0C"));
    spin.SetDisplayType(display_type_e::EXPONENT);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("5.0e+01 \u00b0C"));
    spin.SetValue(-3);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("-3.0e+00 \u00b0C"));
    QCOMPARE(spin.Value(), -3.0);
    QVERIFY(spin.events.isEmpty());
}

void TestTQMSpinEdit::textAndFontAreTheTextBoxs()
{
    TQMSpinEdit spin;
    spin.SetColor(QColor(255, 255, 200));
    QCOMPARE(spin.TextBox()->palette().color(QPalette::Base), QColor(255, 255, 200));
    QCOMPARE(spin.Color(), QColor(255, 255, 200));
    QFont font = spin.Font();
    font.setPixelSize(15);
    font.setBold(true);
    spin.SetFont(font);
    QCOMPARE(spin.TextBox()->font(), font);
    QCOMPARE(spin.Font(), font);
}

void TestTQMSpinEdit::enterTakesTheTypedText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("after");
    QTest::addColumn<int>("changes");

    QTest::newRow("below the minimum")
        << 100.0 << QStringLiteral("12") << QStringLiteral("63 s") << 63.0 << 1;
    QTest::newRow("below the minimum, already there")
        << 63.0 << QStringLiteral("12") << QStringLiteral("63 s") << 63.0 << 0;
    QTest::newRow("above the maximum")
        << 100.0 << QStringLiteral("12000") << QStringLiteral("9999 s") << 9999.0 << 1;
    QTest::newRow("letters only") << 80.0 << QStringLiteral("abc") << QStringLiteral("80 s") << 80.0
                                  << 0;
    QTest::newRow("the same number")
        << 80.0 << QStringLiteral("80") << QStringLiteral("80 s") << 80.0 << 0;
    QTest::newRow("with its unit")
        << 80.0 << QStringLiteral("120 s") << QStringLiteral("120 s") << 120.0 << 1;
    QTest::newRow("fraction shown at precision 0")
        << 80.0 << QStringLiteral("99.7") << QStringLiteral("100 s") << double(99.7f) << 1;
    QTest::newRow("comma ends the number")
        << 80.0 << QStringLiteral("90,5") << QStringLiteral("90 s") << 90.0 << 1;
    QTest::newRow("overflow is the maximum")
        << 80.0 << QStringLiteral("1e39") << QStringLiteral("9999 s") << 9999.0 << 1;
    QTest::newRow("not a number") << 80.0 << QStringLiteral("nan") << QStringLiteral("80 s") << 80.0
                                  << 0;
}

void TestTQMSpinEdit::enterTakesTheTypedText()
{
    QFETCH(double, value);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(double, after);
    QFETCH(int, changes);
    RecordingSpinEdit spin;
    MakePeriod(spin, value);
    Type(spin, typed);
    QCOMPARE(spin.TextBox()->text(), typed);
    QTest::keyClick(spin.TextBox(), Qt::Key_Return);
    QCOMPARE(spin.TextBox()->text(), text);
    QCOMPARE(spin.Value(), after);
    QCOMPARE(spin.events.count(QStringLiteral("change")), changes);
    QCOMPARE(spin.events.size(), changes);
    for (TQMSpinEdit *sender : std::as_const(spin.senders))
        QCOMPARE(sender, &spin);
}

void TestTQMSpinEdit::enterAndLineFeedAreConsumed()
{
    KeyRecorder window;
    auto *spin = new RecordingSpinEdit(&window);
    MakePeriod(*spin, 80);
    int returns = 0;
    connect(spin->TextBox(), &QLineEdit::returnPressed, spin, [&returns] { ++returns; });

    Type(*spin, QStringLiteral("90"));
    QTest::keyClick(spin->TextBox(), Qt::Key_Return);
    QCOMPARE(spin->Value(), 90.0);
    Type(*spin, QStringLiteral("95"));
    QTest::keyClick(spin->TextBox(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(spin->Value(), 95.0);
    // Ctrl+J types a line feed.
    Type(*spin, QStringLiteral("97"));
    QKeyEvent lineFeed(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier, QStringLiteral("\n"));
    QApplication::sendEvent(spin->TextBox(), &lineFeed);
    QCOMPARE(spin->Value(), 97.0);
    QCOMPARE(spin->TextBox()->text(), QStringLiteral("97 s"));

    QCOMPARE(returns, 0);
    QVERIFY(window.keys.isEmpty());
    QCOMPARE(spin->events, QStringList({QStringLiteral("change"), QStringLiteral("change"),
                                        QStringLiteral("change")}));
}

void TestTQMSpinEdit::escapeRestoresAndPassesOn()
{
    KeyRecorder window;
    auto *spin = new RecordingSpinEdit(&window);
    MakePeriod(*spin, 80);
    Type(*spin, QStringLiteral("999"));
    QTest::keyClick(spin->TextBox(), Qt::Key_Escape);
    QCOMPARE(spin->TextBox()->text(), QStringLiteral("80 s"));
    QCOMPARE(spin->Value(), 80.0);
    QVERIFY(spin->events.isEmpty());
    // Not consumed: the dialog around the control sees it.
    QCOMPARE(window.keys, QList<int>{Qt::Key_Escape});
}

void TestTQMSpinEdit::arrowsStepAndTell_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<bool>("up");
    QTest::addColumn<double>("after");
    QTest::addColumn<QString>("text");

    // Min 0, max 10, increment 3, one decimal.
    QTest::newRow("up") << 4.0 << false << true << 7.0 << QStringLiteral("7.0");
    QTest::newRow("down") << 4.0 << false << false << 1.0 << QStringLiteral("1.0");
    QTest::newRow("up at the maximum stays")
        << 10.0 << false << true << 10.0 << QStringLiteral("10.0");
    QTest::newRow("down at the minimum stays")
        << 0.0 << false << false << 0.0 << QStringLiteral("0.0");
    QTest::newRow("up past the maximum wraps")
        << 9.0 << true << true << 0.0 << QStringLiteral("0.0");
    QTest::newRow("down past the minimum wraps")
        << 0.0 << true << false << 10.0 << QStringLiteral("10.0");
}

void TestTQMSpinEdit::arrowsStepAndTell()
{
    QFETCH(double, value);
    QFETCH(bool, wrap);
    QFETCH(bool, up);
    QFETCH(double, after);
    QFETCH(QString, text);
    RecordingSpinEdit spin;
    spin.SetPrecision(1);
    spin.SetMin(0);
    spin.SetMax(10);
    spin.SetIncrement(3);
    spin.SetWrapValue(wrap);
    spin.SetValue(value);
    spin.show();
    QVERIFY(QTest::qWaitForWindowExposed(&spin));
    QTest::mouseClick(up ? spin.UpButton() : spin.DownButton(), Qt::LeftButton);
    QCOMPARE(spin.Value(), after);
    QCOMPARE(spin.TextBox()->text(), text);
    // OnChange even when the value stayed, then the arrow's own event.
    QCOMPARE(spin.events, QStringList({QStringLiteral("change"),
                                       up ? QStringLiteral("up") : QStringLiteral("down")}));
    QCOMPARE(spin.senders, QList<TQMSpinEdit *>({&spin, &spin}));
}

void TestTQMSpinEdit::arrowsTakePendingText()
{
    RecordingSpinEdit spin;
    MakePeriod(spin, 80);
    Type(spin, QStringLiteral("200"));
    spin.UpClick();
    QCOMPARE(spin.Value(), 201.0);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("201 s"));
    // Typed below the minimum: clamped first, then stepped.
    Type(spin, QStringLiteral("5"));
    spin.DownClick();
    QCOMPARE(spin.Value(), 63.0);
    Type(spin, QStringLiteral("5"));
    spin.UpClick();
    QCOMPARE(spin.Value(), 64.0);
}

void TestTQMSpinEdit::arrowKeysStepLikeTheArrows()
{
    RecordingSpinEdit spin;
    MakePeriod(spin, 80);
    QTest::keyClick(spin.TextBox(), Qt::Key_Up);
    QCOMPARE(spin.Value(), 81.0);
    Type(spin, QStringLiteral("70"));
    QTest::keyClick(spin.TextBox(), Qt::Key_Down);
    QCOMPARE(spin.Value(), 69.0);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("69 s"));
    QCOMPARE(spin.events, QStringList({QStringLiteral("change"), QStringLiteral("up"),
                                       QStringLiteral("change"), QStringLiteral("down")}));
}

// Holding an arrow down keeps stepping, as the toolkit's spin buttons do; a
// click steps once. The test waits for the steps, it does not time them.
void TestTQMSpinEdit::heldArrowKeepsStepping_data()
{
    QTest::addColumn<bool>("up");
    QTest::newRow("up") << true;
    QTest::newRow("down") << false;
}

void TestTQMSpinEdit::heldArrowKeepsStepping()
{
    QFETCH(bool, up);
    RecordingSpinEdit spin;
    MakePeriod(spin, 100);
    spin.show();
    QVERIFY(QTest::qWaitForWindowExposed(&spin));
    QToolButton *arrow = up ? spin.UpButton() : spin.DownButton();
    const QString event = up ? QStringLiteral("up") : QStringLiteral("down");
    const double sign = up ? 1 : -1;

    QTest::mousePress(arrow, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT((spin.Value() - 100) * sign >= 3, 5000);
    QTest::mouseRelease(arrow, Qt::LeftButton);
    // Every step went through the arrow's handler, as a click's does.
    const double steps = (spin.Value() - 100) * sign;
    QCOMPARE(spin.events.count(event), int(steps));
}

void TestTQMSpinEdit::leavingTheControlTakesTheText()
{
    QWidget window;
    auto *spin = new RecordingSpinEdit(&window);
    MakePeriod(*spin, 100);
    auto *other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    spin->setFocus(Qt::TabFocusReason);
    QVERIFY(spin->TextBox()->hasFocus());
    Type(*spin, QStringLiteral("12"));
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(spin->Value(), 63.0);
    QCOMPARE(spin->TextBox()->text(), QStringLiteral("63 s"));
    // Leaving the text box tells the change; leaving the control does not.
    QCOMPARE(spin->events, QStringList({QStringLiteral("change"), QStringLiteral("exit")}));

    // Leaving again without typing: nothing new to tell.
    spin->setFocus(Qt::TabFocusReason);
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(spin->events.count(QStringLiteral("change")), 1);
    QCOMPARE(spin->exits, 2);
}

void TestTQMSpinEdit::popupDoesNotTakeTheText()
{
    RecordingSpinEdit spin;
    MakePeriod(spin, 100);
    Type(spin, QStringLiteral("12"));
    for (const Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(spin.TextBox(), &out);
    }
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("12"));
    QCOMPARE(spin.Value(), 100.0);
    QVERIFY(spin.events.isEmpty());
}

void TestTQMSpinEdit::typingStopsAt64Characters()
{
    TQMSpinEdit spin;
    spin.SetMax(1e9);
    Type(spin, QString(70, u'7'));
    QCOMPARE(spin.TextBox()->text(), QString(64, u'7'));
    // The program's own text is shown whole.
    spin.SetPrecision(70);
    spin.SetValue(0.5);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("0.5") + QString(69, u'0'));
}

void TestTQMSpinEdit::assistiveTechnologyReadsAValueAndLimits()
{
    QWidget window;
    auto *label = new QLabel(QStringLiteral("Sample period"), &window);
    auto *spin = new TQMSpinEdit(&window);
    label->setBuddy(spin);
    MakePeriod(*spin, 120);

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(spin);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::SpinBox);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Sample period"));
    spin->setAccessibleName(QStringLiteral("Period"));
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Period"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("120 s"));

    QAccessibleValueInterface *value = iface->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toDouble(), 120.0);
    QCOMPARE(value->minimumValue().toDouble(), 63.0);
    QCOMPARE(value->maximumValue().toDouble(), 9999.0);
    QCOMPARE(value->minimumStepSize().toDouble(), 1.0);

    spin->SetMax(500);
    spin->SetValue(70.5);
    QCOMPARE(value->maximumValue().toDouble(), 500.0);
    QCOMPARE(value->currentValue().toDouble(), 70.5);
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("70 s"));
}

void TestTQMSpinEdit::assistiveTechnologySetsAndSteps()
{
    RecordingSpinEdit spin;
    MakePeriod(spin, 120);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&spin);
    QVERIFY(iface);

    // A value set from outside is taken as typed: clamped, and told.
    iface->valueInterface()->setCurrentValue(12);
    QCOMPARE(spin.Value(), 63.0);
    QCOMPARE(spin.TextBox()->text(), QStringLiteral("63 s"));
    iface->valueInterface()->setCurrentValue(qQNaN());
    QCOMPARE(spin.Value(), 63.0);
    QCOMPARE(spin.events, QStringList{QStringLiteral("change")});

    QAccessibleActionInterface *actions = iface->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::increaseAction()));
    actions->doAction(QAccessibleActionInterface::increaseAction());
    QCOMPARE(spin.Value(), 64.0);
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    QCOMPARE(spin.Value(), 63.0);
    QCOMPARE(spin.events.mid(1), QStringList({QStringLiteral("change"), QStringLiteral("up"),
                                              QStringLiteral("change"), QStringLiteral("down")}));
}

QTEST_MAIN(TestTQMSpinEdit)
#include "tst_tqmspinedit.moc"

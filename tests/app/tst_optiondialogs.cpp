#include "app/tcomportf.h"
#include "app/tperiodf.h"
#include "app/ttemperaturef.h"
#include "support/lockholder.h"
#include "support/modal.h"
#include "support/pty.h"
#include "widgets/tqmspinedit.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

// The three option dialogs driven through their handlers and keys. The
// ports are pseudo-terminals made here (a port is offered by its path), so
// the dialog's probe opens real lines.
class TestOptionDialogs : public QObject
{
    Q_OBJECT

private slots:
    void dialogsHaveTheirShape_data();
    void dialogsHaveTheirShape();
    void comportOpensOnTheCurrentPort_data();
    void comportOpensOnTheCurrentPort();
    void portHeldElsewhereIsMarkedAndOkStoresTheBareName();
    void portThisProgramHoldsIsMarked();
    void comportCancelKeepsThePort();
    void comportOffersRememberedNetworkPorts();
    void typedNetworkPortIsStoredAndRemembered();
    void typedTextThatNamesNoPortIsRefused_data();
    void typedTextThatNamesNoPortIsRefused();
    void temperature_data();
    void temperature();
    void periodOpensOnMinimumAndValue();
    void periodOkStoresTheWholeSeconds_data();
    void periodOkStoresTheWholeSeconds();
    void enterInThePeriodConfirmsWhatStands_data();
    void enterInThePeriodConfirmsWhatStands();
    void controlsAreNamedByTheirLabels();
};

namespace {

// n pseudo-terminals, their paths sorted as the port list would be.
struct Ports
{
    std::vector<std::unique_ptr<Pty>> ptys;
    QStringList paths;

    explicit Ports(int n)
    {
        for (int i = 0; i < n; ++i) {
            ptys.push_back(std::make_unique<Pty>());
            paths << ptys.back()->Path();
        }
        paths.sort();
    }
};

QStringList ItemTexts(const QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

} // namespace

void TestOptionDialogs::dialogsHaveTheirShape_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QPoint>("ok");
    QTest::addColumn<QPoint>("cancel");
    QTest::newRow("comport") << "comport"
                             << "ComportF"
                             << "Comport Options" << QPoint(12, 56) << QPoint(137, 56);
    QTest::newRow("temperature") << "temperature"
                                 << "TemperatureF"
                                 << "Temperature Display" << QPoint(12, 56) << QPoint(137, 56);
    QTest::newRow("period") << "period"
                            << "PeriodF"
                            << "Period Selection" << QPoint(16, 56) << QPoint(141, 56);
}

void TestOptionDialogs::dialogsHaveTheirShape()
{
    QFETCH(QString, which);
    QString port = QStringLiteral("ttyS0");
    QStringList recent;
    QString unit = QStringLiteral("Celsius");
    int period = 63;
    QWidget owner;
    owner.setGeometry(300, 200, 800, 550);
    owner.show();
    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("comport"))
        dialog = std::make_unique<TComportF>(port, recent, QStringList(), &owner);
    else if (which == QLatin1String("temperature"))
        dialog = std::make_unique<TTemperatureF>(unit, &owner);
    else
        dialog = std::make_unique<TPeriodF>(period, 0, &owner);

    QTEST(dialog->objectName(), "name");
    QTEST(dialog->windowTitle(), "caption");
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->size(), QSize(228, 96));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("ok_B"));
    auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancel_B"));
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QTEST(ok->pos(), "ok");
    QTEST(cancel->pos(), "cancel");
    QCOMPARE(ok->size(), QSize(75, 25));
    QCOMPARE(cancel->size(), QSize(75, 25));
    QVERIFY(ok->isDefault());
    // Centred on the window that owns it.
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint offset = dialog->geometry().center() - owner.geometry().center();
    QVERIFY2(qAbs(offset.x()) <= 20 && qAbs(offset.y()) <= 40,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(offset.x()).arg(offset.y())));
}

// Which item the dialog opens on is ChosenPortIndex's (tst_comportoptions);
// here, that the dialog takes it and OK stores the item's port, or an empty
// name from an empty list.
void TestOptionDialogs::comportOpensOnTheCurrentPort_data()
{
    QTest::addColumn<int>("ports");
    QTest::addColumn<QString>("current"); // "#1": the path of the second port
    QTest::addColumn<int>("selected");

    QTest::newRow("current port listed") << 3 << "#1" << 1;
    QTest::newRow("no port") << 0 << "ttyS0" << -1;
}

void TestOptionDialogs::comportOpensOnTheCurrentPort()
{
    QFETCH(int, ports);
    QFETCH(QString, current);
    QFETCH(int, selected);
    const Ports lines(ports);
    if (current.startsWith(QLatin1Char('#')))
        current = lines.paths.at(current.mid(1).toInt());
    QString Comport = current;
    QStringList recent;
    TComportF dialog(Comport, recent, lines.paths);
    QCOMPARE(ItemTexts(dialog.cport_CB), lines.paths); // every port free, none marked
    QCOMPARE(dialog.cport_CB->currentIndex(), selected);
    QVERIFY(!dialog.ComPort1.Connected());

    dialog.ok_BClick();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Comport, selected < 0 ? QString() : lines.paths.at(selected));
}

// The description stored the item's text, mark and all: "ttyS0  (in use)"
// names no port, so every later exchange failed. OK stores the bare name.
// And since the mark kept the current port from being chosen, the dialog
// opened on the first port and Enter moved the bus there: it opens on the
// current port, marked or not.
void TestOptionDialogs::portHeldElsewhereIsMarkedAndOkStoresTheBareName()
{
    const Ports lines(2);
    const QString held = lines.paths.at(1);
    LockHolder holder(held); // another program, holding it with flock
    QVERIFY(holder.locked());
    QString Comport = held;
    QStringList recent;
    TComportF dialog(Comport, recent, lines.paths);
    QCOMPARE(ItemTexts(dialog.cport_CB),
             (QStringList{lines.paths.at(0), held + QStringLiteral("  (in use)")}));
    QCOMPARE(dialog.cport_CB->currentIndex(), 1);
    QCOMPARE(dialog.cport_CB->toolTip(), held + QStringLiteral("  (in use)"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Comport, held);
}

void TestOptionDialogs::portThisProgramHoldsIsMarked()
{
    const Ports lines(1);
    TComPort mine;
    mine.SetPort(lines.paths.at(0));
    mine.Open();
    QString Comport = QStringLiteral("ttyS0");
    QStringList recent;
    TComportF dialog(Comport, recent, lines.paths);
    QCOMPARE(dialog.cport_CB->itemText(0), lines.paths.at(0) + QStringLiteral("  (in use)"));
    QVERIFY(mine.Connected());
}

void TestOptionDialogs::comportCancelKeepsThePort()
{
    const Ports lines(2);
    QString Comport = QStringLiteral("ttyKelvoraGone");
    QStringList recent;
    TComportF dialog(Comport, recent, lines.paths);
    dialog.cancel_BClick();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(Comport, QStringLiteral("ttyKelvoraGone"));
}

// The network ports used before follow the serial ports as their names, never
// probed (a probe would mark them "  (in use)": no such device file), and
// the current one is chosen. Choosing one with OK moves it to the front.
void TestOptionDialogs::comportOffersRememberedNetworkPorts()
{
    const Ports lines(2);
    QString Comport = QStringLiteral("tcp://10.0.0.5:4002");
    QStringList recent{QStringLiteral("rfc2217://gw.plant:2217"),
                       QStringLiteral("tcp://10.0.0.5:4002")};
    TComportF dialog(Comport, recent, lines.paths);
    const QStringList network{QStringLiteral("tcp://10.0.0.5:4002"),
                              QStringLiteral("rfc2217://gw.plant:2217")};
    QCOMPARE(ItemTexts(dialog.cport_CB), lines.paths + network);
    QCOMPARE(dialog.cport_CB->currentIndex(), 2);
    QCOMPARE(dialog.cport_CB->currentText(), QStringLiteral("tcp://10.0.0.5:4002"));
    QCOMPARE(dialog.ComPort1.Port(), lines.paths.at(1)); // the last port probed

    dialog.cport_CB->setCurrentIndex(3);
    dialog.ok_BClick();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Comport, QStringLiteral("rfc2217://gw.plant:2217"));
    QCOMPARE(recent, (QStringList{QStringLiteral("rfc2217://gw.plant:2217"),
                                  QStringLiteral("tcp://10.0.0.5:4002")}));
}

// Typed as a user types it, in the box's own text field, and confirmed with
// the OK button.
void TestOptionDialogs::typedNetworkPortIsStoredAndRemembered()
{
    const Ports lines(1);
    QString Comport = lines.paths.at(0);
    QStringList recent{QStringLiteral("rfc2217://gw.plant:2217")};
    TComportF dialog(Comport, recent, lines.paths);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.cport_CB->isEditable());
    dialog.cport_CB->lineEdit()->selectAll();
    QTest::keyClicks(dialog.cport_CB->lineEdit(), QStringLiteral("tcp://127.0.0.1:4001"));
    QCOMPARE(dialog.cport_CB->toolTip(), QStringLiteral("tcp://127.0.0.1:4001"));
    dialog.ok_B->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Comport, QStringLiteral("tcp://127.0.0.1:4001"));
    QCOMPARE(recent, (QStringList{QStringLiteral("tcp://127.0.0.1:4001"),
                                  QStringLiteral("rfc2217://gw.plant:2217")}));
    // Typed text never became an item.
    QCOMPARE(ItemTexts(dialog.cport_CB), lines.paths + recent.mid(1));
}

void TestOptionDialogs::typedTextThatNamesNoPortIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("says");
    QTest::newRow("a network name without its port")
        << "tcp://gw"
        << "tcp://gw has no port: write rfc2217://HOST:PORT or tcp://HOST:PORT.";
    QTest::newRow("a port not listed")
        << "ttyKelvoraGone"
        << "ttyKelvoraGone is not a port in the list. Choose a port from the list, or type a "
           "network port as rfc2217://HOST:PORT or tcp://HOST:PORT.";
}

// Enter with a text that names no port shows why, and the dialog stays open
// on what was typed, to be put right; Cancel then stores nothing, not even
// a sound name typed since.
void TestOptionDialogs::typedTextThatNamesNoPortIsRefused()
{
    QFETCH(QString, typed);
    const Ports lines(1);
    const QString before = lines.paths.at(0);
    QString Comport = before;
    const QStringList remembered{QStringLiteral("rfc2217://gw.plant:2217")};
    QStringList recent = remembered;
    TComportF dialog(Comport, recent, lines.paths);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit *field = dialog.cport_CB->lineEdit();
    field->clear();
    QTest::keyClicks(field, typed);

    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Comport Options"));
    QTEST(seen->text, "says");
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(dialog.cport_CB->currentText(), typed);
    QCOMPARE(Comport, before);
    QCOMPARE(recent, remembered);

    field->clear();
    QTest::keyClicks(field, QStringLiteral("tcp://127.0.0.1:4001"));
    dialog.cancel_B->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(Comport, before);
    QCOMPARE(recent, remembered);
}

void TestOptionDialogs::temperature_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("choose"); // -2: leave the choice as it opened
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("result");
    QTest::newRow("Celsius") << "Celsius" << 0 << -2 << true << "Celsius";
    QTest::newRow("Fahrenheit") << "Fahrenheit" << 1 << -2 << true << "Fahrenheit";
    QTest::newRow("other unit: none chosen, OK stores empty") << "Kelvin" << -1 << -2 << true << "";
    QTest::newRow("choose Fahrenheit") << "Celsius" << 0 << 1 << true << "Fahrenheit";
    QTest::newRow("cancel keeps the unit") << "Kelvin" << -1 << 0 << false << "Kelvin";
}

void TestOptionDialogs::temperature()
{
    QFETCH(QString, stored);
    QFETCH(int, choose);
    QFETCH(bool, ok);
    QString Temperature = stored;
    TTemperatureF dialog(Temperature);
    QCOMPARE(ItemTexts(dialog.temp_CB),
             (QStringList{QStringLiteral("Celsius"), QStringLiteral("Fahrenheit")}));
    QTEST(dialog.temp_CB->currentIndex(), "selected");
    QCOMPARE(dialog.temp_L->text(), QStringLiteral("Temperature"));
    if (choose != -2)
        dialog.temp_CB->setCurrentIndex(choose);
    ok ? dialog.ok_BClick() : dialog.cancel_BClick();
    QTEST(Temperature, "result");
}

// The limits for each Period and number of modules are PeriodSpinFor's
// (tst_optionvalues); here, that the spin edit takes them: with Period 4
// and five modules both the minimum and the raised value show.
void TestOptionDialogs::periodOpensOnMinimumAndValue()
{
    int Period = 4;
    TPeriodF dialog(Period, 5);
    QCOMPARE(dialog.period_SE->Min(), 10.0);
    QCOMPARE(dialog.period_SE->Max(), 9999.0);
    QCOMPARE(dialog.period_SE->Increment(), 1.0);
    QCOMPARE(dialog.period_SE->Units(), QStringLiteral(" s"));
    QCOMPARE(dialog.period_SE->TextBox()->text(), QStringLiteral("10 s"));
    QCOMPARE(dialog.period_SE->geometry(), QRect(112, 18, 100, 21));
    QCOMPARE(dialog.period_L->text(), QStringLiteral("Sample Period"));
}

void TestOptionDialogs::periodOkStoresTheWholeSeconds_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("typed"); // empty: nothing typed
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("stored");
    QTest::newRow("Period 4 is raised to 10") << 4 << "" << true << 10;
    QTest::newRow("100.9 is stored as 100") << 63 << "100.9" << true << 100;
    QTest::newRow("below the minimum: the minimum") << 63 << "3" << true << 10;
    QTest::newRow("cancel keeps Period") << 4 << "100" << false << 4;
}

void TestOptionDialogs::periodOkStoresTheWholeSeconds()
{
    QFETCH(int, period);
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    int Period = period;
    TPeriodF dialog(Period, 5);
    if (!typed.isEmpty()) {
        // Typed and not yet taken, as when OK is reached straight from the
        // text box.
        dialog.period_SE->TextBox()->selectAll();
        QTest::keyClicks(dialog.period_SE->TextBox(), typed);
    }
    ok ? dialog.ok_BClick() : dialog.cancel_BClick();
    QTEST(Period, "stored");
}

// Enter in the spin edit takes the typed text and confirms the dialog when
// the text stands as typed; text the spin edit corrected keeps the dialog
// open on the corrected value, and the next Enter confirms that.
void TestOptionDialogs::enterInThePeriodConfirmsWhatStands_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("closesAtOnce");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("a number within the limits") << "120" << true << "120 s" << 120;
    QTest::newRow("nothing typed") << "" << true << "63 s" << 63;
    QTest::newRow("below the minimum") << "5" << false << "10 s" << 10;
    QTest::newRow("above the maximum") << "12000" << false << "9999 s" << 9999;
    QTest::newRow("no number") << "soon" << false << "63 s" << 63;
}

void TestOptionDialogs::enterInThePeriodConfirmsWhatStands()
{
    QFETCH(QString, typed);
    QFETCH(bool, closesAtOnce);
    int Period = 63;
    TPeriodF dialog(Period, 5);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit *text = dialog.period_SE->TextBox();
    if (!typed.isEmpty()) {
        text->selectAll();
        QTest::keyClicks(text, typed);
    }
    QTest::keyClick(text, Qt::Key_Return);
    QTEST(text->text(), "shown");
    QCOMPARE(dialog.isVisible(), !closesAtOnce);
    if (!closesAtOnce) {
        QCOMPARE(Period, 63);
        QTest::keyClick(text, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QTEST(Period, "stored");
}

// A screen reader names each control after its label: the label is the
// control's buddy, reported as its Label relation (and, for the spin edit,
// as the name of the spin edit and of its text box, which takes the focus).
void TestOptionDialogs::controlsAreNamedByTheirLabels()
{
    QString port = QStringLiteral("ttyS0");
    QString unit = QStringLiteral("Celsius");
    int period = 63;
    QStringList recent;
    TComportF comport(port, recent, {});
    TTemperatureF temperature(unit);
    TPeriodF periodDialog(period, 0);
    const QList<std::pair<QLabel *, QWidget *>> pairs = {
        {comport.cport_L, comport.cport_CB},
        {temperature.temp_L, temperature.temp_CB},
        {periodDialog.period_L, periodDialog.period_SE},
    };
    for (const auto &[label, control] : pairs) {
        QCOMPARE(label->buddy(), control);
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
        QVERIFY(face);
        bool labelled = false;
        for (const auto &[other, relation] : face->relations(QAccessible::Label)) {
            if (other->object() == label && relation & QAccessible::Label)
                labelled = true;
        }
        QVERIFY2(labelled, qPrintable(label->text()));
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(periodDialog.period_SE)->text(QAccessible::Name),
             QStringLiteral("Sample Period"));
    QCOMPARE(QAccessible::queryAccessibleInterface(periodDialog.period_SE->TextBox())
                 ->text(QAccessible::Name),
             QStringLiteral("Sample Period"));
}

QTEST_MAIN(TestOptionDialogs)
#include "tst_optiondialogs.moc"

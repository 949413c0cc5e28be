#include "print/tprintdialogf.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

// The "Printing..." window: its texts, its size, the dots its timer counts
// while a job runs, and closing itself once none does. The test calls the
// timer's handler itself.
class TestPrintDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsItsTextsAndTicks();
    void dotsCountUpToTwentySixAndStartAgain();
    void closesItselfWhenNoJobRuns();
    void countsOnceShownAfterTheDialogAsked();
};

void TestPrintDialog::showsItsTextsAndTicks()
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    TPrintDialogF dialog([] { return true; }, &owner);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Printing..."));
    QCOMPARE(dialog.size(), QSize(214, 85));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("Page will Resize while Printing. "));
    QCOMPARE(dialog.wait_L->text(), QStringLiteral("Please Wait."));
    QVERIFY(!dialog.isModal());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(dialog.Timer1->interval(), 100);
    QCOMPARE(dialog.dots, 1);
}

void TestPrintDialog::dotsCountUpToTwentySixAndStartAgain()
{
    TPrintDialogF dialog([] { return true; }, nullptr);
    QStringList shown;
    for (int tick = 0; tick < 27; ++tick) {
        dialog.Timer1Timer();
        shown << dialog.wait_L->text();
    }
    QCOMPARE(shown[0], QStringLiteral("Please Wait.."));
    QCOMPARE(shown[24], QStringLiteral("Please Wait") + QString(26, QLatin1Char('.')));
    QCOMPARE(shown[25], QStringLiteral("Please Wait."));
    QCOMPARE(shown[26], QStringLiteral("Please Wait.."));
}

void TestPrintDialog::closesItselfWhenNoJobRuns()
{
    bool running = true;
    TPrintDialogF dialog([&running] { return running; }, nullptr);
    dialog.show();
    dialog.Timer1Timer();
    QVERIFY(dialog.isVisible());
    running = false;
    dialog.Timer1Timer();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.Timer1->isActive());
}

// Print Chart makes the window before the print dialog asks, when no job
// runs yet. A tick in that time closed it and stopped its timer for good,
// and the job's window never counted a dot.
void TestPrintDialog::countsOnceShownAfterTheDialogAsked()
{
    bool running = false;
    TPrintDialogF dialog([&running] { return running; }, nullptr);
    QTest::qWait(300); // the print dialog, with its own event loop
    running = true;
    dialog.show();
    QTRY_COMPARE(dialog.wait_L->text(), QStringLiteral("Please Wait..."));
    running = false;
    QTRY_VERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestPrintDialog)
#include "tst_printdialog.moc"

#include "metering/tdatalogf.h"

#include "support/modal.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

// The "Datalogging Options" dialog driven through its handlers; the save-file
// dialog is replaced by a chooser that returns a fixed path.
class tst_DatalogDialog : public QObject
{
    Q_OBJECT

private slots:
    void opensOnThePreferences_data();
    void opensOnThePreferences();
    void autostartShowsOnlyWhileLoggingIsChecked();
    void okStoresAndCancelLeavesThePreferences_data();
    void okStoresAndCancelLeavesThePreferences();
    void chosenFileLosesItsExtensionOnly_data();
    void chosenFileLosesItsExtensionOnly();
    void cancelledChoiceKeepsTheBaseName();
    void tooLongPathIsRefused_data();
    void tooLongPathIsRefused();
};

struct Prefs
{
    bool AutoStart = false;
    QString DataFile = QStringLiteral("rtd_data");
    bool Datalog = false;
};

void tst_DatalogDialog::opensOnThePreferences_data()
{
    QTest::addColumn<bool>("datalog");
    QTest::addColumn<bool>("autoStart");
    QTest::newRow("logging off") << false << false;
    QTest::newRow("logging on, autostart off") << true << false;
    QTest::newRow("logging and autostart on") << true << true;
}

void tst_DatalogDialog::opensOnThePreferences()
{
    QFETCH(bool, datalog);
    QFETCH(bool, autoStart);
    Prefs prefs{autoStart, QStringLiteral("/var/log/plant"), datalog};
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Datalogging Options"));
    QCOMPARE(dialog.file1_L->text(), QStringLiteral("/var/log/plant"));
    QCOMPARE(dialog.datalog_CB->isChecked(), datalog);
    QCOMPARE(dialog.auto_start_CB->isHidden(), !datalog);
    QCOMPARE(dialog.auto_start_CB->isChecked(), autoStart);
}

void tst_DatalogDialog::autostartShowsOnlyWhileLoggingIsChecked()
{
    Prefs prefs;
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    dialog.datalog_CB->setChecked(true);
    dialog.datalog_CBClick();
    QVERIFY(!dialog.auto_start_CB->isHidden());
    dialog.datalog_CB->setChecked(false);
    dialog.datalog_CBClick();
    QVERIFY(dialog.auto_start_CB->isHidden());
}

void tst_DatalogDialog::okStoresAndCancelLeavesThePreferences_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("logging");
    QTest::addColumn<bool>("autostart");
    QTest::addColumn<bool>("storedDatalog");
    QTest::addColumn<bool>("storedAutoStart");
    QTest::addColumn<QString>("storedFile");
    const QString chosen = QStringLiteral("/logs/plant");
    const QString old = QStringLiteral("rtd_data");
    QTest::newRow("ok, both on") << true << true << true << true << true << chosen;
    QTest::newRow("ok, logging off clears autostart")
        << true << false << true << false << false << chosen;
    QTest::newRow("cancel") << false << false << false << true << true << old;
}

void tst_DatalogDialog::okStoresAndCancelLeavesThePreferences()
{
    QFETCH(bool, ok);
    QFETCH(bool, logging);
    QFETCH(bool, autostart);
    Prefs prefs{true, QStringLiteral("rtd_data"), true};
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    dialog.ChooseFile = [](QWidget *, const QString &) {
        return QStringLiteral("/logs/plant.csv");
    };
    dialog.select_file_BClick();
    dialog.datalog_CB->setChecked(logging);
    dialog.auto_start_CB->setChecked(autostart);
    ok ? dialog.ok_BClick() : dialog.cancel_BClick();

    QTEST(prefs.Datalog, "storedDatalog");
    QTEST(prefs.AutoStart, "storedAutoStart");
    QTEST(prefs.DataFile, "storedFile");
    QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
}

void tst_DatalogDialog::chosenFileLosesItsExtensionOnly_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("base");
    QTest::newRow("csv") << QStringLiteral("/logs/plant.csv") << QStringLiteral("/logs/plant");
    QTest::newRow("no extension") << QStringLiteral("/logs/plant") << QStringLiteral("/logs/plant");
}

void tst_DatalogDialog::chosenFileLosesItsExtensionOnly()
{
    QFETCH(QString, chosen);
    Prefs prefs;
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    QString offered;
    dialog.ChooseFile = [&](QWidget *, const QString &base) {
        offered = base;
        return chosen;
    };
    dialog.select_file_BClick();
    QCOMPARE(offered, QStringLiteral("rtd_data"));
    QTEST(dialog.BaseName(), "base");
    QTEST(dialog.file1_L->text(), "base");
}

void tst_DatalogDialog::cancelledChoiceKeepsTheBaseName()
{
    Prefs prefs;
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    dialog.ChooseFile = [](QWidget *, const QString &) { return QString(); };
    dialog.select_file_BClick();
    QCOMPARE(dialog.BaseName(), QStringLiteral("rtd_data"));
    QCOMPARE(dialog.file1_L->text(), QStringLiteral("rtd_data"));
}

void tst_DatalogDialog::tooLongPathIsRefused_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("refused");
    QTest::newRow("244 characters") << 244 << false;
    QTest::newRow("245 characters") << 245 << true;
}

void tst_DatalogDialog::tooLongPathIsRefused()
{
    QFETCH(int, length);
    QFETCH(bool, refused);
    const QString path =
        QStringLiteral("/") + QString(length - 5, QLatin1Char('p')) + QStringLiteral(".csv");
    QCOMPARE(path.size(), length);
    Prefs prefs;
    TDatalogF dialog(prefs.AutoStart, prefs.DataFile, prefs.Datalog);
    dialog.ChooseFile = [&](QWidget *, const QString &) { return path; };
    auto seen = std::make_shared<ModalSeen>();
    if (refused)
        AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    dialog.select_file_BClick();
    QCOMPARE(seen->seen, refused);
    if (refused) {
        QCOMPARE(seen->caption, QStringLiteral("Error"));
        QCOMPARE(seen->text, QStringLiteral("Filename too long."));
        QCOMPARE(dialog.BaseName(), QStringLiteral("rtd_data"));
    } else {
        QCOMPARE(dialog.BaseName().size(), length - 4);
    }
}

QTEST_MAIN(tst_DatalogDialog)
#include "tst_datalogdialog.moc"

// The texts of "Help File Open Error", written out here as the user reads
// them, one per result code of the open.

#include "app/helpfile.h"

#include <QTest>

namespace {

const QString kMemoryText =
    QStringLiteral("There was not enough memory available to open the web browser.\n"
                   "Try closing other programs or restarting your computer.");
const QString kNotFoundText =
    QStringLiteral("The help file that is distributed with KELVORA was not found.\n"
                   "It may not have been installed or may have been erased.  KELVORA\n"
                   "may have to be reinstalled to have access to these files.");
const QString kPermissionText =
    QStringLiteral("The help files have been installed with the wrong permissions.\n"
                   "To view the help files their user and group id security permissions\n"
                   "must be set to allow you access to them.");
const QString kBrowserText =
    QStringLiteral("An error occured openning a web browser to view the help file.\n"
                   "A web browser must be present to view these files.  To view the\n"
                   "files manually, open \"help/index.html\" in KELVORAs installation\n"
                   "directory.");
const QString kSystemText =
    QStringLiteral("A system error occured.  The system may be busy or unstable.\n"
                   "Try openning the help files again, if this error occurs again\n"
                   "try closing other programs or restarting your computer.");

} // namespace

class TestHelpFile : public QObject
{
    Q_OBJECT

private slots:
    void errorTextByResult_data();
    void errorTextByResult();
};

void TestHelpFile::errorTextByResult_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text"); // empty: no message box

    QTest::newRow("0 out of resources") << 0 << kMemoryText;
    QTest::newRow("8 out of memory") << 8 << kMemoryText;
    QTest::newRow("2 file not found") << 2 << kNotFoundText;
    QTest::newRow("3 path not found: nothing shown") << 3 << QString();
    QTest::newRow("5 access denied") << 5 << kPermissionText;
    QTest::newRow("26 sharing violation") << 26 << kPermissionText;
    QTest::newRow("11 bad format") << 11 << kBrowserText;
    QTest::newRow("27 incomplete association") << 27 << kBrowserText;
    QTest::newRow("31 no associated program") << 31 << kBrowserText;
    QTest::newRow("1 any other") << 1 << kSystemText;
    QTest::newRow("4 any other") << 4 << kSystemText;
    QTest::newRow("32 the last error code") << 32 << kSystemText;
    QTest::newRow("33 success") << 33 << QString();
    QTest::newRow("42 opened") << 42 << QString();
}

void TestHelpFile::errorTextByResult()
{
    QFETCH(int, result);
    QFETCH(QString, text);
    QCOMPARE(HelpOpenErrorText(result), text);
}

QTEST_APPLESS_MAIN(TestHelpFile)
#include "tst_helpfile.moc"

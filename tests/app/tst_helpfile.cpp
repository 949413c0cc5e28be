// Where the help is looked for, and the texts of "Help File Open Error",
// written out here as the user reads them, one per result code of the open.

#include "app/helpfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

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
    void lookedForNextToTheProgramThenInItsDataFolder_data();
    void lookedForNextToTheProgramThenInItsDataFolder();
    void errorTextByResult_data();
    void errorTextByResult();
};

// A layout of a temporary folder: the program in bin/, the installed help
// in share/kelvora/help/; names ending in "/" are folders, others files.
// The current folder holds a help of its own, which must never be taken:
// F1 did nothing when Kelvora was started from anywhere but the checkout.
void TestHelpFile::lookedForNextToTheProgramThenInItsDataFolder_data()
{
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<QString>("document"); // relative to the temporary folder
    // The open's result, with a browser that opens it: the codes the help
    // menu explains, written out; 33 stands for any success (above 32).
    QTest::addColumn<int>("result");

    const QString beside = QStringLiteral("bin/help/index.html");
    const QString installed = QStringLiteral("share/kelvora/help/index.html");
    QTest::newRow("next to the program") << QStringList{beside} << beside << 33;
    QTest::newRow("in the installed data folder") << QStringList{installed} << installed << 33;
    QTest::newRow("both: the one next to the program")
        << QStringList{beside, installed} << beside << 33;
    QTest::newRow("empty folder next to the program, installed file")
        << QStringList{QStringLiteral("bin/help/"), installed} << installed << 33;
    QTest::newRow("folder next to the program without the file")
        << QStringList{QStringLiteral("bin/help/")} << beside << 2;
    QTest::newRow("installed folder without the file")
        << QStringList{QStringLiteral("share/kelvora/help/")} << installed << 2;
    QTest::newRow("no help folder anywhere") << QStringList{} << beside << 3;
    QTest::newRow("index.html is a folder")
        << QStringList{beside + QLatin1Char('/')} << beside << 5;
}

void TestHelpFile::lookedForNextToTheProgramThenInItsDataFolder()
{
    QFETCH(QStringList, layout);
    QFETCH(QString, document);
    QFETCH(int, result);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir top(root.path());
    QVERIFY(top.mkpath(QStringLiteral("bin")));
    QVERIFY(top.mkpath(QStringLiteral("work/help")));
    for (const QString &entry : layout + QStringList{QStringLiteral("work/help/index.html")}) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QVERIFY(top.mkpath(entry));
            continue;
        }
        QVERIFY(top.mkpath(entry.section(QLatin1Char('/'), 0, -2)));
        QFile file(top.filePath(entry));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("<html></html>") > 0);
    }
    const QString oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(top.filePath(QStringLiteral("work"))));
    const QString found = FindHelpDocument(HelpFolders(top.filePath(QStringLiteral("bin"))));
    QVERIFY(QDir::setCurrent(oldCurrent));

    QCOMPARE(found, top.filePath(document));
    QUrl asked;
    const int opened = OpenHelpDocument(found, [&](const QUrl &url) {
        asked = url;
        return true;
    });
    QCOMPARE(opened > 32 ? 33 : opened, result);
    QCOMPARE(asked.isEmpty(), result != 33);
}

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

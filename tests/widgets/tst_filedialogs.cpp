#include "widgets/filedialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTest>

// The program's file dialogs list the files of their kind whatever the case
// of the extension: on Linux a configuration saved elsewhere as "RTD.CFG" was
// not offered by a filter of "*.cfg" alone.
class TestFileDialogs : public QObject
{
    Q_OBJECT

private slots:
    void listsTheKindInBothCases_data();
    void listsTheKindInBothCases();
};

namespace {

// The names the dialog's file list shows, once its folder has been read.
QStringList Listed(QFileDialog &dialog)
{
    const auto *view = dialog.findChild<QAbstractItemView *>(QStringLiteral("listView"));
    if (!view)
        return {};
    QStringList names;
    QAbstractItemModel *model = view->model();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row)
        names << model->index(row, 0, root).data().toString();
    names.sort();
    return names;
}

} // namespace

void TestFileDialogs::listsTheKindInBothCases_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("configuration files")
        << "Configuration File"
        << "cfg"
        << "Configuration File (*.cfg *.CFG)"
        << QStringList{QStringLiteral("RTD.CFG"), QStringLiteral("plant.cfg")};
    QTest::newRow("datalog files")
        << "Text File"
        << "csv"
        << "Text File (*.csv *.CSV)"
        << QStringList{QStringLiteral("DAY.CSV"), QStringLiteral("rtd_data_0314.csv")};
}

void TestFileDialogs::listsTheKindInBothCases()
{
    QFETCH(QString, kind);
    QFETCH(QString, extension);
    QFETCH(QString, filter);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name :
         {QStringLiteral("RTD.CFG"), QStringLiteral("plant.cfg"), QStringLiteral("DAY.CSV"),
          QStringLiteral("rtd_data_0314.csv"), QStringLiteral("notes.txt")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(FileDialogFilter(kind, extension), filter);

    const std::unique_ptr<QFileDialog> dialog =
        MakeFileDialog(nullptr, {.title = QStringLiteral("Load"),
                                 .initial = dir.path(),
                                 .kind = kind,
                                 .extension = extension});
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDirectory(dir.path());
    dialog->show();
    QTRY_COMPARE(Listed(*dialog), listed);
}

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"

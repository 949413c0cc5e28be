#include "metering/datalogfile.h"
#include "support/filesizecap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Rows and header are written out here as the bytes a reader of the file
// gets, not built from the code's own pieces.
namespace {

const QByteArray kHeader =
    "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r\n";

ReadingTexts Texts(const QStringList &list)
{
    ReadingTexts texts;
    for (int i = 0; i < 8; ++i)
        texts[size_t(i)] = list.value(i);
    return texts;
}

const ReadingTexts kSample = Texts(
    {QStringLiteral("23.5"), QStringLiteral("----"), QStringLiteral("Op"), QStringLiteral("Sh"),
     QStringLiteral("ERROR"), QString(), QStringLiteral("-40.0"), QStringLiteral("209.9")});
// kSample as module 5 writes it.
QByteArray SampleRow(const char *time)
{
    return QByteArray(time) +
           "\tRTD Module 5\t  23.5\t  ----\t    Op\t    Sh\t ERROR\t      \t -40.0\t 209.9\r\n";
}

QDateTime At(int year, int month, int day, int h, int m, int s)
{
    return QDateTime(QDate(year, month, day), QTime(h, m, s));
}

} // namespace

class TestDatalogFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void row_data();
    void row();
    void headerOnlyWhenTheFileIsCreated();
    void existingFileGetsNoHeader();
    void emptyFileGetsTheHeader();
    void midnightStartsTheNextDaysFile_data();
    void midnightStartsTheNextDaysFile();
    void unwritableFolderDropsTheRowAndTheNextRowTriesAgain_data();
    void unwritableFolderDropsTheRowAndTheNextRowTriesAgain();
    void existingFileKeepsEveryByte_data();
    void existingFileKeepsEveryByte();
    void notARegularFileDropsTheRowAtOnce_data();
    void notARegularFileDropsTheRowAtOnce();
    void fullDiskTakesBackOnlyItsOwnBytes_data();
    void fullDiskTakesBackOnlyItsOwnBytes();
    void baseName_data();
    void baseName();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_base;
};

void TestDatalogFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_base = m_dir->filePath(QStringLiteral("plant"));
}

void TestDatalogFile::row_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("module");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("every kind of text")
        << QTime(14, 3, 7) << 5
        << QStringList{QStringLiteral("23.5"),  QStringLiteral("----"),  QStringLiteral("Op"),
                       QStringLiteral("Sh"),    QStringLiteral("ERROR"), QString(),
                       QStringLiteral("-40.0"), QStringLiteral("209.9")}
        << SampleRow("14:03:07");
    QTest::newRow("failed read, module 63")
        << QTime(0, 0, 0) << 63 << QStringList(8, QStringLiteral("----"))
        << QByteArray("00:00:00\tRTD Module 63\t  ----\t  ----\t  ----\t  ----\t  ----\t  ----\t"
                      "  ----\t  ----\r\n");
    QTest::newRow("all empty, module 1, last second of the day")
        << QTime(23, 59, 59) << 1 << QStringList(8, QString())
        << QByteArray("23:59:59\tRTD Module 1\t      \t      \t      \t      \t      \t      \t"
                      "      \t      \r\n");
    QTest::newRow("six and more characters are never cut")
        << QTime(9, 5, 1) << 12 << QStringList{QStringLiteral("-123.4"),  QStringLiteral("1234.5"),
                                               QStringLiteral("12345.6"), QStringLiteral("0.0"),
                                               QStringLiteral("2.0"),     QStringLiteral("22.0"),
                                               QStringLiteral("1"),       QStringLiteral("100.0")}
        << QByteArray("09:05:01\tRTD Module 12\t-123.4\t1234.5\t12345.6\t   0.0\t   2.0\t"
                      "  22.0\t     1\t 100.0\r\n");
    QTest::newRow("comma as decimal separator")
        << QTime(12, 0, 30) << 40 << QStringList(8, QStringLiteral("21,7"))
        << QByteArray("12:00:30\tRTD Module 40\t  21,7\t  21,7\t  21,7\t  21,7\t  21,7\t  21,7\t"
                      "  21,7\t  21,7\r\n");
    // Single-byte text: one byte per character, so the padding still counts
    // six characters.
    QTest::newRow("Latin-1 character")
        << QTime(1, 2, 3) << 7 << QStringList(8, QStringLiteral("1\u00B72"))
        << QByteArray("01:02:03\tRTD Module 7\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\t   1\xB7"
                      "2\r\n");
}

void TestDatalogFile::row()
{
    QFETCH(QTime, time);
    QFETCH(int, module);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, expected);
    QCOMPARE(FormatDatalogRow(time, module, Texts(texts)), expected);

    // The same bytes reach the file, after the header.
    const Result<> added =
        AppendDatalogRow(m_base, QDateTime(QDate(2024, 3, 14), time), module, Texts(texts));
    QVERIFY2(added.ok(), qPrintable(added.error()));
    QCOMPARE(ReadFileBytes(m_dir->filePath(QStringLiteral("plant_0314.csv"))), kHeader + expected);
}

void TestDatalogFile::headerOnlyWhenTheFileIsCreated()
{
    QVERIFY(AppendDatalogRow(m_base, At(2024, 3, 14, 14, 3, 7), 5, kSample).ok());
    QVERIFY(AppendDatalogRow(m_base, At(2024, 3, 14, 14, 3, 8), 5, kSample).ok());
    QVERIFY(AppendDatalogRow(m_base, At(2024, 3, 14, 14, 3, 9), 5, kSample).ok());
    QCOMPARE(ReadFileBytes(m_dir->filePath(QStringLiteral("plant_0314.csv"))),
             kHeader + SampleRow("14:03:07") + SampleRow("14:03:08") + SampleRow("14:03:09"));
}

void TestDatalogFile::existingFileGetsNoHeader()
{
    // Whoever wrote it, an existing file only gets rows appended.
    const QString path = m_dir->filePath(QStringLiteral("plant_0101.csv"));
    QVERIFY(WriteFileBytes(path, "written by someone else\r\n"));
    QVERIFY(AppendDatalogRow(m_base, At(2025, 1, 1, 0, 0, 1), 5, kSample).ok());
    QCOMPARE(ReadFileBytes(path), "written by someone else\r\n" + SampleRow("00:00:01"));
}

// An empty file is one whose creation was cut short (a crash between
// creating and writing, or a full disk): its first row still needs the
// header over it.
void TestDatalogFile::emptyFileGetsTheHeader()
{
    const QString path = m_dir->filePath(QStringLiteral("plant_0314.csv"));
    QVERIFY(WriteFileBytes(path, QByteArray()));
    QVERIFY(AppendDatalogRow(m_base, At(2024, 3, 14, 8, 0, 0), 5, kSample).ok());
    QCOMPARE(ReadFileBytes(path), kHeader + SampleRow("08:00:00"));
}

void TestDatalogFile::midnightStartsTheNextDaysFile_data()
{
    QTest::addColumn<QDateTime>("before");
    QTest::addColumn<QDateTime>("after");
    QTest::addColumn<QString>("oldFile");
    QTest::addColumn<QString>("newFile");
    QTest::newRow("14 to 15 March")
        << At(2024, 3, 14, 23, 59, 59) << At(2024, 3, 15, 0, 0, 0) << "plant_0314.csv"
        << "plant_0315.csv";
    QTest::newRow("new year") << At(2024, 12, 31, 23, 59, 59) << At(2025, 1, 1, 0, 0, 0)
                              << "plant_1231.csv"
                              << "plant_0101.csv";
    QTest::newRow("leap day") << At(2024, 2, 28, 23, 59, 59) << At(2024, 2, 29, 0, 0, 0)
                              << "plant_0228.csv"
                              << "plant_0229.csv";
}

void TestDatalogFile::midnightStartsTheNextDaysFile()
{
    QFETCH(QDateTime, before);
    QFETCH(QDateTime, after);
    QFETCH(QString, oldFile);
    QFETCH(QString, newFile);

    QVERIFY(AppendDatalogRow(m_base, before.addSecs(-1), 5, kSample).ok());
    QVERIFY(AppendDatalogRow(m_base, before, 5, kSample).ok());
    QVERIFY(!QFile::exists(m_dir->filePath(newFile)));
    QVERIFY(AppendDatalogRow(m_base, after, 5, kSample).ok());
    QVERIFY(AppendDatalogRow(m_base, after.addSecs(1), 5, kSample).ok());

    QCOMPARE(ReadFileBytes(m_dir->filePath(oldFile)),
             kHeader + SampleRow("23:59:58") + SampleRow("23:59:59"));
    QCOMPARE(ReadFileBytes(m_dir->filePath(newFile)),
             kHeader + SampleRow("00:00:00") + SampleRow("00:00:01"));
}

void TestDatalogFile::unwritableFolderDropsTheRowAndTheNextRowTriesAgain_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("blockWithAFile");
    QTest::newRow("folder does not exist") << "gone" << false;
    QTest::newRow("a file where the folder should be") << "blocked" << true;
}

void TestDatalogFile::unwritableFolderDropsTheRowAndTheNextRowTriesAgain()
{
    QFETCH(QString, folder);
    QFETCH(bool, blockWithAFile);
    const QString folderPath = m_dir->filePath(folder);
    if (blockWithAFile)
        QVERIFY(WriteFileBytes(folderPath, "not a folder"));
    const QString base = folderPath + QLatin1String("/plant");
    const QString path = folderPath + QLatin1String("/plant_0314.csv");

    const Result<> dropped = AppendDatalogRow(base, At(2024, 3, 14, 10, 0, 0), 5, kSample);
    QVERIFY(!dropped.ok());
    QVERIFY2(dropped.error().startsWith(path + QLatin1String(" cannot be opened: ")),
             qPrintable(dropped.error()));

    // The folder comes back; the next row goes in, header first.
    if (blockWithAFile)
        QVERIFY(QFile::remove(folderPath));
    QVERIFY(QDir(m_dir->path()).mkdir(folder));
    const Result<> added = AppendDatalogRow(base, At(2024, 3, 14, 10, 0, 1), 5, kSample);
    QVERIFY2(added.ok(), qPrintable(added.error()));
    QCOMPARE(ReadFileBytes(path), kHeader + SampleRow("10:00:01"));
}

// An existing file gets the next row after everything it holds, on a line of
// its own, whoever wrote it. Nothing of it goes, not even a tail that looks
// like a row of this program's cut short: whether it is one cannot be told
// from the bytes (an editor strips a row's line end, a note is typed under
// the rows), so the row that follows just starts on the next line.
void TestDatalogFile::existingFileKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QByteArray whole = kHeader + SampleRow("10:00:00");
    const QByteArray next = SampleRow("10:00:05");
    const QByteArray notes = "my own notes line 1\nline 2 without newline at end";
    QTest::newRow("notes, last line without line end") << notes << notes + "\r\n" + next;
    QTest::newRow("no line feed at all")
        << QByteArray("just one line") << QByteArray("just one line\r\n") + next;
    QTest::newRow("CR-only line ends")
        << QByteArray("a\rb\rc\r") << QByteArray("a\rb\rc\r\n") + next;
    QTest::newRow("CR-only, last line open")
        << QByteArray("a\rb\rc") << QByteArray("a\rb\rc\r\n") + next;
    QTest::newRow("LF-only line ends") << QByteArray("a\nb\n") << QByteArray("a\nb\n") + next;
    QTest::newRow("foreign tail of 10,000 bytes")
        << whole + QByteArray(10000, 'x') << whole + QByteArray(10000, 'x') + "\r\n" + next;
    QTest::newRow("foreign file of 100,000 bytes, no line end")
        << QByteArray(100000, 'y') << QByteArray(100000, 'y') + "\r\n" + next;
    QTest::newRow("row-like tail after a foreign line")
        << QByteArray("notes\n10:00:01\tRTD Mod")
        << QByteArray("notes\n10:00:01\tRTD Mod\r\n") + next;
    QTest::newRow("header-like text after a line")
        << QByteArray("notes\nTime\tMod") << QByteArray("notes\nTime\tMod\r\n") + next;
    QTest::newRow("whole file") << whole << whole + next;
    // An editor took the line end off the last row: the row is data.
    const QByteArray stripped = "00:10:01\tRTD Module 1\t  23.6\t  23.7\t  ----\t    Op\t"
                                "    Sh\t ERROR\t      \t  -0.1";
    QTest::newRow("whole row whose CR LF an editor stripped")
        << whole + stripped << whole + stripped + "\r\n" + next;
    // A note typed under the rows that begins the way a row does.
    const QByteArray note = "00:11:00\tRTD Module 2\t  operator note";
    QTest::newRow("note under a row that starts like a row")
        << whole + note << whole + note + "\r\n" + next;
    QTest::newRow("row without its LF")
        << whole + SampleRow("10:00:01").chopped(1) << whole + SampleRow("10:00:01") + next;
    QTest::newRow("start of a row after a whole row")
        << whole + SampleRow("10:00:01").left(30)
        << whole + SampleRow("10:00:01").left(30) + "\r\n" + next;
    QTest::newRow("one byte after the header")
        << kHeader + QByteArray("1") << kHeader + "1\r\n" + next;
    QTest::newRow("start of a header as the whole file")
        << kHeader.left(20) << kHeader.left(20) + "\r\n" + next;
    QTest::newRow("header without its LF") << kHeader.chopped(1) << kHeader + next;
}

void TestDatalogFile::existingFileKeepsEveryByte()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QString path = m_dir->filePath(QStringLiteral("plant_0314.csv"));
    QVERIFY(WriteFileBytes(path, before));
    const Result<> added = AppendDatalogRow(m_base, At(2024, 3, 14, 10, 0, 5), 5, kSample);
    QVERIFY2(added.ok(), qPrintable(added.error()));
    QCOMPARE(ReadFileBytes(path), after);
}

// Whatever stands where the day's file should be and is not a regular file
// is refused at once, never waited on (a FIFO without a reader would hold the
// window for good) and never written.
void TestDatalogFile::notARegularFileDropsTheRowAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO without a reader") << "fifo";
    QTest::newRow("folder") << "folder";
}

void TestDatalogFile::notARegularFileDropsTheRowAtOnce()
{
    QFETCH(QString, kind);
    const QString path = m_dir->filePath(QStringLiteral("plant_0314.csv"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QDir().mkdir(path));
    const Result<> added = AppendDatalogRow(m_base, At(2024, 3, 14, 10, 0, 5), 5, kSample);
    QVERIFY(!added.ok());
    QVERIFY2(added.error().contains(path), qPrintable(added.error()));
}

// A full disk or a file-size limit lets write() put down part of what it was
// given and no more. That part is this program's own and must not stay (a
// reader would take it for a row, and the next row would be glued to it);
// everything the file held before stays, an unfinished last line included.
// The cap counts bytes past the file's size before the row.
void TestDatalogFile::fullDiskTakesBackOnlyItsOwnBytes_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("room");
    QTest::addColumn<QByteArray>("nextAfter");

    const QByteArray whole = kHeader + SampleRow("10:00:00");
    const QByteArray note = "00:11:00\tRTD Module 2\t  operator note";
    const QByteArray next = SampleRow("10:00:02");
    QTest::newRow("cut inside the row") << true << whole << 40 << whole + next;
    QTest::newRow("no room at all") << true << whole << 0 << whole + next;
    QTest::newRow("unfinished line kept, cut inside the row")
        << true << whole + note << 20 << whole + note + "\r\n" + next;
    QTest::newRow("unfinished line kept, cut inside its line end")
        << true << whole + note << 1 << whole + note + "\r\n" + next;
    QTest::newRow("empty file, cut inside the header")
        << true << QByteArray() << 30 << kHeader + next;
    QTest::newRow("new file, cut inside the header")
        << false << QByteArray() << 30 << kHeader + next;
    QTest::newRow("new file, cut inside the row after the header")
        << false << QByteArray() << int(kHeader.size()) + 10 << kHeader + next;
}

void TestDatalogFile::fullDiskTakesBackOnlyItsOwnBytes()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(int, room);
    QFETCH(QByteArray, nextAfter);
    const QString path = m_dir->filePath(QStringLiteral("plant_0314.csv"));
    if (exists)
        QVERIFY(WriteFileBytes(path, before));

    Result<> added;
    {
        FileSizeCap cap(rlim_t(before.size() + room));
        QVERIFY(cap.ok());
        added = AppendDatalogRow(m_base, At(2024, 3, 14, 10, 0, 1), 5, kSample);
    }
    QVERIFY(!added.ok());
    QVERIFY2(added.error().contains(path), qPrintable(added.error()));
    QCOMPARE(ReadFileBytes(path), before);

    // Room again: the next row goes in whole.
    QVERIFY(AppendDatalogRow(m_base, At(2024, 3, 14, 10, 0, 2), 5, kSample).ok());
    QCOMPARE(ReadFileBytes(path), nextAfter);
}

void TestDatalogFile::baseName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("base");
    QTest::newRow("csv") << "C:/logs/plant.csv"
                         << "C:/logs/plant";
    QTest::newRow("txt") << "C:/logs/plant.txt"
                         << "C:/logs/plant";
    QTest::newRow("bare name with extension") << "plant.txt"
                                              << "plant";
    QTest::newRow("long extension") << "/logs/plant.data"
                                    << "/logs/plant";
    QTest::newRow("short extension") << "/logs/plant.c"
                                     << "/logs/plant";
    QTest::newRow("no extension") << "/logs/plant"
                                  << "/logs/plant";
    QTest::newRow("dot in the folder only") << "/logs.d/plant"
                                            << "/logs.d/plant";
    QTest::newRow("short name, no extension") << "/logs/ab"
                                              << "/logs/ab";
    QTest::newRow("bare name, no extension") << "plant"
                                             << "plant";
    QTest::newRow("hidden file") << "/home/me/.plant"
                                 << "/home/me/.plant";
    QTest::newRow("two dots: the last one") << "/logs/plant.v2.csv"
                                            << "/logs/plant.v2";
    QTest::newRow("spaces kept") << "/my logs/plant 1.csv"
                                 << "/my logs/plant 1";
}

void TestDatalogFile::baseName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, base);
    QCOMPARE(DatalogBaseName(chosen), base);
}

QTEST_APPLESS_MAIN(TestDatalogFile)
#include "tst_datalogfile.moc"

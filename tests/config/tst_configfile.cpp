#include "config/configfile.h"
#include "support/asnobody.h"
#include "support/filesizecap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// The file layout is written out again here, byte by byte, so that a change
// to the code's own offsets or marks shows up as a failure.
namespace {

// Header 0..5, the period byte, 504 zero code bytes, trailer 0..5, 33 zeros.
QByteArray Image(int periodByte)
{
    QByteArray bytes;
    bytes.append("\x00\x01\x02\x03\x04\x05", 6);
    bytes.append(static_cast<char>(periodByte));
    bytes.append(QByteArray(504, '\0'));
    bytes.append("\x00\x01\x02\x03\x04\x05", 6);
    bytes.append(QByteArray(33, '\0'));
    return bytes;
}

// The block of module m starts at 7 + 8 * (m - 1).
QByteArray WithBlock(QByteArray bytes, int m, const QList<int> &codes)
{
    for (int i = 0; i < 8; ++i)
        bytes[7 + 8 * (m - 1) + i] = static_cast<char>(codes[i]);
    return bytes;
}

QByteArray WithByte(QByteArray bytes, int offset, int value)
{
    bytes[offset] = static_cast<char>(value);
    return bytes;
}

void SetTypes(ModuleTable &table, int m, const QList<int> &codes)
{
    for (int k = 1; k <= 8; ++k)
        table.input_type[k][m] = codes[k - 1];
}

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void roundTrip();
    void parse_data();
    void parse();
    void failureTextSaysWhatIsWrong_data();
    void failureTextSaysWhatIsWrong();
    void loadDerivesModuleAndGroupStates();
    void fileWithNoModuleLeavesEverythingDeselected();
    void readTakesAtMost550Bytes();
    void unopenableFileIsAFailureOfItsOwn_data();
    void unopenableFileIsAFailureOfItsOwn();
    void saveReplacesTheOldFile();
    void saveIntoReadOnlyFolderOverwritesAWritableFile();
    void failedSaveLeavesOldFileUntouched();
    void saveThatCannotWriteSaysSo_data();
    void saveThatCannotWriteSaysSo();
    void saveRemovesOnlyItsOwnLeftovers_data();
    void saveRemovesOnlyItsOwnLeftovers();
    void saveKeepsTheFilesPermissions();
    void saveThroughALinkReplacesWhatItNames();

private:
    QTemporaryDir m_dir;
};

// One module of the table carries codes; its group expanded or not, the
// module selected or not; the image must hold exactly these bytes.
void TestConfigFile::build_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<bool>("groupExpanded");
    QTest::addColumn<int>("moduleState");
    QTest::addColumn<int>("period");
    QTest::addColumn<QByteArray>("expected");

    const QList<int> mixed{1, 0, 2, 3, 4, 5, 0, 1};
    QTest::newRow("visible module 5")
        << 5 << mixed << true << 3 << 63 << WithBlock(Image(63), 5, mixed);
    QTest::newRow("module 1, first block")
        << 1 << QList<int>{5, 5, 5, 5, 5, 5, 5, 5} << true << 3 << 10
        << WithBlock(Image(10), 1, {5, 5, 5, 5, 5, 5, 5, 5});
    QTest::newRow("module 63, last block (group of 15)")
        << 63 << QList<int>{0, 0, 0, 0, 0, 0, 0, 4} << true << 3 << 2
        << WithBlock(Image(2), 63, {0, 0, 0, 0, 0, 0, 0, 4});
    QTest::newRow("module 17 opens group 2")
        << 17 << mixed << true << 3 << 63 << WithBlock(Image(63), 17, mixed);
    QTest::newRow("period 300 saved as 44")
        << 5 << mixed << true << 3 << 300 << WithBlock(Image(44), 5, mixed);
    QTest::newRow("period 255") << 5 << mixed << true << 3 << 255
                                << WithBlock(Image(255), 5, mixed);
    QTest::newRow("period 256 saved as 0")
        << 5 << mixed << true << 3 << 256 << WithBlock(Image(0), 5, mixed);
    QTest::newRow("collapsed group saves zeros") << 5 << mixed << false << 3 << 63 << Image(63);
    QTest::newRow("deselected module saves zeros") << 40 << mixed << true << 2 << 63 << Image(63);
    QTest::newRow("codes outside 0..5 written as 0")
        << 9 << QList<int>{6, -1, 255, 3, 256, 5, 1000, 2} << true << 3 << 63
        << WithBlock(Image(63), 9, {0, 0, 0, 3, 0, 5, 0, 2});
}

void TestConfigFile::build()
{
    QFETCH(int, module);
    QFETCH(QList<int>, codes);
    QFETCH(bool, groupExpanded);
    QFETCH(int, moduleState);
    QFETCH(int, period);
    QFETCH(QByteArray, expected);

    ModuleTable table;
    SetTypes(table, module, codes);
    table.group_state[ModuleTable::GroupOf(module)] = groupExpanded ? 3 : 2;
    table.module_state[module] = moduleState;
    // A selected module of another, collapsed group never shows in the image.
    const int hidden = module == 63 ? 1 : 63;
    SetTypes(table, hidden, {1, 1, 1, 1, 1, 1, 1, 1});

    const QByteArray image = BuildConfigImage(table, period);
    QCOMPARE(image.size(), 550);
    QCOMPARE(image.toHex(' '), expected.toHex(' '));
}

void TestConfigFile::roundTrip()
{
    ModuleTable saved;
    for (int g = 1; g <= 4; ++g)
        saved.group_state[g] = 3;
    SetTypes(saved, 1, {1, 2, 3, 4, 5, 0, 1, 2});
    SetTypes(saved, 16, {0, 0, 0, 0, 0, 0, 0, 5});
    SetTypes(saved, 33, {4, 4, 4, 4, 4, 4, 4, 4});
    SetTypes(saved, 63, {3, 0, 3, 0, 3, 0, 3, 0});
    const QString path = m_dir.filePath(QStringLiteral("roundtrip.cfg"));
    QVERIFY(WriteConfigFile(path, BuildConfigImage(saved, 120)).ok());

    const Result<QByteArray> bytes = ReadConfigFile(path);
    QVERIFY2(bytes.ok(), qPrintable(bytes.error()));
    const Result<ConfigImage> image = ParseConfigImage(*bytes, path);
    QVERIFY2(image.ok(), qPrintable(image.error()));

    ModuleTable loaded;
    ApplyConfigImage(*image, loaded);
    QCOMPARE(image->period, 120);
    for (int m = 1; m <= 63; ++m) {
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(loaded.input_type[k][m], saved.input_type[k][m]);
        const bool used = m == 1 || m == 16 || m == 33 || m == 63;
        QCOMPARE(loaded.module_state[m], used ? 3 : 2);
    }
    // Group 2 (17-32) held nothing, so it comes back collapsed.
    QCOMPARE(loaded.group_state[1], 3);
    QCOMPARE(loaded.group_state[2], 2);
    QCOMPARE(loaded.group_state[3], 3);
    QCOMPARE(loaded.group_state[4], 3);
}

void TestConfigFile::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");

    const QByteArray valid = WithBlock(Image(30), 2, {1, 2, 3, 4, 5, 0, 0, 1});
    QTest::newRow("550 bytes") << valid << true;
    QTest::newRow("517 bytes") << valid.left(517) << true;
    QTest::newRow("516 bytes") << valid.left(516) << false;
    QTest::newRow("511 bytes, trailer missing") << valid.left(511) << false;
    QTest::newRow("7 bytes") << valid.left(7) << false;
    QTest::newRow("6 bytes, no period") << valid.left(6) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("600 bytes, junk after 550") << valid + QByteArray(50, '\x77') << true;
    QTest::newRow("600 bytes, valid first 517, junk from 517")
        << valid.left(517) + QByteArray(83, '\x09') << true;
    QTest::newRow("non-zero filler") << WithByte(WithByte(valid, 517, 0xFF), 549, 0x06) << true;
    QTest::newRow("code 6 in the first block") << WithByte(valid, 7, 6) << false;
    QTest::newRow("code 6 in module 2") << WithByte(valid, 7 + 8 + 3, 6) << false;
    QTest::newRow("code 6 in the last byte of module 63") << WithByte(valid, 510, 6) << false;
    QTest::newRow("code 255") << WithByte(valid, 300, 255) << false;
    QTest::newRow("code 5 everywhere")
        << QByteArray(valid).replace(7, 504, QByteArray(504, '\x05')) << true;
    QTest::newRow("header byte 0 is 1") << WithByte(valid, 0, 1) << false;
    QTest::newRow("header byte 5 is 0") << WithByte(valid, 5, 0) << false;
    QTest::newRow("trailer byte 511 is 1") << WithByte(valid, 511, 1) << false;
    QTest::newRow("trailer byte 516 is 6") << WithByte(valid, 516, 6) << false;
    QTest::newRow("trailer shifted by one")
        << QByteArray(valid).insert(511, '\0').left(550) << false;
    QTest::newRow("period 0") << WithByte(valid, 6, 0) << true;
    QTest::newRow("period 255") << WithByte(valid, 6, 255) << true;
}

void TestConfigFile::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);

    const Result<ConfigImage> image = ParseConfigImage(bytes, QStringLiteral("plant.cfg"));
    QCOMPARE(image.ok(), accepted);
    if (!accepted) {
        QVERIFY2(image.error().contains(QLatin1String("plant.cfg")), qPrintable(image.error()));
        return;
    }
    QCOMPARE(image->period, static_cast<unsigned char>(bytes[6]));
    for (int m = 1; m <= 63; ++m) {
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(image->input_type[k][m], int(bytes[7 + 8 * (m - 1) + k - 1]));
    }
}

// The text is for logs and tool tips; it must point at the actual fault.
void TestConfigFile::failureTextSaysWhatIsWrong_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QByteArray valid = Image(63);
    QTest::newRow("short") << valid.left(516)
                           << "rtd.cfg is 516 bytes long; a configuration file has at least 517.";
    QTest::newRow("header") << WithByte(valid, 2, 9)
                            << "rtd.cfg is not a configuration file: it does not begin with the "
                               "bytes 0 1 2 3 4 5.";
    QTest::newRow("code") << WithByte(valid, 7 + 8 * 4 + 2, 6)
                          << "rtd.cfg: input 3 of module 5 has the type code 6; the codes run "
                             "from 0 to 5.";
    QTest::newRow("trailer") << WithByte(valid, 513, 0)
                             << "rtd.cfg is damaged: the bytes 0 1 2 3 4 5 that end the module "
                                "blocks are not at offset 511.";
}

void TestConfigFile::failureTextSaysWhatIsWrong()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const Result<ConfigImage> image = ParseConfigImage(bytes, QStringLiteral("rtd.cfg"));
    QVERIFY(!image.ok());
    QCOMPARE(image.error(), expected);
}

void TestConfigFile::loadDerivesModuleAndGroupStates()
{
    // A visible module whose inputs are all "Not Used" is saved as zeros and
    // comes back deselected; a module with one input in use comes back
    // selected and opens its group.
    ModuleTable table;
    table.group_state[1] = 3;
    table.group_state[3] = 3;
    SetTypes(table, 4, {0, 0, 0, 0, 0, 0, 0, 0});
    SetTypes(table, 40, {0, 0, 0, 0, 0, 2, 0, 0});
    const QByteArray bytes = BuildConfigImage(table, 63);
    QCOMPARE(bytes.mid(7 + 8 * 3, 8), QByteArray(8, '\0'));

    // Whatever the table held before the load does not matter.
    ModuleTable loaded;
    for (int g = 1; g <= 4; ++g)
        loaded.group_state[g] = 3;
    SetTypes(loaded, 20, {1, 1, 1, 1, 1, 1, 1, 1});
    const Result<ConfigImage> image = ParseConfigImage(bytes, QStringLiteral("x.cfg"));
    QVERIFY(image.ok());
    ApplyConfigImage(*image, loaded);

    QCOMPARE(loaded.module_state[4], 2);
    QCOMPARE(loaded.module_state[40], 3);
    QCOMPARE(loaded.module_state[20], 2);
    QCOMPARE(loaded.input_type[1][20], 0);
    QCOMPARE(loaded.input_type[6][40], 2);
    QCOMPARE(loaded.group_state[1], 2);
    QCOMPARE(loaded.group_state[2], 2);
    QCOMPARE(loaded.group_state[3], 3);
    QCOMPARE(loaded.group_state[4], 2);
    QCOMPARE(loaded.UpdateActiveModules(), 1);
    QCOMPARE(loaded.module_active[40], 3);
}

void TestConfigFile::fileWithNoModuleLeavesEverythingDeselected()
{
    // Saved with no group expanded: all 504 code bytes are zero.
    ModuleTable table;
    SetTypes(table, 1, {1, 1, 1, 1, 1, 1, 1, 1});
    const QByteArray bytes = BuildConfigImage(table, 63);
    QCOMPARE(bytes, Image(63));

    const Result<ConfigImage> image = ParseConfigImage(bytes, QStringLiteral("x.cfg"));
    QVERIFY(image.ok());
    ModuleTable loaded;
    ApplyConfigImage(*image, loaded);
    for (int m = 1; m <= 63; ++m)
        QCOMPARE(loaded.module_state[m], 2);
    for (int g = 1; g <= 4; ++g)
        QCOMPARE(loaded.group_state[g], 2);
    QCOMPARE(image->period, 63);
}

void TestConfigFile::readTakesAtMost550Bytes()
{
    const QString path = m_dir.filePath(QStringLiteral("long.cfg"));
    const QByteArray valid = Image(7);
    QVERIFY(WriteFileBytes(path, valid + QByteArray(5000, '\x42')));
    const Result<QByteArray> bytes = ReadConfigFile(path);
    QVERIFY(bytes.ok());
    QCOMPARE(*bytes, valid);

    const QString shortPath = m_dir.filePath(QStringLiteral("short.cfg"));
    QVERIFY(WriteFileBytes(shortPath, valid.left(100)));
    const Result<QByteArray> shortBytes = ReadConfigFile(shortPath);
    QVERIFY(shortBytes.ok());
    QCOMPARE(*shortBytes, valid.left(100));
}

void TestConfigFile::unopenableFileIsAFailureOfItsOwn_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("missing.cfg");
    QTest::newRow("missing folder") << QStringLiteral("nofolder/rtd.cfg");
    QTest::newRow("a folder") << QStringLiteral("folder.cfg");
    // Opening a FIFO for reading waits for a writer; the start-up hung there.
    QTest::newRow("a FIFO without a writer") << QStringLiteral("fifo.cfg");
}

void TestConfigFile::unopenableFileIsAFailureOfItsOwn()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.cfg")));
    const QString path = m_dir.filePath(name);
    if (name == QLatin1String("fifo.cfg"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const Result<QByteArray> bytes = ReadConfigFile(path);
    QVERIFY(!bytes.ok());
    QVERIFY2(bytes.error().contains(path), qPrintable(bytes.error()));
}

void TestConfigFile::saveReplacesTheOldFile()
{
    const QString path = m_dir.filePath(QStringLiteral("replace.cfg"));
    QVERIFY(WriteFileBytes(path, QByteArray(2000, '\x33')));
    const QByteArray image = WithBlock(Image(12), 8, {2, 2, 0, 0, 0, 0, 0, 0});
    const Result<> saved = WriteConfigFile(path, image);
    QVERIFY2(saved.ok(), qPrintable(saved.error()));
    // Nothing of the longer old file is left behind the new image.
    QCOMPARE(ReadFileBytes(path), image);
    // And no temporary file stays in the folder.
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("replace.cfg*")}, QDir::Files),
             QStringList{QStringLiteral("replace.cfg")});
}

// A shared configuration folder may let its files be changed but no file be
// made in it. Saving there worked by overwriting the file; a save through a
// new file and a rename cannot, so the file is then written over in place. A
// new name in that folder still cannot be saved. As root the folder's mode
// does not stop anything, so the save runs as "nobody" in a child.
void TestConfigFile::saveIntoReadOnlyFolderOverwritesAWritableFile()
{
    const QString folder = m_dir.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/plant.cfg");
    const QString fresh = folder + QStringLiteral("/new.cfg");
    QVERIFY(WriteFileBytes(path, QByteArray(2000, '\x33')));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther));
    const auto readOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                QFileDevice::ReadOther | QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(m_dir.path(), readOnlyFolder | QFileDevice::WriteOwner));
    QVERIFY(QFile::setPermissions(folder, readOnlyFolder));
    const QByteArray image = WithBlock(Image(12), 8, {2, 2, 0, 0, 0, 0, 0, 0});

    const auto save = [&]() {
        if (!WriteConfigFile(path, image).ok())
            return 1;
        if (WriteConfigFile(fresh, image).ok())
            return 2;
        return 0;
    };
    const int result = RunAsNobody(save);
    QVERIFY(QFile::setPermissions(folder, readOnlyFolder | QFileDevice::WriteOwner));
    QCOMPARE(result, 0);
    QCOMPARE(ReadFileBytes(path), image);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("plant.cfg")});
}

// A save that runs out of room half-way must leave the configuration that
// was there byte for byte. Writing straight into the old file (truncate, then
// write) would have left the first part of the new image and lost the old.
void TestConfigFile::failedSaveLeavesOldFileUntouched()
{
    const QString path = m_dir.filePath(QStringLiteral("precious.cfg"));
    const QByteArray old = WithBlock(Image(99), 1, {1, 2, 3, 4, 5, 1, 2, 3});
    QVERIFY(WriteFileBytes(path, old));

    const QString fresh = m_dir.filePath(QStringLiteral("fresh.cfg"));
    Result<> saved;
    Result<> savedFresh;
    {
        FileSizeCap cap(100);
        QVERIFY(cap.ok());
        saved = WriteConfigFile(path, Image(5));
        savedFresh = WriteConfigFile(fresh, Image(5));
    }
    QVERIFY(!saved.ok());
    QCOMPARE(saved.error(), path + QLatin1String(" could not be saved: only 100 of its 550 "
                                                 "bytes could be written. The file that was "
                                                 "there is unchanged."));
    QCOMPARE(ReadFileBytes(path).toHex(' '), old.toHex(' '));
    // A cut image never takes a name either.
    QVERIFY(!savedFresh.ok());
    QVERIFY(!QFile::exists(fresh));
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("precious.cfg*")}, QDir::Files),
             QStringList{QStringLiteral("precious.cfg")});
}

void TestConfigFile::saveThatCannotWriteSaysSo_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing folder") << QStringLiteral("nofolder/rtd.cfg");
    QTest::newRow("a folder of that name") << QStringLiteral("taken.cfg");
    QTest::newRow("a file as the folder") << QStringLiteral("plain/rtd.cfg");
}

void TestConfigFile::saveThatCannotWriteSaysSo()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("taken.cfg")));
    QVERIFY(WriteFileBytes(m_dir.filePath(QStringLiteral("plain")), "x"));
    const QString path = m_dir.filePath(name);

    const Result<> saved = WriteConfigFile(path, Image(63));
    QVERIFY(!saved.ok());
    QVERIFY2(saved.error().startsWith(path + QLatin1String(" could not be saved: ")),
             qPrintable(saved.error()));
    QCOMPARE(ReadFileBytes(m_dir.filePath(QStringLiteral("plain"))), QByteArray("x"));
    QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("taken.cfg"))).isDir());
}

// A kill between writing a save's new image and renaming it leaves that
// image's file, "<file>.kelvora-XXXXXX", beside the configuration. The next
// save of the same file removes such files; anything the user keeps there,
// however alike its name, stays.
void TestConfigFile::saveRemovesOnlyItsOwnLeftovers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size"); // -1: a folder, -2: a link to a file
    QTest::addColumn<bool>("removed");
    QTest::newRow("whole image left") << "x.cfg.kelvora-a1B2c3" << 550 << true;
    QTest::newRow("cut image left") << "x.cfg.kelvora-Zz9z9z" << 100 << true;
    QTest::newRow("empty one left") << "x.cfg.kelvora-000000" << 0 << true;
    QTest::newRow("a backup") << "x.cfg.backup" << 550 << false;
    QTest::newRow("six letters, no mark") << "x.cfg.a1B2c3" << 550 << false;
    QTest::newRow("five after the mark") << "x.cfg.kelvora-a1B2c" << 550 << false;
    QTest::newRow("seven after the mark") << "x.cfg.kelvora-a1B2c3d" << 550 << false;
    QTest::newRow("not a letter or digit") << "x.cfg.kelvora-a1B2c!" << 550 << false;
    QTest::newRow("another file's") << "y.cfg.kelvora-a1B2c3" << 550 << false;
    QTest::newRow("longer than an image") << "x.cfg.kelvora-B1g000" << 551 << false;
    QTest::newRow("a folder") << "x.cfg.kelvora-D1r000" << -1 << false;
    QTest::newRow("a link") << "x.cfg.kelvora-L1nk00" << -2 << false;
}

void TestConfigFile::saveRemovesOnlyItsOwnLeftovers()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(bool, removed);
    const QString path = m_dir.filePath(QStringLiteral("x.cfg"));
    const QString other = m_dir.filePath(name);
    const QString linked = m_dir.filePath(QStringLiteral("linked.txt"));
    QVERIFY(WriteFileBytes(linked, "mine"));
    if (size == -1)
        QVERIFY(QDir(m_dir.path()).mkdir(name));
    else if (size == -2)
        QVERIFY(QFile::link(linked, other));
    else
        QVERIFY(WriteFileBytes(other, QByteArray(size, '\x11')));

    QVERIFY(WriteConfigFile(path, Image(9)).ok());
    QCOMPARE(ReadFileBytes(path), Image(9));
    QCOMPARE(QFileInfo::exists(other) || QFileInfo(other).isSymLink(), !removed);
    if (size >= 0 && !removed)
        QCOMPARE(ReadFileBytes(other), QByteArray(size, '\x11'));
    QCOMPARE(ReadFileBytes(linked), QByteArray("mine"));
}

// The new image takes the place of the old file with the old file's
// permissions: a configuration kept private stays private.
void TestConfigFile::saveKeepsTheFilesPermissions()
{
    const QString path = m_dir.filePath(QStringLiteral("private.cfg"));
    QVERIFY(WriteFileBytes(path, Image(1)));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    QVERIFY(WriteConfigFile(path, Image(2)).ok());
    struct stat info = {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));

    const QString fresh = m_dir.filePath(QStringLiteral("fresh.cfg"));
    const mode_t mask = ::umask(022);
    const Result<> saved = WriteConfigFile(fresh, Image(2));
    ::umask(mask);
    QVERIFY(saved.ok());
    QVERIFY(::stat(QFile::encodeName(fresh).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0644));
}

// A configuration reached through a symbolic link: the file it names takes
// the new image and the link stays a link.
void TestConfigFile::saveThroughALinkReplacesWhatItNames()
{
    const QString real = m_dir.filePath(QStringLiteral("real.cfg"));
    const QString link = m_dir.filePath(QStringLiteral("link.cfg"));
    QVERIFY(WriteFileBytes(real, Image(1)));
    QVERIFY(QFile::link(real, link));
    QVERIFY(WriteConfigFile(link, Image(2)).ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadFileBytes(real), Image(2));
}

QTEST_APPLESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"

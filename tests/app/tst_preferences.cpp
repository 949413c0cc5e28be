#include "app/preferences.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// Every test gets its own, empty store folder.
class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstStartWritesTwelveTextDefaults();
    void roundTrip();
    void junkValuesTakeDefaults_data();
    void junkValuesTakeDefaults();
    void storeWithoutGroupReadsDefaults();
    void deletedStoreIsWrittenAgain();
    void storeThatCannotBeWrittenSaysSo();
    void unreadableFileSaysSoAndNamesIt_data();
    void unreadableFileSaysSoAndNamesIt();
    void missingOrSoundFileIsReadable();
    void notARegularFileIsNeverOpenedAndKeptAside_data();
    void notARegularFileIsNeverOpenedAndKeptAside();
    void fileThatCannotBeOpenedSaysSoAndStays();
    void saveKeepsAnUnreadableFileAndWritesACleanOne_data();
    void saveKeepsAnUnreadableFileAndWritesACleanOne();
    void recentNetPortsBesideTheTwelve_data();
    void recentNetPortsBesideTheTwelve();
    void recentNetPortsGoIntoTheFileThatReplacesAnUnreadableOne();

private:
    QString storeFile() const { return m_dir->path() + QStringLiteral("/Quelmar/QMRTD.conf"); }
    void writeRaw(const QByteArray &ini);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPreferences::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
}

void TestPreferences::writeRaw(const QByteArray &ini)
{
    QVERIFY(QDir().mkpath(m_dir->path() + QStringLiteral("/Quelmar")));
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
}

void TestPreferences::firstStartWritesTwelveTextDefaults()
{
    {
        auto store = OpenPreferencesStore();
        QVERIFY(!PreferencesExist(*store));
        QVERIFY(Write_Default_Preferences(*store).ok());
    }
    // Read back through an independent QSettings on the same file.
    QSettings raw(storeFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Preferences"));
    const QStringList expected = {QStringLiteral("AutoStart=0"),
                                  QStringLiteral("Datalog=0"),
                                  QStringLiteral("ShowOptions=1"),
                                  QStringLiteral("Comport=ttyS0"),
                                  QStringLiteral("Temperature=Celsius"),
                                  QStringLiteral("Period=63"),
                                  QStringLiteral("Top=0"),
                                  QStringLiteral("Left=0"),
                                  QStringLiteral("Height=0"),
                                  QStringLiteral("Width=0"),
                                  QStringLiteral("Config_File=rtd.cfg"),
                                  QStringLiteral("DataFile=rtd_data")};
    QCOMPARE(raw.childKeys().size(), expected.size());
    for (const QString &pair : expected) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        const QVariant value = raw.value(key);
        QCOMPARE(value.typeId(), QMetaType::QString);
        QCOMPARE(value.toString(), pair.section(QLatin1Char('='), 1));
    }
    auto store = OpenPreferencesStore();
    QVERIFY(PreferencesExist(*store));
}

void TestPreferences::roundTrip()
{
    PrefInfoType p;
    p.AutoStart = true;
    p.Datalog = true;
    p.ShowOptions = false;
    p.Comport = QStringLiteral("/tmp/kelvora sim/ttyKELV0, spare");
    p.Temperature = QStringLiteral("Fahrenheit");
    p.Config_File = QStringLiteral("/home/eng/plant = 3.cfg");
    p.DataFile = QStringLiteral("logs/line;2");
    p.Period = 300;
    p.Top = -12;
    p.Left = 1920;
    p.Height = 700;
    p.Width = 800;
    PreferencesFile found = PreferencesFile::Sound;
    QVERIFY(Save_Preferences(p, found));
    PrefInfoType q;
    auto store = OpenPreferencesStore();
    Load_Preferences(*store, q);
    QCOMPARE(q.AutoStart, true);
    QCOMPARE(q.Datalog, true);
    QCOMPARE(q.ShowOptions, false);
    QCOMPARE(q.Comport, p.Comport);
    QCOMPARE(q.Temperature, p.Temperature);
    QCOMPARE(q.Config_File, p.Config_File);
    QCOMPARE(q.DataFile, p.DataFile);
    QCOMPARE(q.Period, 300);
    QCOMPARE(q.Top, -12);
    QCOMPARE(q.Left, 1920);
    QCOMPARE(q.Height, 700);
    QCOMPARE(q.Width, 800);
}

void TestPreferences::junkValuesTakeDefaults_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Period not a number") << QByteArray("Period=fast") << "Period"
                                         << "63";
    QTest::newRow("Period hex") << QByteArray("Period=0x10") << "Period"
                                << "63";
    QTest::newRow("Period overflow") << QByteArray("Period=99999999999") << "Period"
                                     << "63";
    QTest::newRow("Period empty") << QByteArray("Period=") << "Period"
                                  << "63";
    QTest::newRow("Period negative is a number") << QByteArray("Period=-4") << "Period"
                                                 << "-4";
    QTest::newRow("AutoStart 2 is true") << QByteArray("AutoStart=2") << "AutoStart"
                                         << "1";
    QTest::newRow("AutoStart -1 is true") << QByteArray("AutoStart=-1") << "AutoStart"
                                          << "1";
    QTest::newRow("Datalog word is false") << QByteArray("Datalog=yes") << "Datalog"
                                           << "0";
    QTest::newRow("ShowOptions word keeps true") << QByteArray("ShowOptions=no") << "ShowOptions"
                                                 << "1";
    QTest::newRow("Width junk") << QByteArray("Width=wide") << "Width"
                                << "0";
    QTest::newRow("Comport list is not text") << QByteArray("Comport=a, b") << "Comport"
                                              << "ttyS0";
    QTest::newRow("Temperature variant")
        << QByteArray("Temperature=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)") << "Temperature"
        << "Celsius";
    // A hand-edited unit in another case blanked every reading.
    QTest::newRow("Temperature lower case") << QByteArray("Temperature=celsius") << "Temperature"
                                            << "Celsius";
    QTest::newRow("Temperature upper case") << QByteArray("Temperature=FAHRENHEIT") << "Temperature"
                                            << "Fahrenheit";
    QTest::newRow("Temperature mixed case") << QByteArray("Temperature=fAhReNhEiT") << "Temperature"
                                            << "Fahrenheit";
    QTest::newRow("Temperature other unit kept")
        << QByteArray("Temperature=kelvin") << "Temperature"
        << "kelvin";
    QTest::newRow("Temperature with a blank kept")
        << QByteArray("Temperature=\"Celsius \"") << "Temperature"
        << "Celsius ";
    QTest::newRow("Comport arbitrary text kept") << QByteArray("Comport=COM 7 (usb)") << "Comport"
                                                 << "COM 7 (usb)";
}

void TestPreferences::junkValuesTakeDefaults()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    writeRaw("[Preferences]\n" + line + "\nTop=15\n");
    PrefInfoType p;
    auto store = OpenPreferencesStore();
    Load_Preferences(*store, p);
    const QMap<QString, QString> got = {
        {QStringLiteral("Period"), QString::number(p.Period)},
        {QStringLiteral("AutoStart"), QString::number(p.AutoStart)},
        {QStringLiteral("Datalog"), QString::number(p.Datalog)},
        {QStringLiteral("ShowOptions"), QString::number(p.ShowOptions)},
        {QStringLiteral("Width"), QString::number(p.Width)},
        {QStringLiteral("Comport"), p.Comport},
        {QStringLiteral("Temperature"), p.Temperature},
    };
    QCOMPARE(got.value(field), expected);
    // A sound value next to the junk one is still read.
    QCOMPARE(p.Top, 15);
}

void TestPreferences::storeWithoutGroupReadsDefaults()
{
    writeRaw("[Other]\nPeriod=5\n");
    auto store = OpenPreferencesStore();
    QVERIFY(!PreferencesExist(*store));
    PrefInfoType p;
    p.Period = 1;
    Load_Preferences(*store, p);
    QCOMPARE(p.Period, 63);
    QCOMPARE(p.Comport, QStringLiteral("ttyS0"));
}

void TestPreferences::deletedStoreIsWrittenAgain()
{
    PrefInfoType p;
    p.Period = 80;
    PreferencesFile found = PreferencesFile::Sound;
    QVERIFY(Save_Preferences(p, found));
    QVERIFY(QFile::remove(storeFile()));
    // The next save of the run writes the same values again.
    QVERIFY(Save_Preferences(p, found));
    QVERIFY(QFile::exists(storeFile()));
    QSettings raw(storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("80"));
    QCOMPARE(raw.value(QStringLiteral("Preferences/DataFile")).toString(),
             QStringLiteral("rtd_data"));
}

// The folder of the store is taken by a plain file, which no user, root
// included, can write into: both writes say that they failed.
void TestPreferences::storeThatCannotBeWrittenSaysSo()
{
    QFile blocker(m_dir->path() + QStringLiteral("/Quelmar"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto store = OpenPreferencesStore();
    const Result<> defaults = Write_Default_Preferences(*store);
    QVERIFY(!defaults);
    QVERIFY2(defaults.error().contains(storeFile()), qPrintable(defaults.error()));
    PrefInfoType p;
    p.Period = 80;
    PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::Sound);
    QVERIFY(!Save_Preferences(p, found));
    QVERIFY(!QFile::exists(storeFile()));
}

namespace {

QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(seed);
    for (char &c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPreferences::unreadableFileSaysSoAndNamesIt_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary junk") << RandomBytes(4096, 7);
    QTest::newRow("a program") << QByteArray("\x7f"
                                             "ELF\x02\x01\x01\0\0\0\0\0",
                                             12);
    QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("a group line without its bracket") << QByteArray("[Preferences\nPeriod=5\n");
}

// An unreadable file was reported as one that "could not be written".
void TestPreferences::unreadableFileSaysSoAndNamesIt()
{
    QFETCH(QByteArray, content);
    writeRaw(content);
    const PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::NotSettings);
    const Result<> readable = CheckPreferencesReadable(found);
    QVERIFY(!readable);
    const QString text = readable.error();
    QVERIFY2(text.contains(QStringLiteral("could not be read")), qPrintable(text));
    QVERIFY2(text.contains(storeFile()), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("default preferences")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("written")), qPrintable(text));
    QVERIFY2(text.contains(storeFile() + QStringLiteral(".unreadable")), qPrintable(text));
    // Looking leaves the file as it was.
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestPreferences::missingOrSoundFileIsReadable()
{
    QCOMPARE(ExaminePreferencesFile(), PreferencesFile::Sound);
    QVERIFY(CheckPreferencesReadable(PreferencesFile::Sound).ok());
    writeRaw("[Preferences]\nPeriod=fast\nTop=15\n");
    QCOMPARE(ExaminePreferencesFile(), PreferencesFile::Sound);
}

// A FIFO in the file's place held start-up in open() for good (and, since
// the stuck program kept the instance lock, the next start said that an
// instance was running). Whatever is not a regular file is judged by its
// kind, never opened: the defaults are used, and the first save keeps it
// aside as it is, under the name the message gave.
void TestPreferences::notARegularFileIsNeverOpenedAndKeptAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO without a writer") << "fifo";
    QTest::newRow("folder") << "folder";
}

void TestPreferences::notARegularFileIsNeverOpenedAndKeptAside()
{
    QFETCH(QString, kind);
    QVERIFY(QDir().mkpath(m_dir->path() + QStringLiteral("/Quelmar")));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(storeFile()).constData(), 0600), 0);
    else
        QVERIFY(QDir().mkdir(storeFile()));

    PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::NotRegular);
    const Result<> readable = CheckPreferencesReadable(found);
    QVERIFY(!readable);
    QVERIFY2(readable.error().contains(QStringLiteral("not a regular file")),
             qPrintable(readable.error()));
    QVERIFY2(readable.error().contains(storeFile() + QStringLiteral(".unreadable")),
             qPrintable(readable.error()));

    PrefInfoType p;
    p.Period = 90;
    const Result<> saved = Save_Preferences(p, found);
    QVERIFY2(saved.ok(), qPrintable(saved.error()));
    QCOMPARE(found, PreferencesFile::Sound);
    const QFileInfo kept(storeFile() + QStringLiteral(".unreadable"));
    struct stat info
    {
    };
    QCOMPARE(::stat(QFile::encodeName(kept.filePath()).constData(), &info), 0);
    QVERIFY(kind == QLatin1String("fifo") ? S_ISFIFO(info.st_mode) : S_ISDIR(info.st_mode));
    QSettings raw(storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("90"));
}

// A file that exists but cannot be read is reported and left alone: what
// was never read is not written over.
void TestPreferences::fileThatCannotBeOpenedSaysSoAndStays()
{
    if (::geteuid() == 0)
        QSKIP("root reads any file");
    writeRaw("[Preferences]\nPeriod=7\n");
    QVERIFY(QFile::setPermissions(storeFile(), QFileDevice::Permissions()));
    PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::CannotBeOpened);
    const Result<> readable = CheckPreferencesReadable(found);
    QVERIFY(!readable);
    QVERIFY2(readable.error().contains(QStringLiteral("cannot be opened")),
             qPrintable(readable.error()));
    QVERIFY2(readable.error().contains(storeFile()), qPrintable(readable.error()));
    QVERIFY(!Save_Preferences(PrefInfoType{}, found));
    QVERIFY(QFile::setPermissions(storeFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(ReadFile(storeFile()), QByteArray("[Preferences]\nPeriod=7\n"));
}

void TestPreferences::saveKeepsAnUnreadableFileAndWritesACleanOne_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary junk") << RandomBytes(4096, 11);
    QTest::newRow("a lot of binary junk") << RandomBytes(200000, 5);
    QTest::newRow("a group line without its bracket")
        << QByteArray("[Preferences\nPeriod=5\n[Other]\nx=1\n");
    QTest::newRow("sound groups, then junk")
        << QByteArray("[Mine]\nkey=1\n[Preferences]\nPeriod=7\n[Broken\n") + RandomBytes(300, 3);
}

// The message said the defaults would be written over the file at close; the
// junk's groups stayed in it, so the next start said the same again and reset
// what the user had set in between. The save at close keeps the unreadable
// file whole under the name the message gave, and a clean file of the twelve
// values takes its place; the next start reads it without a word. An earlier
// kept file is never overwritten.
void TestPreferences::saveKeepsAnUnreadableFileAndWritesACleanOne()
{
    QFETCH(QByteArray, content);
    writeRaw("an earlier kept file");
    QVERIFY(QFile::rename(storeFile(), storeFile() + QStringLiteral(".unreadable")));
    writeRaw(content);
    PrefInfoType p;
    p.Period = 90;
    PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::NotSettings);
    const Result<> readable = CheckPreferencesReadable(found);
    QVERIFY(!readable);
    QVERIFY2(readable.error().contains(storeFile() + QStringLiteral(".unreadable.2")),
             qPrintable(readable.error()));
    // Looked at again, the same file passes: QSettings told only its first
    // object. The save goes by what start-up found.
    QCOMPARE(ExaminePreferencesFile(), PreferencesFile::Sound);
    const Result<> saved = Save_Preferences(p, found);
    QVERIFY2(saved.ok(), qPrintable(saved.error()));
    QCOMPARE(found, PreferencesFile::Sound);

    QSettings raw(storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.status(), QSettings::NoError);
    QCOMPARE(raw.allKeys().size(), 12);
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("90"));
    QCOMPARE(ReadFile(storeFile() + QStringLiteral(".unreadable.2")), content);
    QCOMPARE(ReadFile(storeFile() + QStringLiteral(".unreadable")),
             QByteArray("an earlier kept file"));

    // A later save of the run writes into the new file; nothing more is kept.
    p.Period = 91;
    QVERIFY(Save_Preferences(p, found));
    QVERIFY(!QFile::exists(storeFile() + QStringLiteral(".unreadable.3")));

    QCOMPARE(ExaminePreferencesFile(), PreferencesFile::Sound);
    auto store = OpenPreferencesStore();
    PrefInfoType loaded;
    Load_Preferences(*store, loaded);
    QCOMPARE(loaded.Period, 91);
}

// The remembered network ports go into a group of their own and come back as
// saved, one name or several; the group "Preferences" keeps its twelve
// values. A save without the list leaves it as it is; an empty one removes
// it.
void TestPreferences::recentNetPortsBesideTheTwelve_data()
{
    QTest::addColumn<QStringList>("recent");
    QTest::newRow("one") << QStringList{QStringLiteral("tcp://127.0.0.1:4001")};
    QTest::newRow("several") << QStringList{QStringLiteral("rfc2217://gw.plant:2217"),
                                            QStringLiteral("tcp://[fe80::1]:4001"),
                                            QStringLiteral("tcp://10.0.0.5:4002")};
}

void TestPreferences::recentNetPortsBesideTheTwelve()
{
    QFETCH(QStringList, recent);
    PrefInfoType p;
    p.Comport = recent.first();
    PreferencesFile found = PreferencesFile::Sound;
    QVERIFY(Save_Preferences(p, recent, found));
    {
        QSettings raw(storeFile(), QSettings::IniFormat);
        QCOMPARE(raw.childGroups(),
                 (QStringList{QStringLiteral("NetworkPorts"), QStringLiteral("Preferences")}));
        raw.beginGroup(QStringLiteral("Preferences"));
        QCOMPARE(raw.childKeys().size(), 12);
        QCOMPARE(raw.value(QStringLiteral("Comport")).toString(), recent.first());
        raw.endGroup();
        QCOMPARE(raw.value(QStringLiteral("NetworkPorts/Recent")).toStringList(), recent);
    }
    QCOMPARE(LoadRecentNetPorts(*OpenPreferencesStore()), recent);

    p.Period = 90;
    QVERIFY(Save_Preferences(p, found));
    QCOMPARE(LoadRecentNetPorts(*OpenPreferencesStore()), recent);

    QVERIFY(Save_Preferences(p, QStringList(), found));
    QSettings raw(storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.childGroups(), QStringList{QStringLiteral("Preferences")});
    QCOMPARE(raw.value(QStringLiteral("Preferences/Period")).toString(), QStringLiteral("90"));
    QVERIFY(LoadRecentNetPorts(*OpenPreferencesStore()).isEmpty());
}

// A damaged file is still kept aside whole by the first save; the new file
// holds the twelve values and the list.
void TestPreferences::recentNetPortsGoIntoTheFileThatReplacesAnUnreadableOne()
{
    const QByteArray junk = "[NetworkPorts\nRecent=tcp://old:1\n";
    writeRaw(junk);
    PreferencesFile found = ExaminePreferencesFile();
    QCOMPARE(found, PreferencesFile::NotSettings);
    const QStringList recent{QStringLiteral("tcp://gw:4001")};
    QVERIFY(Save_Preferences(PrefInfoType(), recent, found));
    QCOMPARE(found, PreferencesFile::Sound);
    QCOMPARE(ReadFile(storeFile() + QStringLiteral(".unreadable")), junk);
    QSettings raw(storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.status(), QSettings::NoError);
    QCOMPARE(raw.allKeys().size(), 13);
    QCOMPARE(raw.value(QStringLiteral("NetworkPorts/Recent")).toStringList(), recent);
}

QTEST_APPLESS_MAIN(TestPreferences)
#include "tst_preferences.moc"

#include "app/preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <optional>

#include <sys/stat.h>

namespace {

const QString kGroup = QStringLiteral("Preferences");
const QString kRecentNetPortsKey = QStringLiteral("NetworkPorts/Recent");

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// The value's text, or nothing when it is missing or not a single text (an
// ini line such as "a, b" reads back as a list).
std::optional<QString> readText(QSettings &store, const QString &name)
{
    const QVariant value = store.value(name);
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// The value as a decimal integer; nothing when missing, not text or not a
// number. Bools are stored the same way: any integer other than 0 is true.
std::optional<int> readNumber(QSettings &store, const QString &name)
{
    const std::optional<QString> text = readText(store, name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

int readInt(QSettings &store, const QString &name, int fallback)
{
    return readNumber(store, name).value_or(fallback);
}

bool readBool(QSettings &store, const QString &name, bool fallback)
{
    const std::optional<int> value = readNumber(store, name);
    return value ? *value != 0 : fallback;
}

QString readString(QSettings &store, const QString &name, const QString &fallback)
{
    return readText(store, name).value_or(fallback);
}

// The temperature unit as the program spells it, whatever the case of the
// stored text ("celsius", "FAHRENHEIT" from a hand-edited file): the
// conversion, the dialog and the titles know the two names only in this
// spelling, and every reading was left blank. Any other text stays as it is.
QString unitName(const QString &stored)
{
    for (const QString &unit : {QStringLiteral("Celsius"), QStringLiteral("Fahrenheit")}) {
        if (stored.compare(unit, Qt::CaseInsensitive) == 0)
            return unit;
    }
    return stored;
}

// Every value is written as text, in the one order the store has always used.
void writeAll(QSettings &store, const PrefInfoType &p)
{
    store.beginGroup(kGroup);
    store.setValue(QStringLiteral("AutoStart"), boolText(p.AutoStart));
    store.setValue(QStringLiteral("Datalog"), boolText(p.Datalog));
    store.setValue(QStringLiteral("ShowOptions"), boolText(p.ShowOptions));
    store.setValue(QStringLiteral("Comport"), p.Comport);
    store.setValue(QStringLiteral("Temperature"), p.Temperature);
    store.setValue(QStringLiteral("Period"), QString::number(p.Period));
    store.setValue(QStringLiteral("Top"), QString::number(p.Top));
    store.setValue(QStringLiteral("Left"), QString::number(p.Left));
    store.setValue(QStringLiteral("Height"), QString::number(p.Height));
    store.setValue(QStringLiteral("Width"), QString::number(p.Width));
    store.setValue(QStringLiteral("Config_File"), p.Config_File);
    store.setValue(QStringLiteral("DataFile"), p.DataFile);
    store.endGroup();
}

// Every value in the store as text, and the remembered network ports when
// given. Fails, naming the file, when the store could not be written.
Result<> writeStore(QSettings &store, const PrefInfoType &prefs,
                    const QStringList *recentNetPorts = nullptr)
{
    writeAll(store, prefs);
    if (recentNetPorts && recentNetPorts->isEmpty())
        store.remove(kRecentNetPortsKey);
    else if (recentNetPorts)
        store.setValue(kRecentNetPortsKey, *recentNetPorts);
    store.sync();
    if (store.status() == QSettings::NoError)
        return {};
    return Fail(QStringLiteral("The preferences could not be written to %1.")
                    .arg(QDir::toNativeSeparators(store.fileName())));
}

// Sets a file that is not a settings file aside, whole, under the name the
// start-up message gave, and writes a new file in its place: nothing of it
// is lost, and nothing of it is merged into the new one. The file is only
// renamed, never opened, so a FIFO is kept as it is.
Result<> keepAsideAndWrite(const QString &file, const PrefInfoType &prefs,
                           const QStringList *recentNetPorts)
{
    const QString kept = UnreadablePreferencesKeptAs(file);
    if (!QFile::rename(file, kept)) {
        return Fail(QStringLiteral("The preferences could not be written to %1: the unreadable "
                                   "file there could not be kept as %2.")
                        .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(kept)));
    }
    QSettings fresh(file, QSettings::NativeFormat);
    return writeStore(fresh, prefs, recentNetPorts);
}

} // namespace

QString PreferencesFileName()
{
    // A store of the organisation alone names the organisation's file in the
    // same folder ("<folder>/Quelmar.conf"), which the program's own store
    // reads as well, and no other file.
    const QSettings organisation(QSettings::NativeFormat, QSettings::UserScope,
                                 QStringLiteral("Quelmar"), QString());
    return QFileInfo(organisation.fileName()).dir().filePath(QStringLiteral("Quelmar/QMRTD.conf"));
}

QString UnreadablePreferencesKeptAs(const QString &file)
{
    QString kept = file + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = file + QStringLiteral(".unreadable.%1").arg(n);
    return kept;
}

PreferencesFile ExaminePreferencesFile()
{
    // stat() follows a link to what the store would open, and never waits.
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(PreferencesFileName()).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PreferencesFile::Sound
                                                   : PreferencesFile::CannotBeOpened;
    if (!S_ISREG(info.st_mode))
        return PreferencesFile::NotRegular;
    // Parsing every group is where QSettings finds out that a file is not a
    // settings file.
    const std::unique_ptr<QSettings> store = OpenPreferencesStore();
    (void)store->allKeys();
    switch (store->status()) {
    case QSettings::NoError:
        return PreferencesFile::Sound;
    case QSettings::FormatError:
        return PreferencesFile::NotSettings;
    case QSettings::AccessError:
        break;
    }
    return PreferencesFile::CannotBeOpened;
}

Result<> CheckPreferencesReadable(PreferencesFile found)
{
    const QString file = PreferencesFileName();
    const QString shown = QDir::toNativeSeparators(file);
    const auto keptAside = [&](const QString &why) {
        return Fail(
            QStringLiteral("The preferences file %1 could not be read: %2.\nKelvora runs "
                           "on the default preferences. When it first saves them (at "
                           "the latest when it closes), it keeps that file as %3 and "
                           "writes a new one in its place.")
                .arg(shown, why, QDir::toNativeSeparators(UnreadablePreferencesKeptAs(file))));
    };
    switch (found) {
    case PreferencesFile::Sound:
        return {};
    case PreferencesFile::CannotBeOpened:
        return Fail(QStringLiteral("The preferences file %1 could not be read: it cannot be "
                                   "opened.\nKelvora runs on the default preferences.")
                        .arg(shown));
    case PreferencesFile::NotSettings:
        return keptAside(QStringLiteral("it is damaged or not a settings file"));
    case PreferencesFile::NotRegular:
        return keptAside(QStringLiteral("it is not a regular file"));
    }
    return {};
}

std::unique_ptr<QSettings> OpenPreferencesStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quelmar"), QStringLiteral("QMRTD"));
}

bool PreferencesExist(QSettings &store)
{
    return store.childGroups().contains(kGroup);
}

Result<> Write_Default_Preferences(QSettings &store)
{
    return writeStore(store, PrefInfoType{});
}

void Load_Preferences(QSettings &store, PrefInfoType &p)
{
    const PrefInfoType d;
    store.beginGroup(kGroup);
    p.AutoStart = readBool(store, QStringLiteral("AutoStart"), d.AutoStart);
    p.Datalog = readBool(store, QStringLiteral("Datalog"), d.Datalog);
    p.ShowOptions = readBool(store, QStringLiteral("ShowOptions"), d.ShowOptions);
    p.Comport = readString(store, QStringLiteral("Comport"), d.Comport);
    p.Temperature = unitName(readString(store, QStringLiteral("Temperature"), d.Temperature));
    p.Period = readInt(store, QStringLiteral("Period"), d.Period);
    p.Top = readInt(store, QStringLiteral("Top"), d.Top);
    p.Left = readInt(store, QStringLiteral("Left"), d.Left);
    p.Height = readInt(store, QStringLiteral("Height"), d.Height);
    p.Width = readInt(store, QStringLiteral("Width"), d.Width);
    p.Config_File = readString(store, QStringLiteral("Config_File"), d.Config_File);
    p.DataFile = readString(store, QStringLiteral("DataFile"), d.DataFile);
    store.endGroup();
}

QStringList LoadRecentNetPorts(QSettings &store)
{
    // One name reads back as a text, several as a list; toStringList takes
    // both.
    return store.value(kRecentNetPortsKey).toStringList();
}

namespace {

Result<> savePreferences(const PrefInfoType &prefs, const QStringList *recentNetPorts,
                         PreferencesFile &found)
{
    const QString file = PreferencesFileName();
    // A file found sound may have been replaced since (by junk, by a FIFO):
    // looked at again, its answer is fresh, since the file has changed.
    if (found == PreferencesFile::Sound)
        found = ExaminePreferencesFile();
    switch (found) {
    case PreferencesFile::Sound: {
        const std::unique_ptr<QSettings> store = OpenPreferencesStore();
        return writeStore(*store, prefs, recentNetPorts);
    }
    case PreferencesFile::CannotBeOpened:
        break;
    case PreferencesFile::NotSettings:
    case PreferencesFile::NotRegular: {
        const Result<> written = keepAsideAndWrite(file, prefs, recentNetPorts);
        if (written)
            found = PreferencesFile::Sound;
        return written;
    }
    }
    return Fail(QStringLiteral("The preferences could not be written to %1: the file there "
                               "cannot be opened.")
                    .arg(QDir::toNativeSeparators(file)));
}

} // namespace

Result<> Save_Preferences(const PrefInfoType &prefs, PreferencesFile &found)
{
    return savePreferences(prefs, nullptr, found);
}

Result<> Save_Preferences(const PrefInfoType &prefs, const QStringList &recentNetPorts,
                          PreferencesFile &found)
{
    return savePreferences(prefs, &recentNetPorts, found);
}

#include "app/preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <optional>

namespace {

const QString kGroup = QStringLiteral("Preferences");

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

// Parses every group of the store, which is where QSettings finds out that a
// file is not a settings file; true when the store could be read.
bool readsCleanly(QSettings &store)
{
    (void)store.allKeys();
    return store.status() == QSettings::NoError;
}

} // namespace

QString UnreadablePreferencesKeptAs(const QString &file)
{
    QString kept = file + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = file + QStringLiteral(".unreadable.%1").arg(n);
    return kept;
}

Result<> CheckPreferencesReadable(QSettings &store)
{
    if (readsCleanly(store))
        return {};
    const QString file = QDir::toNativeSeparators(store.fileName());
    if (store.status() == QSettings::AccessError)
        return Fail(QStringLiteral("The preferences file %1 could not be read: it cannot be "
                                   "opened.\nKelvora runs on the default preferences.")
                        .arg(file));
    return Fail(
        QStringLiteral("The preferences file %1 could not be read: it is damaged or not "
                       "a settings file.\nKelvora runs on the default preferences. When "
                       "it closes, it keeps that file as %2 and writes a new one in its "
                       "place.")
            .arg(file, QDir::toNativeSeparators(UnreadablePreferencesKeptAs(store.fileName()))));
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
    return Save_Preferences(store, PrefInfoType{});
}

void Load_Preferences(QSettings &store, PrefInfoType &p)
{
    const PrefInfoType d;
    store.beginGroup(kGroup);
    p.AutoStart = readBool(store, QStringLiteral("AutoStart"), d.AutoStart);
    p.Datalog = readBool(store, QStringLiteral("Datalog"), d.Datalog);
    p.ShowOptions = readBool(store, QStringLiteral("ShowOptions"), d.ShowOptions);
    p.Comport = readString(store, QStringLiteral("Comport"), d.Comport);
    p.Temperature = readString(store, QStringLiteral("Temperature"), d.Temperature);
    p.Period = readInt(store, QStringLiteral("Period"), d.Period);
    p.Top = readInt(store, QStringLiteral("Top"), d.Top);
    p.Left = readInt(store, QStringLiteral("Left"), d.Left);
    p.Height = readInt(store, QStringLiteral("Height"), d.Height);
    p.Width = readInt(store, QStringLiteral("Width"), d.Width);
    p.Config_File = readString(store, QStringLiteral("Config_File"), d.Config_File);
    p.DataFile = readString(store, QStringLiteral("DataFile"), d.DataFile);
    store.endGroup();
}

Result<> Save_Preferences(QSettings &store, const PrefInfoType &prefs)
{
    const QString file = store.fileName();
    const auto notWritten = [&] {
        return Fail(QStringLiteral("The preferences could not be written to %1.")
                        .arg(QDir::toNativeSeparators(file)));
    };
    if (readsCleanly(store)) {
        writeAll(store, prefs);
        store.sync();
        return store.status() == QSettings::NoError ? Result<>() : notWritten();
    }
    if (store.status() != QSettings::FormatError)
        return notWritten(); // a file that cannot even be opened is left alone

    // A file that is not a settings file is set aside whole, under the name
    // the start-up message gave, and a new file takes its place: nothing of
    // it is lost, and nothing of it is merged into the new one.
    const QString kept = UnreadablePreferencesKeptAs(file);
    if (!QFile::rename(file, kept)) {
        return Fail(QStringLiteral("The preferences could not be written to %1: the unreadable "
                                   "file there could not be kept as %2.")
                        .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(kept)));
    }
    QSettings fresh(file, store.format());
    writeAll(fresh, prefs);
    fresh.sync();
    if (fresh.status() != QSettings::NoError)
        return notWritten();
    QSettings written(file, store.format());
    return readsCleanly(written) && PreferencesExist(written) ? Result<>() : notWritten();
}

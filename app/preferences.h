#pragma once

#include "result/result.h"

#include <QString>

#include <memory>
#include <optional>

class QSettings;

// The twelve user settings kept between runs. Stored as text values named
// like the fields in group "Preferences" of QSettings("Quelmar", "QMRTD")
// ($XDG_CONFIG_HOME/Quelmar/QMRTD.conf on Linux): bools as "1"/"0",
// integers in decimal, texts unchanged.
struct PrefInfoType
{
    bool AutoStart = false;
    bool Datalog = false;
    bool ShowOptions = true;
    QString Comport = QStringLiteral("ttyS0");
    QString Temperature = QStringLiteral("Celsius");
    QString Config_File = QStringLiteral("rtd.cfg");
    QString DataFile = QStringLiteral("rtd_data");
    int Period = 63;
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
};

// Opens the per-user store (the file need not exist yet).
std::unique_ptr<QSettings> OpenPreferencesStore();

// Reads the whole store once and says whether it could be read; looking
// changes nothing. A store whose file does not exist yet reads as empty,
// which is fine. A file that cannot be opened, or whose text is not a
// settings file (binary junk, a group line without its "]"), fails with a
// text for the user that names the file and says that the defaults are used
// (and, for a file that is not a settings file, under which name the save at
// close keeps it): the caller shows it and runs on a default PrefInfoType,
// reading nothing from the store and writing nothing to it until the next
// save.
Result<> CheckPreferencesReadable(QSettings &store);

// Where an unreadable store file is kept when the next save replaces it:
// file + ".unreadable", or ".unreadable.2", ".unreadable.3" ... when that is
// taken, so that no earlier kept file is overwritten.
QString UnreadablePreferencesKeptAs(const QString &file);

// True when the store already holds the program's group.
bool PreferencesExist(QSettings &store);

// Writes the twelve defaults (the values of a default PrefInfoType). Fails
// when the store could not be written; the store object still reads them
// back.
Result<> Write_Default_Preferences(QSettings &store);

// Fills prefs from the store. A missing value, a value that is not text, or a
// bool or integer whose text is not a decimal integer takes its default; a
// bool is true for any integer other than 0.
void Load_Preferences(QSettings &store, PrefInfoType &prefs);

// Writes all twelve values. Fails, naming the file, when the store could not
// be written (the values stay in memory and reach the store at the next
// save). A file that is not a settings file is first renamed to
// UnreadablePreferencesKeptAs(file), whole, and a new file with the twelve
// values alone takes its place; a file that cannot be opened is not touched.
Result<> Save_Preferences(QSettings &store, const PrefInfoType &prefs);

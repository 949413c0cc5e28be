#pragma once

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

// True when the store already holds the program's group.
bool PreferencesExist(QSettings &store);

// Writes the twelve defaults (the values of a default PrefInfoType). Returns
// false when the store could not be written; the store object still reads
// them back.
bool Write_Default_Preferences(QSettings &store);

// Fills prefs from the store. A missing value, a value that is not text, or a
// bool or integer whose text is not a decimal integer takes its default; a
// bool is true for any integer other than 0.
void Load_Preferences(QSettings &store, PrefInfoType &prefs);

// Writes all twelve values. Returns false when the store could not be
// written (the values stay in memory and reach the store at the next save).
bool Save_Preferences(QSettings &store, const PrefInfoType &prefs);

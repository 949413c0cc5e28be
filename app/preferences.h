#pragma once

#include "result/result.h"

#include <QString>
#include <QStringList>

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

// The file the store reads and writes, named without opening it:
// QSettings reads its files as it is made, and a FIFO in that place would
// hold it for good.
QString PreferencesFileName();

// Opens the per-user store (the file need not exist yet). Only for a file
// that ExaminePreferencesFile found Sound: making the store reads the file.
std::unique_ptr<QSettings> OpenPreferencesStore();

// What start-up found where the store's file goes. It is looked at once per
// run, and every save of the run goes by that answer: QSettings tells only
// the first of its objects on a file that the file is not a settings file
// (the others share what that one parsed and report no error), so a later
// look would find the file sound and a save would write over it.
enum class PreferencesFile
{
    Sound,          // missing (a first start), or a settings file
    CannotBeOpened, // exists but cannot be read: left alone
    NotSettings,    // binary junk, a group line without its "]": kept aside
    NotRegular,     // a FIFO, a device, a folder: never opened, kept aside
};

// Looks at the store's file without waiting on it: whatever is not a
// regular file is judged by its kind alone, never opened. Looking changes
// nothing.
PreferencesFile ExaminePreferencesFile();

// Nothing for a Sound file. Otherwise fails with a text for the user that
// names the file and says that the defaults are used (and, for a file that
// is kept aside, under which name the next save keeps it): the caller shows
// it and runs on a default PrefInfoType, reading nothing from the store
// until the next save.
Result<> CheckPreferencesReadable(PreferencesFile found);

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
// bool is true for any integer other than 0. Temperature is read without
// regard to case: "celsius" gives "Celsius", "FAHRENHEIT" "Fahrenheit"; any
// other text is taken as it is.
void Load_Preferences(QSettings &store, PrefInfoType &prefs);

// The network ports chosen before in "Comport Options", most recent first
// (app/comportoptions.h keeps the list's rules). They are kept in the same
// file but in a group of their own, "NetworkPorts", key "Recent" (a list of
// texts), so that the group "Preferences" keeps its twelve values. Empty
// when the store has none; read only from a file found Sound, like the rest.
QStringList LoadRecentNetPorts(QSettings &store);

// Writes all twelve values, going by found, what start-up made of the file,
// and keeps found up to date:
// - Sound: written into the store (a file that has turned unreadable since
//   is kept aside as below);
// - CannotBeOpened: nothing is written and the save fails, since what was
//   never read is not written over;
// - NotSettings, NotRegular: the file is renamed to
//   UnreadablePreferencesKeptAs(file), whole, and a new file with the twelve
//   values alone takes its place; found becomes Sound.
// Fails, naming the file, when the store could not be written (the values
// stay in memory and reach the store at the next save).
Result<> Save_Preferences(const PrefInfoType &prefs, PreferencesFile &found);
// The same, and the remembered network ports with them, in one write (an
// empty list removes the key). Without them, as above, the group
// "NetworkPorts" stays as the file has it, and a new file has none.
Result<> Save_Preferences(const PrefInfoType &prefs, const QStringList &recentNetPorts,
                          PreferencesFile &found);

#pragma once

#include <QString>

#include <memory>

class QFileDialog;
class QWidget;

// The program's file dialogs: "Load Configuration File", "Save Configuration
// File" and the datalog's "Save as FILENAME_mmdd.txt". None of them asks a
// question: a name that does not exist may be chosen (a missing
// configuration is passed over when loaded), and a file is replaced without
// asking (a datalog base name is never a file itself).
struct FileDialogSpec
{
    QString title;
    QString initial;   // the file (or folder) the dialog starts at
    QString kind;      // "Configuration File", the filter's name
    QString extension; // "cfg", without the dot; also the default suffix
    bool save = false; // a save dialog, else an open dialog
};

// The filter of a kind of file: "Configuration File (*.cfg *.CFG)". File
// names are case-sensitive here, and a file written elsewhere in capitals
// ("RTD.CFG") must be listed too.
QString FileDialogFilter(const QString &kind, const QString &extension);

// The dialog of spec, not yet shown (a test looks at what it lists).
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget *owner, const FileDialogSpec &spec);

// Runs the dialog of spec modally; the chosen path, or an empty text when the
// user cancels.
QString ChooseFileWithDialog(QWidget *owner, const FileDialogSpec &spec);

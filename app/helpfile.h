#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;

// Opening the help document. The result follows the codes the help menu
// explains to the user: above 32 is success; 3 the help folder is missing,
// 2 the file is missing, 5 it cannot be read, 31 no program could open it.
inline constexpr int kHelpOpened = 42;
inline constexpr int kHelpFileNotFound = 2;
inline constexpr int kHelpPathNotFound = 3;
inline constexpr int kHelpAccessDenied = 5;
inline constexpr int kHelpNoAssociation = 31;

// The folders the help is looked for in, in this order: help/ next to the
// program (the build folder, or an unpacked copy), then the installed data
// folder share/kelvora/help beside the program's bin/ folder. Never the
// current folder: the help must not depend on where Kelvora was started.
QStringList HelpFolders(const QString &programDir);

// The help document: index.html of the first folder that holds one; when
// none does, of the first folder that exists (its open says that the file is
// missing); when none exists, of the first folder (its open says that the
// help folder is missing).
QString FindHelpDocument(const QStringList &folders);

// Checks the document and hands it to opener (QDesktopServices::openUrl in
// the program) only when it exists and can be read.
int OpenHelpDocument(const QString &helpPath, const std::function<bool(const QUrl &)> &opener);

// The text to show for a failed open; empty when nothing is to be shown
// (success, or a missing help folder).
QString HelpOpenErrorText(int result);

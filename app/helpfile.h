#pragma once

#include <QString>

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

// <start-up dir>/help/index.html
QString HelpPathFor(const QString &startupDir);

// Checks the document and hands it to opener (QDesktopServices::openUrl in
// the program) only when it exists and can be read.
int OpenHelpDocument(const QString &helpPath, const std::function<bool(const QUrl &)> &opener);

// The text to show for a failed open; empty when nothing is to be shown
// (success, or a missing help folder).
QString HelpOpenErrorText(int result);

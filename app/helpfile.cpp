#include "app/helpfile.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

QStringList HelpFolders(const QString &programDir)
{
    const QDir program(programDir);
    return {QDir::cleanPath(program.filePath(QStringLiteral("help"))),
            QDir::cleanPath(program.filePath(QStringLiteral("../share/kelvora/help")))};
}

QString FindHelpDocument(const QStringList &folders)
{
    const auto document = [](const QString &folder) {
        return QDir(folder).filePath(QStringLiteral("index.html"));
    };
    for (const QString &folder : folders) {
        if (QFileInfo::exists(document(folder)))
            return document(folder);
    }
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir())
            return document(folder);
    }
    return folders.isEmpty() ? QString() : document(folders.first());
}

int OpenHelpDocument(const QString &helpPath, const std::function<bool(const QUrl &)> &opener)
{
    const QFileInfo file(helpPath);
    if (!file.absoluteDir().exists())
        return kHelpPathNotFound;
    if (!file.exists())
        return kHelpFileNotFound;
    if (!file.isReadable() || file.isDir())
        return kHelpAccessDenied;
    return opener(QUrl::fromLocalFile(file.absoluteFilePath())) ? kHelpOpened : kHelpNoAssociation;
}

QString HelpOpenErrorText(int result)
{
    switch (result) {
    case 0:
    case 8:
        return QStringLiteral("There was not enough memory available to open the web browser.\n"
                              "Try closing other programs or restarting your computer.");
    case 2:
        return QStringLiteral("The help file that is distributed with KELVORA was not found.\n"
                              "It may not have been installed or may have been erased.  KELVORA\n"
                              "may have to be reinstalled to have access to these files.");
    case 3:
        return {};
    case 5:
    case 26:
        return QStringLiteral(
            "The help files have been installed with the wrong permissions.\n"
            "To view the help files their user and group id security permissions\n"
            "must be set to allow you access to them.");
    case 11:
    case 27:
    case 31:
        return QStringLiteral("An error occured openning a web browser to view the help file.\n"
                              "A web browser must be present to view these files.  To view the\n"
                              "files manually, open \"help/index.html\" in KELVORAs installation\n"
                              "directory.");
    default:
        if (result >= 1 && result <= 32)
            return QStringLiteral("A system error occured.  The system may be busy or unstable.\n"
                                  "Try openning the help files again, if this error occurs again\n"
                                  "try closing other programs or restarting your computer.");
        return {};
    }
}

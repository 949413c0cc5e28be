#include "app/startup.h"

#include "app/instancelock.h"
#include "app/taboutbox.h"
#include "app/tmainf.h"

#include <QMessageBox>

#include <csignal>
#include <exception>

KelvoraApplication::KelvoraApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // A file-size limit (ulimit -f, prlimit --fsize) would otherwise kill the
    // program with SIGXFSZ at the first write that crosses it, window and
    // unsaved preferences and all. Ignored, the write fails with EFBIG
    // instead, which the datalog and the file saves handle like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    setApplicationName(QStringLiteral("Kelvora"));
    // Also on the boxes that come before the main window ("Loading Error").
    setWindowIcon(ProgramIcon());
}

bool KelvoraApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorReport(QString());
    }
    exit(0);
    return false;
}

void ShowErrorReport(const QString &text, QWidget *parent)
{
    QMessageBox::critical(parent, QStringLiteral("Kelvora"), text);
}

bool RefuseSecondInstance(InstanceLock &lock)
{
    if (lock.TryAcquire() != InstanceLock::Result::HeldElsewhere)
        return false; // acquired, or the lock cannot be made: start anyway
    QMessageBox::warning(nullptr, QStringLiteral("Loading Error"),
                         QStringLiteral("There is already an instance of Kelvora running.\n"
                                        "You cannot run more than one instance of Kelvora."));
    return true;
}

int KelvoraMain(KelvoraApplication &app)
{
    InstanceLock lock;
    if (RefuseSecondInstance(lock))
        return 0;
    try {
        TMainF window;
        window.show();
        app.exec();
    } catch (const std::exception &error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorReport(QString());
    }
    return 0;
}

#include "support/killchild.h"

#include <QProcess>
#include <QThread>

QString KillAtWork(const QString &program, const QStringList &arguments, unsigned long pauseUs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return process.errorString();
    if (!process.waitForReadyRead(30000))
        return QStringLiteral("no word from the child: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    QThread::usleep(pauseUs);
    if (process.state() != QProcess::Running)
        return QStringLiteral("the child ended by itself: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    process.kill();
    process.waitForFinished();
    if (process.exitStatus() != QProcess::CrashExit)
        return QStringLiteral("the child was not killed");
    return {};
}

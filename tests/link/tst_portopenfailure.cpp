#include "app/comportoptions.h"
#include "link/tcomport.h"
#include "support/lockholder.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <cerrno>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

// Opens that fail for an ordinary user, as the user meets them: a port whose
// permissions keep them out, and one that another program holds exclusive
// with TIOCEXCL (which root passes). The open runs in a child process
// (portopenchild) as the user "nobody" when the test runs as root, else as
// the test's own user. The child prints the error number and the Comport
// panel's tip, which the test logs.
//
// As root, the child is started from a copy in a folder that every user can
// enter: a checkout in a folder only root can enter (root's home, mode 700)
// keeps "nobody" from starting the child where the build put it.
class TestPortOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void asAnOrdinaryUser_data();
    void asAnOrdinaryUser();

private:
    std::unique_ptr<QTemporaryDir> m_childCopy;
    QString m_child = QStringLiteral(KELVORA_PORT_OPEN_CHILD);
};

namespace {

constexpr uid_t kNobody = 65534;

struct ChildOpen
{
    int code = -1;
    QString tip{};
    QString failure{}; // why the child gave no answer; empty when it did
};

// True when every folder from the root down to path lets other users in.
bool OthersCanEnter(const QString &path)
{
    QString folder = QDir(path).canonicalPath();
    if (folder.isEmpty())
        return false;
    for (;;) {
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(folder).constData(), &info) != 0 ||
            (info.st_mode & S_IXOTH) == 0)
            return false;
        if (folder == QLatin1String("/"))
            return true;
        folder = QFileInfo(folder).path();
    }
}

ChildOpen OpenAsOrdinaryUser(const QString &program, const QString &path)
{
    QProcess child;
    if (::geteuid() == 0) {
        child.setChildProcessModifier([] {
            // Only system calls between fork and exec.
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(3);
        });
    }
    child.setWorkingDirectory(QFileInfo(program).path());
    child.start(program, {path});
    if (!child.waitForFinished(10000))
        return {.code = -1,
                .tip = {},
                .failure = QStringLiteral("%1: %2").arg(program, child.errorString())};
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {.code = -1,
                .tip = {},
                .failure = QStringLiteral("%1 ended with code %2: %3")
                               .arg(program)
                               .arg(child.exitCode())
                               .arg(QString::fromLocal8Bit(child.readAllStandardError()))};
    const QString out = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const qsizetype tab = out.indexOf(QLatin1Char('\t'));
    return {out.left(tab).toInt(), tab < 0 ? QString() : out.mid(tab + 1), QString()};
}

} // namespace

void TestPortOpenFailure::initTestCase()
{
    if (::geteuid() != 0)
        return;
    QString folder;
    for (const QString &candidate :
         {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}) {
        if (OthersCanEnter(candidate)) {
            folder = candidate;
            break;
        }
    }
    QVERIFY2(!folder.isEmpty(), "no temporary folder that other users can enter");
    m_childCopy = std::make_unique<QTemporaryDir>(folder + QStringLiteral("/kelvora-child-XXXXXX"));
    QVERIFY(m_childCopy->isValid());
    const auto everyoneRuns = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                              QFileDevice::ExeGroup | QFileDevice::ReadOther |
                              QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(m_childCopy->path(), everyoneRuns));
    const QString copy = m_childCopy->filePath(QFileInfo(m_child).fileName());
    QVERIFY(QFile::copy(m_child, copy));
    QVERIFY(QFile::setPermissions(copy, everyoneRuns));
    m_child = copy;
}

void TestPortOpenFailure::asAnOrdinaryUser_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");
    QTest::newRow("mode 000") << QStringLiteral("mode 000") << EACCES
                              << QStringLiteral("permission denied. To use serial ports your "
                                                "user must be in the dialout group");
    QTest::newRow("held with TIOCEXCL") << QStringLiteral("exclusive") << EBUSY
                                        << QStringLiteral("it is in use by another program.");
    QTest::newRow("free") << QStringLiteral("free") << 0 << QString();
}

void TestPortOpenFailure::asAnOrdinaryUser()
{
    QFETCH(QString, how);
    QFETCH(int, code);
    QFETCH(QString, says);
    Pty pty;
    QVERIFY(pty.Valid());
    const QByteArray path = pty.Path().toLocal8Bit();
    std::unique_ptr<LockHolder> holder;
    QCOMPARE(::chmod(path.constData(), how == QLatin1String("mode 000") ? 0 : 0666), 0);
    if (how == QLatin1String("exclusive")) {
        holder = std::make_unique<LockHolder>(pty.Path(), -1, LockHolder::Hold::TerminalExclusive);
        QVERIFY(holder->locked());
    }
    const ChildOpen opened = OpenAsOrdinaryUser(m_child, pty.Path());
    QVERIFY2(opened.failure.isEmpty(), qPrintable(opened.failure));
    qInfo("%s: errno %d, tip \"%s\"", qPrintable(how), opened.code, qPrintable(opened.tip));
    QCOMPARE(opened.code, code);
    QVERIFY2(opened.tip.contains(says), qPrintable(opened.tip));
    QCOMPARE(opened.tip.isEmpty(), code == 0);
    QCOMPARE(opened.tip.startsWith(QStringLiteral("Comport %1 ").arg(pty.Path())), code != 0);
}

QTEST_GUILESS_MAIN(TestPortOpenFailure)
#include "tst_portopenfailure.moc"

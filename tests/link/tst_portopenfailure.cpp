#include "app/comportoptions.h"
#include "link/tcomport.h"
#include "support/lockholder.h"
#include "support/pty.h"

#include <QProcess>
#include <QTest>

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
class TestPortOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void asAnOrdinaryUser_data();
    void asAnOrdinaryUser();
};

namespace {

constexpr uid_t kNobody = 65534;

struct ChildOpen
{
    int code = -1;
    QString tip;
};

ChildOpen OpenAsOrdinaryUser(const QString &path)
{
    QProcess child;
    if (::geteuid() == 0) {
        child.setChildProcessModifier([] {
            // Only system calls between fork and exec.
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(3);
        });
    }
    child.start(QStringLiteral(KELVORA_PORT_OPEN_CHILD), {path});
    if (!child.waitForFinished(10000) || child.exitCode() != 0)
        return {};
    const QString out = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const qsizetype tab = out.indexOf(QLatin1Char('\t'));
    return {out.left(tab).toInt(), tab < 0 ? QString() : out.mid(tab + 1)};
}

} // namespace

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
    const ChildOpen opened = OpenAsOrdinaryUser(pty.Path());
    qInfo("%s: errno %d, tip \"%s\"", qPrintable(how), opened.code, qPrintable(opened.tip));
    QCOMPARE(opened.code, code);
    QVERIFY2(opened.tip.contains(says), qPrintable(opened.tip));
    QCOMPARE(opened.tip.isEmpty(), code == 0);
    QCOMPARE(opened.tip.startsWith(QStringLiteral("Comport %1 ").arg(pty.Path())), code != 0);
}

QTEST_GUILESS_MAIN(TestPortOpenFailure)
#include "tst_portopenfailure.moc"

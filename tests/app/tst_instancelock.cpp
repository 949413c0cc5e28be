#include "app/instancelock.h"
#include "app/startup.h"
#include "app/tmainf.h"
#include "support/modal.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A child process that takes the lock the way another copy of the program
// would, tells the parent through a pipe, and waits to be killed.
class LockHolder
{
public:
    explicit LockHolder(const QString &path)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const QByteArray name = path.toLocal8Bit();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            const int fd = ::open(name.constData(), O_RDWR | O_CREAT, 0600);
            const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = 'n';
        m_locked = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~LockHolder() { kill(); }

    bool locked() const { return m_locked; }
    void kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

} // namespace

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstCopyAcquires();
    void secondCopyIsRefused();
    void killedHolderNeverBlocks();
    void unwritableFolderStartsAnyway();
    void secondStartShowsLoadingErrorAndNoWindow();

private:
    QString lockPath() const { return m_dir.path() + QStringLiteral("/Kelvora.SEMAPHORE.lock"); }
    QTemporaryDir m_dir;
};

void TestInstanceLock::init()
{
    QFile::remove(lockPath());
}

void TestInstanceLock::firstCopyAcquires()
{
    InstanceLock lock(lockPath());
    QCOMPARE(lock.TryAcquire(), InstanceLock::Result::Acquired);
    QVERIFY(lock.Held());
    // Asking again while holding it is still fine.
    QCOMPARE(lock.TryAcquire(), InstanceLock::Result::Acquired);
}

void TestInstanceLock::secondCopyIsRefused()
{
    LockHolder other(lockPath());
    QVERIFY(other.locked());
    InstanceLock lock(lockPath());
    QCOMPARE(lock.TryAcquire(), InstanceLock::Result::HeldElsewhere);
    QVERIFY(!lock.Held());
}

void TestInstanceLock::killedHolderNeverBlocks()
{
    LockHolder other(lockPath());
    QVERIFY(other.locked());
    other.kill();
    InstanceLock lock(lockPath());
    QCOMPARE(lock.TryAcquire(), InstanceLock::Result::Acquired);
}

void TestInstanceLock::unwritableFolderStartsAnyway()
{
    InstanceLock lock(m_dir.path() + QStringLiteral("/missing/folder/Kelvora.SEMAPHORE.lock"));
    QCOMPARE(lock.TryAcquire(), InstanceLock::Result::Unavailable);
    QVERIFY(!RefuseSecondInstance(lock));
}

void TestInstanceLock::secondStartShowsLoadingErrorAndNoWindow()
{
    LockHolder other(lockPath());
    QVERIFY(other.locked());
    InstanceLock lock(lockPath());
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    QVERIFY(RefuseSecondInstance(lock));
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Loading Error"));
    QCOMPARE(seen->text, QStringLiteral("There is already an instance of Kelvora running.\n"
                                        "You cannot run more than one instance of Kelvora."));
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<TMainF *>(w));

    // Once the first copy has ended, the next start goes ahead.
    other.kill();
    QVERIFY(!RefuseSecondInstance(lock));
    QVERIFY(lock.Held());
}

QTEST_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"

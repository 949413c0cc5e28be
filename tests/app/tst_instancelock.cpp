#include "app/instancelock.h"
#include "app/startup.h"
#include "support/lockholder.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstCopyAcquires();
    void secondCopyIsRefused();
    void killedHolderNeverBlocks();
    void unwritableFolderStartsAnyway();

private:
    QString lockPath() const { return m_dir.path() + QStringLiteral("/Kelvora.SEMAPHORE.lock"); }
    QTemporaryDir m_dir;
};

void TestInstanceLock::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Should a test start a main window after all, it must not touch the
    // user's preferences.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

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

// The program's own application object, as main() makes it, so that a test
// can run the program's entry.
int main(int argc, char *argv[])
{
    KelvoraApplication app(argc, argv);
    TestInstanceLock test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancelock.moc"

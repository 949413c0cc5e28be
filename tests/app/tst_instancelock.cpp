#include "app/instancelock.h"
#include "app/startup.h"
#include "app/tmainf.h"
#include "support/lockholder.h"
#include "support/modal.h"

#include <QTemporaryDir>
#include <QTest>

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

#include "app/instancelock.h"
#include "app/startup.h"
#include "app/tmainf.h"
#include "support/lockholder.h"
#include "support/modal.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    void secondStartShowsLoadingErrorAndNoWindow();

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

// A second start through the program's own entry, with the instance lock
// where the program looks for it and held by another copy: the box, exit
// code 0, and no main window at any time.
void TestInstanceLock::secondStartShowsLoadingErrorAndNoWindow()
{
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    QCOMPARE(InstanceLock::DefaultPath(), lockPath());
    LockHolder other(lockPath());
    QVERIFY(other.locked());

    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    // A main window that comes up all the same is noted and closed, which
    // ends the program's loop: the test then fails instead of hanging.
    bool windowSeen = false;
    QTimer watch;
    watch.setInterval(10);
    connect(&watch, &QTimer::timeout, this, [&windowSeen]() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<TMainF *>(w)) {
                windowSeen = true;
                window->close();
            }
        }
    });
    watch.start();
    const int exitCode = KelvoraMain(*static_cast<KelvoraApplication *>(qApp));
    watch.stop();
    qputenv("XDG_RUNTIME_DIR", runtimeDir);

    QCOMPARE(exitCode, 0);
    QVERIFY(!windowSeen);
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Loading Error"));
    QCOMPARE(seen->text, QStringLiteral("There is already an instance of Kelvora running.\n"
                                        "You cannot run more than one instance of Kelvora."));

    // Once the first copy has ended, the next start goes ahead.
    other.kill();
    InstanceLock lock(lockPath());
    QVERIFY(!RefuseSecondInstance(lock));
    QVERIFY(lock.Held());
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

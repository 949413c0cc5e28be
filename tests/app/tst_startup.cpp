// The program's entry, KelvoraMain, driven in this process as main() drives
// it: a second start while another copy holds the instance lock, and a start
// that goes ahead; and what the program's application object sets up for the
// process.

#include "app/instancelock.h"
#include "app/startup.h"
#include "app/tmainf.h"
#include "metering/datalogfile.h"
#include "support/lockholder.h"
#include "support/modal.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Watches for the main window while KelvoraMain runs: records that it was
// shown and closes it, so that a start that goes ahead ends its message loop
// instead of waiting for a user.
class WindowWatch : public QObject
{
public:
    WindowWatch()
    {
        connect(&m_poll, &QTimer::timeout, this, &WindowWatch::look);
        m_poll.start(20);
    }
    bool shown = false;

private:
    void look()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<TMainF *>(widget);
            if (window && window->isVisible()) {
                shown = true;
                window->close();
            }
        }
    }
    QTimer m_poll;
};

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void secondStartShowsLoadingErrorAndNoWindow();
    void startWithTheLockFreeOpensTheWindow();
    void fileSizeLimitFailsTheWriteInsteadOfKilling();
    void terminationSignalClosesTheWindowAsItsButtonDoes_data();
    void terminationSignalClosesTheWindowAsItsButtonDoes();

private:
    QTemporaryDir m_runtime; // where the instance lock lives
    QTemporaryDir m_config;
    QTemporaryDir m_work;
    QString m_oldDir;
};

void TestStartup::initTestCase()
{
    QVERIFY(m_runtime.isValid() && m_config.isValid() && m_work.isValid());
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    QCOMPARE(InstanceLock::DefaultPath(),
             m_runtime.filePath(QStringLiteral("Kelvora.SEMAPHORE.lock")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_work.path());
}

void TestStartup::cleanupTestCase()
{
    QDir::setCurrent(m_oldDir);
}

// A second start while another copy (another process) holds the instance
// lock: the box, exit code 0, and no main window at any time. Once the first
// copy has ended, the next start goes ahead.
void TestStartup::secondStartShowsLoadingErrorAndNoWindow()
{
    LockHolder first(InstanceLock::DefaultPath());
    QVERIFY(first.locked());

    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    WindowWatch watch;
    QCOMPARE(KelvoraMain(*static_cast<KelvoraApplication *>(QCoreApplication::instance())), 0);

    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Loading Error"));
    QCOMPARE(seen->text, QStringLiteral("There is already an instance of Kelvora running.\n"
                                        "You cannot run more than one instance of Kelvora."));
    QVERIFY(!watch.shown);
    QVERIFY(!QFile::exists(m_config.filePath(QStringLiteral("Quelmar/QMRTD.conf"))));

    first.kill();
    InstanceLock lock;
    QVERIFY(!RefuseSecondInstance(lock));
    QVERIFY(lock.Held());
}

// Under a per-process file-size limit, the first write that crosses it used
// to kill the program with SIGXFSZ: the window vanished and the preferences
// were not saved. A child of this process (which made the program's
// application object) appends datalog rows up to a limit that falls exactly
// on a row's end: the row that fits goes in, the next one fails like a full
// disk, and the child lives to say so.
void TestStartup::fileSizeLimitFailsTheWriteInsteadOfKilling()
{
    const QString base = m_work.filePath(QStringLiteral("capped"));
    const QDateTime when(QDate(2024, 3, 14), QTime(10, 0, 0));
    const qsizetype firstRowBytes =
        DatalogHeader().size() + FormatDatalogRow(when.time(), 5, ReadingTexts{}).size();
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        rlimit cap{};
        ::getrlimit(RLIMIT_FSIZE, &cap);
        cap.rlim_cur = rlim_t(firstRowBytes);
        const bool capped = ::setrlimit(RLIMIT_FSIZE, &cap) == 0;
        const bool fits = AppendDatalogRow(base, when, 5, ReadingTexts{}).ok();
        const bool crosses = AppendDatalogRow(base, when.addSecs(1), 5, ReadingTexts{}).ok();
        ::_exit(capped && fits && !crosses ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(
        !WIFSIGNALED(status),
        qPrintable(
            QStringLiteral("killed by signal %1").arg(WIFSIGNALED(status) ? WTERMSIG(status) : 0)));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(QFileInfo(DatalogFileName(base, when.date())).size(), firstRowBytes);
}

// The same entry with the lock free builds and shows the window; the watch
// sees it, so the test above would see one too.
void TestStartup::startWithTheLockFreeOpensTheWindow()
{
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(
        seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); }, 50);
    WindowWatch watch;
    QCOMPARE(KelvoraMain(*static_cast<KelvoraApplication *>(QCoreApplication::instance())), 0);
    QVERIFY(watch.shown);
    QVERIFY2(!seen->seen, qPrintable(seen->caption));
    // The window ran and closed: its preferences were written.
    QVERIFY(QFile::exists(m_config.filePath(QStringLiteral("Quelmar/QMRTD.conf"))));
}

// The session ending or a service manager stopping the program sends a
// signal. Its default would end the program on the spot and lose the
// window's placement and the preferences; the window closes instead, as
// its close button does, dismissing an open box first. Afterwards the
// signal has the action it had before (here, the test framework's).
void TestStartup::terminationSignalClosesTheWindowAsItsButtonDoes_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("boxOpen");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGTERM over the About box") << int(SIGTERM) << true;
}

void TestStartup::terminationSignalClosesTheWindowAsItsButtonDoes()
{
    QFETCH(int, signal);
    QFETCH(bool, boxOpen);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());

    bool raised = false;
    bool boxSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TMainF *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *main = qobject_cast<TMainF *>(widget); main && main->isVisible())
                window = main;
        }
        if (!window || raised)
            return;
        if (boxOpen && !QApplication::activeModalWidget()) {
            QTimer::singleShot(0, window, &TMainF::About1Click);
            return;
        }
        boxSeen = QApplication::activeModalWidget() != nullptr;
        raised = true;
        ::raise(signal);
    });
    struct sigaction before = {};
    QVERIFY(::sigaction(signal, nullptr, &before) == 0);
    poll.start(20);
    // A close that did not happen is not waited for: the test fails instead.
    QTimer::singleShot(20000, [] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            widget->close();
    });
    QCOMPARE(KelvoraMain(*static_cast<KelvoraApplication *>(QCoreApplication::instance())), 0);
    poll.stop();

    QVERIFY(raised);
    QCOMPARE(boxSeen, boxOpen);
    QSettings stored(config.filePath(QStringLiteral("Quelmar/QMRTD.conf")), QSettings::IniFormat);
    // Written at the close: the width the window had, not the stored 0.
    QVERIFY2(stored.value(QStringLiteral("Preferences/Width")).toInt() > 0,
             qPrintable(stored.value(QStringLiteral("Preferences/Width")).toString()));
    struct sigaction now = {};
    QVERIFY(::sigaction(signal, nullptr, &now) == 0);
    QVERIFY(now.sa_handler == before.sa_handler);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

int main(int argc, char *argv[])
{
    KelvoraApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"

#include "link/comportguard.h"
#include "link/protocol.h"
#include "support/fakeline.h"
#include "support/wire.h"

#include <QtTest>

#include <array>
#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The guarded, retried front: retries through the fake line, and the guard
// "comport" against other processes that hold its lock file. Every test keeps
// to a private lock directory through KELVORA_LOCK_DIR.
class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void successTakesOneTransaction();
    void silentSlaveCostsTwoTransactions();
    void exceptionReplyIsTriedOnceMore();
    void secondAttemptCanSucceed();
    void writeRetriesLikeRead();
    void argumentsOutsideLimitsTouchNoPort();
    void noLineFails();
    void programmingErrorPassesThrough();
    void lockFileIsInTheChosenDirectoryWithMode0666();
    void callWaitsWhileAnotherProcessHoldsTheGuard();
    void killedHolderFreesTheGuardAtOnce();
    void guardThatCannotBeOpenedEndsTheCall();

private:
    QTemporaryDir m_lockDir;
};

namespace {

const char *const kReadReply = "01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1";

// A child process that takes the guard's lock file and reports on `ready`
// once it holds it. With holdMs >= 0 it writes 'r' on `released` just before
// it exits (which drops the lock); otherwise it holds until killed. Only
// async-signal-safe calls run in the child.
pid_t SpawnHolder(const QByteArray &path, int ready, int released, int holdMs)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT, 0666);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
        ::_exit(2);
    (void)!::write(ready, "h", 1);
    if (holdMs < 0) {
        for (;;)
            ::pause();
    }
    timespec ts{holdMs / 1000, long(holdMs % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {
    }
    (void)!::write(released, "r", 1);
    ::_exit(0);
}

struct Pipe
{
    int fd[2] = {-1, -1};
    Pipe() { (void)!::pipe2(fd, O_CLOEXEC); }
    ~Pipe()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    bool WaitFor(char expected) const
    {
        char c = 0;
        return ::read(fd[0], &c, 1) == 1 && c == expected;
    }
    bool HasByte() const
    {
        ::fcntl(fd[0], F_SETFL, O_NONBLOCK);
        char c = 0;
        return ::read(fd[0], &c, 1) == 1;
    }
};

} // namespace

void TestProtocol::initTestCase()
{
    QVERIFY(m_lockDir.isValid());
    qputenv("KELVORA_LOCK_DIR", QFile::encodeName(m_lockDir.path()));
}

void TestProtocol::successTakesOneTransaction()
{
    FakeLine line;
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    QVERIFY(Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 1);
    QCOMPARE(values[7], uint16_t(2099));
    QVERIFY(!line.Connected());
}

void TestProtocol::silentSlaveCostsTwoTransactions()
{
    FakeLine line;
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 2);
    QCOMPARE(line.opens, 2);
    QCOMPARE(line.closes, 2);
}

void TestProtocol::exceptionReplyIsTriedOnceMore()
{
    FakeLine line;
    line.QueueReply(frame("01 83 02 C0 F1"));
    line.QueueReply(frame("01 83 02 C0 F1"));
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 2);
    QCOMPARE(line.bytesRead, 4); // two bytes of each exception reply
}

void TestProtocol::secondAttemptCanSucceed()
{
    FakeLine line;
    line.QueueReply(frame("01 83 02 C0 F1"));
    line.QueueReply(frame(kReadReply));
    std::array<uint16_t, 8> values{};
    QVERIFY(Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 2);
    QCOMPARE(values[0], uint16_t(250));
}

void TestProtocol::writeRetriesLikeRead()
{
    FakeLine line;
    line.QueueReply(frame("01 90 04 4D C3")); // exception to function 16
    line.QueueReply(frame("01 10 00 00 00 04 C1 CA"));
    const std::array<int16_t, 4> types = {0x0102, 0x0304, 0x0500, 0x0101};
    QVERIFY(Protocol().WriteRegisters({1, &line}, 0, 4, types.data()));
    QCOMPARE(line.chunks.size(), 2);
    QCOMPARE(line.chunks[0].bytes, line.chunks[1].bytes);
}

void TestProtocol::argumentsOutsideLimitsTouchNoPort()
{
    FakeLine line;
    std::array<uint16_t, 8> values{};
    const std::array<int16_t, 4> types{};
    QVERIFY(!Protocol().ReadRegisters({81, &line}, 16, 8, values.data()));
    QVERIFY(!Protocol().WriteRegisters({64, &line}, 0, 4, types.data()));
    QVERIFY(line.trace.isEmpty());
}

void TestProtocol::noLineFails()
{
    std::array<uint16_t, 8> values{};
    QVERIFY(!Protocol().ReadRegisters({1, nullptr}, 16, 8, values.data()));
}

// A fault of the program is not a failed attempt: it is not retried and
// reaches the program's error report.
void TestProtocol::programmingErrorPassesThrough()
{
    FakeLine line;
    line.BreakOn(QStringLiteral("write"));
    std::array<uint16_t, 8> values{};
    QVERIFY_THROWS_EXCEPTION(std::logic_error,
                             Protocol().ReadRegisters({1, &line}, 16, 8, values.data()));
    QCOMPARE(line.chunks.size(), 0);
    // The guard was given back on the way out.
    ComportGuard guard;
    QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::Acquired);
}

void TestProtocol::lockFileIsInTheChosenDirectoryWithMode0666()
{
    const QString path = m_lockDir.filePath(QStringLiteral("comport.lock"));
    QFile::remove(path);
    QCOMPARE(QString::fromStdString(ComportGuard::LockFilePath()), path);

    const mode_t old = ::umask(077);
    {
        ComportGuard guard;
        QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::Acquired);
    }
    ::umask(old);
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0666);
}

void TestProtocol::callWaitsWhileAnotherProcessHoldsTheGuard()
{
    const QByteArray path = QByteArray::fromStdString(ComportGuard::LockFilePath());
    Pipe ready, released;
    const pid_t holder = SpawnHolder(path, ready.fd[1], released.fd[1], 400);
    QVERIFY(holder > 0);
    QVERIFY(ready.WaitFor('h'));

    {
        ComportGuard probe;
        QCOMPARE(probe.Acquire(0), ComportGuard::WaitResult::TimedOut);
    }

    FakeLine line;
    bool releasedBeforeTransaction = false;
    line.responder = [&](const FakeLine::Chunk &) {
        // The first write of the transaction: the holder must have let go.
        releasedBeforeTransaction = released.HasByte();
        return frame(kReadReply);
    };
    std::array<uint16_t, 8> values{};
    const bool ok = Protocol().ReadRegisters({1, &line}, 16, 8, values.data());

    int status = 0;
    ::waitpid(holder, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(ok);
    QVERIFY(releasedBeforeTransaction);
    QCOMPARE(line.chunks.size(), 1);
}

void TestProtocol::killedHolderFreesTheGuardAtOnce()
{
    const QByteArray path = QByteArray::fromStdString(ComportGuard::LockFilePath());
    Pipe ready, released;
    const pid_t holder = SpawnHolder(path, ready.fd[1], released.fd[1], -1);
    QVERIFY(holder > 0);
    QVERIFY(ready.WaitFor('h'));

    ComportGuard guard;
    QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::TimedOut);
    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);
    QVERIFY(WIFSIGNALED(status));
    // No wait needed: the kernel dropped the lock with the holder.
    QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::Acquired);
}

void TestProtocol::guardThatCannotBeOpenedEndsTheCall()
{
    const QByteArray saved = qgetenv("KELVORA_LOCK_DIR");
    qputenv("KELVORA_LOCK_DIR", QFile::encodeName(m_lockDir.filePath(QStringLiteral("missing"))));
    FakeLine line;
    std::array<uint16_t, 8> values{};
    const bool ok = Protocol().ReadRegisters({1, &line}, 16, 8, values.data());
    qputenv("KELVORA_LOCK_DIR", saved);
    QVERIFY(!ok);
    QVERIFY(line.trace.isEmpty()); // no transaction without the guard
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"

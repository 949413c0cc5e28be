#include "link/comportguard.h"
#include "link/protocol.h"
#include "support/fakeline.h"
#include "support/lockholder.h"
#include "support/wire.h"

#include <QtTest>

#include <array>

#include <sys/stat.h>
#include <sys/wait.h>

// The guarded, retried front: retries through the fake line, and the guard
// "comport" against other processes that hold its lock file. The guard's lock
// file is in the private directory that ctest names in KELVORA_LOCK_DIR.
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
    void guardHeldByAnotherProgram_data();
    void guardHeldByAnotherProgram();
    void idleRunsBeforeEachAttemptNeverInsideOne();
    void idleRunsWhileTheCallWaitsForTheGuard();
    void killedHolderFreesTheGuardAtOnce();
    void guardThatCannotBeOpenedEndsTheCall();
    void readTellsSilenceFromFailure_data();
    void readTellsSilenceFromFailure();
    void stopEndsTheCallBeforeTheNextAttempt_data();
    void stopEndsTheCallBeforeTheNextAttempt();

private:
    const QString m_lockDir = qEnvironmentVariable("KELVORA_LOCK_DIR");
};

namespace {

const char *const kReadReply = "01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D1";

} // namespace

Q_DECLARE_METATYPE(ReadResult)

void TestProtocol::initTestCase()
{
    // Run outside ctest, the tests below would take and remove the machine's
    // own lock file.
    QVERIFY2(QFileInfo(m_lockDir).isDir(),
             "KELVORA_LOCK_DIR must name a directory (kelvora_add_test sets it)");
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
    QCOMPARE(line.bytesRead, 10); // each exception reply whole, for its record
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
    const QString path = m_lockDir + QStringLiteral("/comport.lock");
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

// Another program holds the guard when the call begins. One that lets go
// soon, as after an ordinary transaction of its own, is waited for: the read
// goes out once it has let go. One that keeps the guard (flock from a shell,
// a hung program) froze the window for as long as it held on, up to 3 s a
// call; now the call fails as a silent module does, without a byte on the
// line, and it does not wait the holder out: the holder still holds when the
// call has returned.
void TestProtocol::guardHeldByAnotherProgram_data()
{
    QTest::addColumn<int>("holdMs"); // -1: until killed
    QTest::addColumn<bool>("ok");
    QTest::newRow("another program's transaction") << 20 << true;
    QTest::newRow("held for 1 s") << 1000 << false;
    QTest::newRow("held for good") << -1 << false;
}

void TestProtocol::guardHeldByAnotherProgram()
{
    QFETCH(int, holdMs);
    QFETCH(bool, ok);
    LockHolder holder(QString::fromStdString(ComportGuard::LockFilePath()), holdMs);
    QVERIFY(holder.locked());
    {
        ComportGuard probe;
        QCOMPARE(probe.Acquire(0), ComportGuard::WaitResult::TimedOut);
    }

    FakeLine line;
    bool releasedBeforeTransaction = false;
    line.responder = [&](const FakeLine::Chunk &) {
        releasedBeforeTransaction = holder.released();
        return frame(kReadReply);
    };
    std::array<uint16_t, 8> values{};
    QCOMPARE(Protocol().ReadRegisters({1, &line}, 16, 8, values.data()), ok);

    if (ok) {
        QCOMPARE(line.chunks.size(), 1);
        QVERIFY(releasedBeforeTransaction);
        QCOMPARE(values[7], uint16_t(2099));
        const int status = holder.wait();
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        QVERIFY(line.trace.isEmpty());
        QVERIFY(!holder.released());
    }
}

// The window's calls let it answer whenever the bus leaves the thread
// nothing to do, but never inside a transaction: its timing stays as it is.
void TestProtocol::idleRunsBeforeEachAttemptNeverInsideOne()
{
    FakeLine line;
    const Protocol protocol([&line] { line.trace << QStringLiteral("idle"); });
    std::array<uint16_t, 8> values{};
    QVERIFY(!protocol.ReadRegisters({1, &line}, 16, 8, values.data()));
    QStringList steps;
    for (const QString &entry : line.trace) {
        if (entry == QLatin1String("idle") || entry == QLatin1String("open") ||
            entry == QLatin1String("close"))
            steps << entry;
    }
    QCOMPARE(steps, (QStringList{QStringLiteral("idle"), QStringLiteral("open"),
                                 QStringLiteral("close"), QStringLiteral("idle"),
                                 QStringLiteral("open"), QStringLiteral("close")}));
}

// Another program holds the guard (a lock of its own, taken here) and lets
// go at the second idle: the first comes before the attempt, the second from
// the wait. The read then goes out.
void TestProtocol::idleRunsWhileTheCallWaitsForTheGuard()
{
    ComportGuard other;
    QCOMPARE(other.Acquire(0), ComportGuard::WaitResult::Acquired);
    FakeLine line;
    line.QueueReply(frame(kReadReply));
    int idles = 0;
    const Protocol protocol([&] {
        line.trace << QStringLiteral("idle");
        if (++idles == 2)
            other.Release();
    });
    std::array<uint16_t, 8> values{};
    QVERIFY(protocol.ReadRegisters({1, &line}, 16, 8, values.data()));
    QVERIFY(line.trace.size() > 3);
    QCOMPARE(line.trace.mid(0, 3),
             (QStringList{QStringLiteral("idle"), QStringLiteral("idle"), QStringLiteral("open")}));
    QCOMPARE(line.chunks.size(), 1);
}

void TestProtocol::killedHolderFreesTheGuardAtOnce()
{
    LockHolder holder(QString::fromStdString(ComportGuard::LockFilePath()));
    QVERIFY(holder.locked());

    ComportGuard guard;
    QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::TimedOut);
    QVERIFY(WIFSIGNALED(holder.kill()));
    // No wait needed: the kernel dropped the lock with the holder.
    QCOMPARE(guard.Acquire(0), ComportGuard::WaitResult::Acquired);
}

void TestProtocol::guardThatCannotBeOpenedEndsTheCall()
{
    const QByteArray saved = qgetenv("KELVORA_LOCK_DIR");
    qputenv("KELVORA_LOCK_DIR", QFile::encodeName(m_lockDir + QStringLiteral("/missing")));
    FakeLine line;
    std::array<uint16_t, 8> values{};
    const bool ok = Protocol().ReadRegisters({1, &line}, 16, 8, values.data());
    qputenv("KELVORA_LOCK_DIR", saved);
    QVERIFY(!ok);
    QVERIFY(line.trace.isEmpty()); // no transaction without the guard
}

// The bus search passes over an address from which nothing at all came
// back; a slave that sent anything, even a broken reply, is there.
void TestProtocol::readTellsSilenceFromFailure_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<ReadResult>("result");
    QTest::addColumn<int>("attempts");

    const QString exception = QStringLiteral("01 83 02 C0 F1");
    const QString badCrc =
        QStringLiteral("01 03 10 00 FA FF FF 4E 20 52 08 55 F0 00 00 03 E8 08 33 41 D2");
    QTest::newRow("sound reply") << QStringList{QLatin1String(kReadReply)} << ReadResult::Answered
                                 << 1;
    QTest::newRow("nothing twice") << QStringList{} << ReadResult::Silent << 2;
    QTest::newRow("exception twice")
        << QStringList{exception, exception} << ReadResult::Failed << 2;
    QTest::newRow("exception, then nothing") << QStringList{exception} << ReadResult::Failed << 2;
    QTest::newRow("bad CRC twice") << QStringList{badCrc, badCrc} << ReadResult::Failed << 2;
    QTest::newRow("first byte only, then nothing")
        << QStringList{QStringLiteral("01")} << ReadResult::Failed << 2;
}

void TestProtocol::readTellsSilenceFromFailure()
{
    QFETCH(QStringList, replies);
    QFETCH(ReadResult, result);
    QFETCH(int, attempts);
    FakeLine line;
    for (const QString &reply : replies)
        line.QueueReply(frame(qPrintable(reply)));
    std::array<uint16_t, 8> values{};
    QCOMPARE(Protocol().Read({1, &line}, 16, 8, values.data()), result);
    QCOMPARE(line.chunks.size(), attempts);
}

// Stop is asked before each attempt, after idle (where a click on Cancel is
// taken): an attempt under way ends as usual, and no further one begins.
void TestProtocol::stopEndsTheCallBeforeTheNextAttempt_data()
{
    QTest::addColumn<int>("stopAtIdle");
    QTest::addColumn<int>("attempts");

    QTest::newRow("before the first attempt") << 1 << 0;
    QTest::newRow("before the retry") << 2 << 1;
    QTest::newRow("never") << 0 << 2;
}

void TestProtocol::stopEndsTheCallBeforeTheNextAttempt()
{
    QFETCH(int, stopAtIdle);
    QFETCH(int, attempts);
    FakeLine line;
    int idles = 0;
    bool stopped = false;
    const Protocol protocol([&] { stopped = stopped || ++idles == stopAtIdle; },
                            [&] { return stopped; });
    std::array<uint16_t, 8> values{};
    QCOMPARE(protocol.Read({1, &line}, 16, 8, values.data()), ReadResult::Silent);
    QCOMPARE(line.chunks.size(), attempts);
    QVERIFY(!line.Connected());
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"

#include "publish/diskqueue.h"
#include "support/killchild.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// A child process appends to a disk queue (and acknowledges and syncs now
// and then) and is killed with SIGKILL at random moments, 100 times over in
// one folder. After each kill the queue opens without damage: every waiting
// message is whole and the one appended under its seq, the seqs follow one
// another without a gap from the first waiting one, no seq goes back behind
// what an earlier opening saw, and the counts add up. Only a message whose
// write the kill cut may be missing, and its seq is then the next one given.
class TestDiskQueueKill : public QObject
{
    Q_OBJECT

private slots:
    void everyMessageWholeAfterRandomKills();
};

void TestDiskQueueKill::everyMessageWholeAfterRandomKills()
{
    constexpr int kKills = 100;
    const QString child = QStringLiteral(KELVORA_DISKQUEUE_KILL_CHILD);
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("queue"));

    quint64 lastSeen = 0;
    quint64 droppedSeen = 0;
    qint64 torn = 0;
    for (int kill = 1; kill <= kKills; ++kill) {
        const QString killed = KillAtWork(child, {folder}, random.bounded(30001));
        QVERIFY2(killed.isEmpty(), qPrintable(killed));

        DiskQueueOpenReport report;
        Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(folder, &report);
        QVERIFY2(opened.ok(), qPrintable(opened.error()));
        DiskQueue &queue = **opened;
        torn += report.tornBytesCut;
        const QString after = QStringLiteral("after kill %1").arg(kill);
        QVERIFY2(report.corruptSkipped == 0, qPrintable(after));
        QVERIFY2(report.foreignFiles.isEmpty(), qPrintable(after));
        QVERIFY2(queue.LastSeq() > lastSeen, qPrintable(after));
        QVERIFY2(queue.Dropped() >= droppedSeen, qPrintable(after));

        const Result<QList<QueuedMessage>> waiting = queue.Peek(1 << 30);
        QVERIFY2(waiting.ok(), qPrintable(waiting.error()));
        QCOMPARE(waiting->size(), queue.Waiting());
        for (qsizetype i = 0; i < waiting->size(); ++i) {
            const QueuedMessage &message = waiting->at(i);
            const quint64 seq = message.seq;
            QVERIFY2(i == 0 || seq == waiting->at(i - 1).seq + 1,
                     qPrintable(after + QStringLiteral(": a gap before %1").arg(seq)));
            QCOMPARE(message.topic, QByteArray("kelvora/kill"));
            QCOMPARE(message.payload, QByteArray("message ") + QByteArray::number(seq) +
                                          QByteArray(int(seq % 301), '#'));
        }
        if (!waiting->isEmpty())
            QCOMPARE(waiting->last().seq, queue.LastSeq());
        lastSeen = queue.LastSeq();
        droppedSeen = queue.Dropped();
    }
    qInfo("%d kills, %llu messages, %llu dropped for the bound, %lld torn bytes cut", kKills,
          lastSeen, droppedSeen, torn);
}

QTEST_GUILESS_MAIN(TestDiskQueueKill)
#include "tst_diskqueuekill.moc"

#include "publish/diskqueue.h"
#include "support/asnobody.h"
#include "support/filesizecap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// The on-disk layout is restated here as a reader of the folder sees it: a
// segment starts with "KVQSEG1\n" and its first seq (8 bytes, little
// endian), each record with "KVQR", its length (4), its seq (8), a CRC-32
// (4), then the topic's length (2), the topic and the payload.
namespace {

constexpr qint64 kSegmentHeader = 16;
constexpr qint64 kRecordHeader = 20;

QByteArray Payload(quint64 seq)
{
    return QByteArray("reading ") + QByteArray::number(seq) + QByteArray(int(seq % 7), '#');
}

QByteArray Topic(quint64 seq)
{
    return QByteArray("kelvora/module/") + QByteArray::number(seq % 63 + 1);
}

QString SegmentName(quint64 firstSeq)
{
    return QStringLiteral("%1.seg").arg(firstSeq, 20, 10, QLatin1Char('0'));
}

// Size of the record of Topic(seq) and Payload(seq) on disk.
qint64 RecordBytes(quint64 seq)
{
    return kRecordHeader + 2 + Topic(seq).size() + Payload(seq).size();
}

std::unique_ptr<DiskQueue> OpenQueue(const QString &folder, DiskQueueOpenReport *report = nullptr)
{
    Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(folder, report);
    if (!opened) {
        qWarning("%s", qPrintable(opened.error()));
        return nullptr;
    }
    return std::move(*opened);
}

bool AppendNumbered(DiskQueue &queue, quint64 count)
{
    for (quint64 i = 0; i < count; ++i) {
        const quint64 seq = queue.LastSeq() + 1;
        const Result<quint64> appended = queue.Append(Topic(seq), Payload(seq));
        if (!appended || *appended != seq)
            return false;
    }
    return true;
}

// Every waiting message, checked against what was appended under its seq:
// the seqs it holds, in order; empty with a message on a mismatch.
QList<quint64> AllWaiting(DiskQueue &queue)
{
    const Result<QList<QueuedMessage>> peeked = queue.Peek(1 << 30);
    if (!peeked) {
        qWarning("%s", qPrintable(peeked.error()));
        return {};
    }
    QList<quint64> seqs;
    for (const QueuedMessage &message : *peeked) {
        if (message.topic != Topic(message.seq) || message.payload != Payload(message.seq)) {
            qWarning("message %llu is not what was appended", message.seq);
            return {};
        }
        seqs << message.seq;
    }
    return seqs;
}

QList<quint64> Range(quint64 first, quint64 last)
{
    QList<quint64> seqs;
    for (quint64 s = first; s <= last; ++s)
        seqs << s;
    return seqs;
}

} // namespace

class TestDiskQueue : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void peekGivesTheOldestInOrderUntilAcknowledged();
    void restartKeepsOrderSeqAndSyncedAcks_data();
    void restartKeepsOrderSeqAndSyncedAcks();
    void deliveredSegmentsAreDeletedButNeverTheNewest();
    void tornLastRecordIsCutAtEveryOffset_data();
    void tornLastRecordIsCutAtEveryOffset();
    void damageInsideASegmentIsSkippedAndCounted_data();
    void damageInsideASegmentIsSkippedAndCounted();
    void boundDropsTheOldestAndKeepsTheCount_data();
    void boundDropsTheOldestAndKeepsTheCount();
    void shortWriteLeavesNothingAndTakesNoSeq();
    void foreignFilesAreLeftAlone();
    void unusablePathFailsInWords_data();
    void unusablePathFailsInWords();
    void folderWithoutRightsFailsInWords_data();
    void folderWithoutRightsFailsInWords();
    void appendsFromOneThreadPeekAndAckFromAnother();

private:
    QString Folder() const { return m_dir->filePath(QStringLiteral("queue")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDiskQueue::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestDiskQueue::peekGivesTheOldestInOrderUntilAcknowledged()
{
    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    QCOMPARE(queue->Waiting(), 0);
    QVERIFY(queue->Peek(5)->isEmpty());
    QVERIFY(AppendNumbered(*queue, 10));
    QCOMPARE(queue->Waiting(), 10);

    const QList<QueuedMessage> first = *queue->Peek(4);
    QCOMPARE(first.size(), 4);
    QCOMPARE(first[0].seq, 1u);
    QCOMPARE(first[0].topic, QByteArray("kelvora/module/2"));
    QCOMPARE(first[0].payload, QByteArray("reading 1#"));
    QCOMPARE(first[3].seq, 4u);
    QCOMPARE(queue->Peek(4)->at(0).seq, 1u); // a peek removes nothing

    queue->Acknowledge(4);
    QCOMPARE(queue->Waiting(), 6);
    QCOMPARE(AllWaiting(*queue), Range(5, 10));
    queue->Acknowledge(2); // behind the position: changes nothing
    QCOMPARE(queue->Waiting(), 6);
    queue->Acknowledge(1000); // past the last: the last
    QCOMPARE(queue->Waiting(), 0);
    QVERIFY(queue->Peek(10)->isEmpty());
    QVERIFY(AppendNumbered(*queue, 1));
    QCOMPARE(AllWaiting(*queue), Range(11, 11));
}

void TestDiskQueue::restartKeepsOrderSeqAndSyncedAcks_data()
{
    QTest::addColumn<bool>("synced");
    QTest::addColumn<quint64>("firstWaiting");
    // Without a Sync the acknowledgement is lost and messages 1-3 come again
    // (a QoS 1 duplicate, with the seqs they had).
    QTest::newRow("acknowledged and synced") << true << quint64(4);
    QTest::newRow("acknowledged, no sync") << false << quint64(1);
}

void TestDiskQueue::restartKeepsOrderSeqAndSyncedAcks()
{
    QFETCH(bool, synced);
    QFETCH(quint64, firstWaiting);
    {
        auto queue = OpenQueue(Folder());
        QVERIFY(queue);
        QVERIFY(AppendNumbered(*queue, 10));
        queue->Acknowledge(3);
        if (synced)
            QVERIFY(queue->Sync().ok());
    }
    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    QCOMPARE(queue->LastSeq(), 10u);
    QCOMPARE(AllWaiting(*queue), Range(firstWaiting, 10));
    QCOMPARE(*queue->Append(Topic(11), Payload(11)), 11u);
    QCOMPARE(AllWaiting(*queue), Range(firstWaiting, 11));

    // Everything delivered and its segments gone: the seqs still go on.
    queue->Acknowledge(11);
    QVERIFY(queue->Sync().ok());
    queue.reset();
    queue = OpenQueue(Folder());
    QVERIFY(queue);
    QCOMPARE(queue->Waiting(), 0);
    QCOMPARE(*queue->Append(Topic(12), Payload(12)), 12u);
}

void TestDiskQueue::deliveredSegmentsAreDeletedButNeverTheNewest()
{
    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    queue->SetLimitBytes(64 * 1024); // segments of 8 KB
    QVERIFY(AppendNumbered(*queue, 600));
    const QStringList segments =
        QDir(Folder()).entryList({QStringLiteral("*.seg")}, QDir::Files, QDir::Name);
    QVERIFY(segments.size() >= 3);

    queue->Acknowledge(599);
    // Acknowledged but not synced: nothing goes yet, a kill would resend.
    QCOMPARE(QDir(Folder()).entryList({QStringLiteral("*.seg")}, QDir::Files), segments);
    QVERIFY(queue->Sync().ok());
    const QStringList left = QDir(Folder()).entryList({QStringLiteral("*.seg")}, QDir::Files);
    QCOMPARE(left, QStringList{segments.last()});
    QCOMPARE(queue->SizeBytes(), QFileInfo(Folder() + u'/' + left[0]).size());
    QCOMPARE(AllWaiting(*queue), Range(600, 600));

    queue->Acknowledge(600);
    QVERIFY(queue->Sync().ok());
    QCOMPARE(QDir(Folder()).entryList({QStringLiteral("*.seg")}, QDir::Files), left);
    QCOMPARE(queue->Waiting(), 0);
}

void TestDiskQueue::tornLastRecordIsCutAtEveryOffset_data()
{
    QTest::addColumn<int>("records");
    QTest::newRow("third record of a segment") << 3;
    // The segment's header goes out with its first record, so a cut can
    // leave part of the header.
    QTest::newRow("first record of a segment, its header too") << 1;
}

// A kill, a power loss or a full disk leaves the last record unfinished at
// any byte. Opening cuts exactly that record and keeps all before it; the
// next append takes its seq (nobody can have seen it) and the file is whole.
void TestDiskQueue::tornLastRecordIsCutAtEveryOffset()
{
    QFETCH(int, records);
    const QString source = m_dir->filePath(QStringLiteral("source"));
    {
        auto queue = OpenQueue(source);
        QVERIFY(queue);
        QVERIFY(AppendNumbered(*queue, quint64(records)));
    }
    const QByteArray whole = ReadFileBytes(source + u'/' + SegmentName(1));
    qint64 lastStart = records == 1 ? 0 : kSegmentHeader;
    for (int s = 1; s < records; ++s)
        lastStart += RecordBytes(quint64(s));
    QCOMPARE(whole.size(), lastStart + RecordBytes(quint64(records)) + (records == 1 ? 16 : 0));

    for (qint64 cut = lastStart; cut < whole.size(); ++cut) {
        const QString folder = m_dir->filePath(QStringLiteral("cut%1").arg(cut));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(WriteFileBytes(folder + u'/' + SegmentName(1), whole.left(cut)));
        DiskQueueOpenReport report;
        auto queue = OpenQueue(folder, &report);
        QVERIFY2(queue, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        // A whole header stays: the segment is the queue's and still empty.
        const qint64 kept = records == 1 && cut >= kSegmentHeader ? kSegmentHeader : lastStart;
        QCOMPARE(report.tornBytesCut, cut - kept);
        QCOMPARE(report.corruptSkipped, 0);
        QCOMPARE(queue->LastSeq(), quint64(records - 1));
        QCOMPARE(AllWaiting(*queue), Range(1, quint64(records - 1)));
        QVERIFY(AppendNumbered(*queue, 1));
        queue.reset();
        QCOMPARE(ReadFileBytes(folder + u'/' + SegmentName(1)), whole);
        QVERIFY(QDir(folder).removeRecursively());
    }
}

void TestDiskQueue::damageInsideASegmentIsSkippedAndCounted_data()
{
    QTest::addColumn<int>("offset"); // into record 3
    QTest::newRow("magic") << 1;
    QTest::newRow("length") << 5;
    QTest::newRow("seq") << 9;
    QTest::newRow("crc") << 17;
    QTest::newRow("topic length") << 21;
    QTest::newRow("payload") << 40;
}

void TestDiskQueue::damageInsideASegmentIsSkippedAndCounted()
{
    QFETCH(int, offset);
    {
        auto queue = OpenQueue(Folder());
        QVERIFY(queue);
        QVERIFY(AppendNumbered(*queue, 5));
    }
    const QString path = Folder() + u'/' + SegmentName(1);
    QByteArray bytes = ReadFileBytes(path);
    const qint64 third = kSegmentHeader + RecordBytes(1) + RecordBytes(2);
    bytes[third + offset] = char(bytes[third + offset] ^ 0x5A);
    QVERIFY(WriteFileBytes(path, bytes));

    DiskQueueOpenReport report;
    auto queue = OpenQueue(Folder(), &report);
    QVERIFY(queue);
    QCOMPARE(report.corruptSkipped, 1);
    QCOMPARE(report.tornBytesCut, 0);
    QCOMPARE(ReadFileBytes(path), bytes); // damage is not cut out of the file
    QCOMPARE(AllWaiting(*queue), (QList<quint64>{1, 2, 4, 5}));
    QCOMPARE(queue->Waiting(), 4);
    queue->Acknowledge(2);
    QCOMPARE(AllWaiting(*queue), (QList<quint64>{4, 5}));
    QCOMPARE(queue->Waiting(), 2);
    QVERIFY(AppendNumbered(*queue, 1));
    QCOMPARE(AllWaiting(*queue), (QList<quint64>{4, 5, 6}));
}

void TestDiskQueue::boundDropsTheOldestAndKeepsTheCount_data()
{
    QTest::addColumn<bool>("synced");
    QTest::newRow("count synced") << true;
    // Killed before queue.ack took the count: the gap before the oldest
    // segment left gives it back.
    QTest::newRow("count not synced") << false;
}

void TestDiskQueue::boundDropsTheOldestAndKeepsTheCount()
{
    QFETCH(bool, synced);
    constexpr qint64 kLimit = 64 * 1024;
    constexpr quint64 kCount = 3000;
    quint64 dropped = 0;
    {
        auto queue = OpenQueue(Folder());
        QVERIFY(queue);
        queue->SetLimitBytes(kLimit);
        QVERIFY(AppendNumbered(*queue, 20));
        queue->Acknowledge(10); // delivered ones are not counted as dropped
        QVERIFY(queue->Sync().ok());
        QVERIFY(AppendNumbered(*queue, kCount - 20));
        QVERIFY(queue->SizeBytes() <= kLimit);
        dropped = queue->Dropped();
        QVERIFY(dropped > kCount / 2);
        QCOMPARE(quint64(queue->Waiting()) + dropped + 10, kCount);
        const QList<quint64> waiting = AllWaiting(*queue);
        QCOMPARE(waiting, Range(dropped + 11, kCount));
        if (synced)
            QVERIFY(queue->Sync().ok());
    }
    qint64 onDisk = 0;
    for (const QFileInfo &file : QDir(Folder()).entryInfoList({QStringLiteral("*.seg")}))
        onDisk += file.size();
    QVERIFY(onDisk <= kLimit);

    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    QCOMPARE(queue->Dropped(), dropped);
    QCOMPARE(queue->SizeBytes(), onDisk);
    QCOMPARE(AllWaiting(*queue), Range(dropped + 11, kCount));
    QCOMPARE(*queue->Append(Topic(kCount + 1), Payload(kCount + 1)), kCount + 1);
}

// A full disk: the write that crosses the cap comes back short. Its bytes
// are taken back, the seq is not used up, and once there is room again the
// next message takes it.
void TestDiskQueue::shortWriteLeavesNothingAndTakesNoSeq()
{
    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    QVERIFY(AppendNumbered(*queue, 2));
    const QString path = Folder() + u'/' + SegmentName(1);
    const QByteArray before = ReadFileBytes(path);
    {
        FileSizeCap cap(rlim_t(before.size() + 10));
        QVERIFY(cap.ok());
        const Result<quint64> refused = queue->Append(Topic(3), Payload(3));
        QVERIFY(!refused);
        QVERIFY2(refused.error().contains(path), qPrintable(refused.error()));
    }
    QCOMPARE(ReadFileBytes(path), before);
    QVERIFY(AppendNumbered(*queue, 1));
    queue.reset();
    DiskQueueOpenReport report;
    queue = OpenQueue(Folder(), &report);
    QCOMPARE(report.tornBytesCut, 0);
    QCOMPARE(AllWaiting(*queue), Range(1, 3));
}

void TestDiskQueue::foreignFilesAreLeftAlone()
{
    QVERIFY(QDir().mkpath(Folder() + QStringLiteral("/sub")));
    const QMap<QString, QByteArray> foreign = {
        {QStringLiteral("notes.txt"), "somebody's notes"},
        {SegmentName(2), "not a segment of the queue"},
        {QStringLiteral("123.seg"), "KVQSEG1\n"},             // not a segment's name
        {QStringLiteral("sub/00000000000000000001.seg"), ""}, // in a folder of its own
    };
    for (auto it = foreign.begin(); it != foreign.end(); ++it)
        QVERIFY(WriteFileBytes(Folder() + u'/' + it.key(), it.value()));

    DiskQueueOpenReport report;
    auto queue = OpenQueue(Folder(), &report);
    QVERIFY(queue);
    QVERIFY(report.foreignFiles.contains(QStringLiteral("notes.txt")));
    QVERIFY(report.foreignFiles.contains(SegmentName(2)));
    QCOMPARE(report.tornBytesCut, 0);
    queue->SetLimitBytes(4096); // segments of 4 KB
    QVERIFY(AppendNumbered(*queue, 1));
    QVERIFY(queue->Append("t", QByteArray(3000, 'x')).ok());
    QVERIFY(queue->Append("t", QByteArray(3000, 'x')).ok()); // in 00000000000000000003.seg
    queue->Acknowledge(queue->LastSeq());
    QVERIFY(queue->Sync().ok());
    queue.reset();
    queue = OpenQueue(Folder());
    QVERIFY(queue);
    for (auto it = foreign.begin(); it != foreign.end(); ++it)
        QCOMPARE(ReadFileBytes(Folder() + u'/' + it.key()), it.value());
}

void TestDiskQueue::unusablePathFailsInWords_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("words");
    QTest::newRow("a file") << QStringLiteral("file") << QStringLiteral("is not a folder");
    QTest::newRow("under a file") << QStringLiteral("under file")
                                  << QStringLiteral("cannot be made");
    QTest::newRow("queue.ack of somebody else")
        << QStringLiteral("foreign ack") << QStringLiteral("is not the publishing queue's own");
    QTest::newRow("open by another queue")
        << QStringLiteral("in use") << QStringLiteral("in use by another program");
}

void TestDiskQueue::unusablePathFailsInWords()
{
    QFETCH(QString, setup);
    QFETCH(QString, words);
    QString path = Folder();
    std::unique_ptr<DiskQueue> holder;
    if (setup == QStringLiteral("file")) {
        QVERIFY(WriteFileBytes(path, "x"));
    } else if (setup == QStringLiteral("under file")) {
        QVERIFY(WriteFileBytes(path, "x"));
        path += QStringLiteral("/inner");
    } else if (setup == QStringLiteral("foreign ack")) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(WriteFileBytes(path + QStringLiteral("/queue.ack"), "acknowledged: all"));
    } else {
        holder = OpenQueue(path);
        QVERIFY(holder);
    }
    const QByteArray before = ReadFileBytes(Folder() + QStringLiteral("/queue.ack"));
    const Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(path);
    QVERIFY(!opened);
    QVERIFY2(opened.error().contains(words), qPrintable(opened.error()));
    QVERIFY2(opened.error().contains(QDir::toNativeSeparators(Folder())),
             qPrintable(opened.error()));
    QCOMPARE(ReadFileBytes(Folder() + QStringLiteral("/queue.ack")), before);
}

void TestDiskQueue::folderWithoutRightsFailsInWords_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("read-only") << int(QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadOther | QFileDevice::ExeOther);
    // Listed, it would look empty: the seqs would start again under the
    // names of the segments it holds.
    QTest::newRow("cannot be listed") << int(QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther);
}

// As root a folder's mode stops nothing, so the queue opens as "nobody"
// there (RunAsNobody).
void TestDiskQueue::folderWithoutRightsFailsInWords()
{
    QFETCH(int, mode);
    {
        auto queue = OpenQueue(Folder());
        QVERIFY(queue);
        QVERIFY(AppendNumbered(*queue, 3));
    }
    const QStringList before = QDir(Folder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner |
                                                     QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(Folder(), QFileDevice::Permissions(mode)));
    const auto open = [&]() {
        const Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(Folder());
        if (opened)
            return 1;
        return opened.error().contains(QStringLiteral("cannot be used: Permission denied")) ? 0 : 2;
    };
    const int result = RunAsNobody(open);
    QVERIFY(QFile::setPermissions(Folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner));
    QCOMPARE(result, 0);
    QCOMPARE(QDir(Folder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
}

// The metering cycle appends while the publisher peeks, acknowledges and
// syncs on its own thread, and the bound drops segments under its reads:
// every message comes out once, in order, or counts as dropped.
void TestDiskQueue::appendsFromOneThreadPeekAndAckFromAnother()
{
    constexpr quint64 kCount = 20000;
    auto queue = OpenQueue(Folder());
    QVERIFY(queue);
    queue->SetLimitBytes(256 * 1024);
    std::atomic<bool> failed = false;
    QThread *writer = QThread::create([&] { failed = !AppendNumbered(*queue, kCount); });
    writer->start();
    quint64 expected = 1;
    quint64 delivered = 0;
    while (!writer->isFinished() || queue->Waiting() > 0) {
        const Result<QList<QueuedMessage>> batch = queue->Peek(100);
        QVERIFY2(batch.ok(), qPrintable(batch.error()));
        for (const QueuedMessage &message : *batch) {
            QVERIFY2(message.seq >= expected, qPrintable(QString::number(message.seq)));
            QCOMPARE(message.payload, Payload(message.seq));
            expected = message.seq + 1;
            ++delivered;
        }
        if (!batch->isEmpty())
            queue->Acknowledge(batch->last().seq);
        QVERIFY(queue->Sync().ok());
    }
    writer->wait();
    delete writer;
    QVERIFY(!failed);
    QCOMPARE(expected, kCount + 1);
    // A message dropped between its Peek and its Acknowledge counts twice.
    QVERIFY(delivered + queue->Dropped() >= kCount);
    QVERIFY(delivered < kCount);
}

QTEST_APPLESS_MAIN(TestDiskQueue)
#include "tst_diskqueue.moc"

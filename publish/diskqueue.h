#pragma once

#include "result/result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// A message waiting to be published: its topic, its payload and the number
// the queue gave it. Numbers grow by one per message ever appended, across
// restarts and past messages dropped for the size bound, so a receiver
// recognises a message sent twice (a QoS 1 duplicate) by its seq.
struct QueuedMessage
{
    quint64 seq = 0;
    QByteArray topic;
    QByteArray payload;
};

// What opening a queue found on disk besides the messages.
struct DiskQueueOpenReport
{
    qint64 tornBytesCut = 0;   // an unfinished last record (a kill, a power loss) cut off
    qint64 corruptSkipped = 0; // messages lost to bad bytes inside a segment
    QStringList foreignFiles;  // files in the folder that are not the queue's: left alone
};

// The publisher's queue on disk: messages wait here, in order, while the
// broker is away, and survive a restart, a kill -9 and (up to the last Sync)
// a power loss.
//
// The folder holds
//   00000000000000000001.seg  segments, named by the first seq they hold;
//   queue.ack                 the acknowledged position and the drop count;
//   queue.ack.tmp             the next queue.ack while it is written;
//   queue.lock                held (flock) by the one queue that has it open.
// Nothing else in the folder is touched.
//
// A segment is a 16-byte header ("KVQSEG1\n" and its first seq, little
// endian) and then records, each
//   magic "KVQR" | length u32 | seq u64 | crc32 u32 | topic length u16 | topic | payload
// where length counts the bytes after the crc (2 + topic + payload) and the
// CRC-32 (IEEE, the one of zip and Ethernet) covers length, seq and those
// bytes. A record goes out in one write() on an O_APPEND descriptor; a write
// that comes back short is taken back at once (only the bytes it put down,
// and only while they are the end of the file). A segment ends once it
// passes SegmentBytes(); the next record opens a new one.
//
// Opening checks every record. After the last whole record of the newest
// segment, whatever is left (a record that a kill or a power loss cut) is
// cut off: the file is the queue's own and only the queue appends to it. A
// bad record with good ones after it is disk damage: it is skipped and its
// messages counted (corruptSkipped; the seqs of its neighbours say how many),
// and nothing is cut. A file whose name is not a segment's, or a .seg whose
// header is not the queue's, is foreign and left alone.
//
// Acknowledge() moves the delivered position in memory only; Sync() makes
// appended messages and that position durable and deletes segments that are
// wholly delivered. After a kill, messages acknowledged since the last Sync
// are sent again: a QoS 1 duplicate with the seq it had.
//
// Threads: Append() is for the window's thread (the metering cycle) and
// costs one write() into the page cache under a short lock; Peek(),
// Acknowledge() and Sync() are for the publisher's thread. Disk reads and
// every fdatasync / fsync run outside the lock that Append() takes, so a
// slow disk never holds the window: the publisher calls Sync() every
// 100 ms or so, and after each batch it had acknowledged.
class DiskQueue
{
public:
    static constexpr qint64 kDefaultLimitBytes = 100LL * 1024 * 1024;
    static constexpr qint64 kMaxSegmentBytes = 4LL * 1024 * 1024;
    static constexpr int kMaxTopicBytes = 65535;
    static constexpr int kMaxPayloadBytes = 1024 * 1024;

    // Opens the queue in folder, making the folder if it is missing. A
    // failure says in words what is wrong with the path (not a folder, no
    // permission, used by another queue, a queue.ack the queue did not write).
    static Result<std::unique_ptr<DiskQueue>> Open(const QString &folder,
                                                   DiskQueueOpenReport *report = nullptr);
    ~DiskQueue();
    DiskQueue(const DiskQueue &) = delete;
    DiskQueue &operator=(const DiskQueue &) = delete;

    // Appends a message and returns its seq. A failure (disk full, file size
    // limit, a topic or payload too long) leaves nothing of it on disk and
    // takes no seq. Past the bound, the oldest segments go (never the one
    // being written) and their waiting messages count as dropped.
    Result<quint64> Append(const QByteArray &topic, const QByteArray &payload);

    // The oldest up to n messages not yet acknowledged, in order, without
    // removing them. A failure says which segment could not be read.
    Result<QList<QueuedMessage>> Peek(int n);

    // Everything up to seq is delivered (a seq past the last one appended
    // counts as the last one). Memory only until the next Sync().
    void Acknowledge(quint64 seq);

    // Makes what was appended and acknowledged so far durable (fdatasync of
    // the segments written, queue.ack written to a temporary file and renamed
    // over) and deletes the segments wholly delivered. May take as long as
    // the disk does; never holds up Append() meanwhile.
    Result<> Sync();

    // The bound on bytes on disk; segments are sized to an eighth of it (at
    // most 4 MB, at least 4 KB) from the next segment on.
    void SetLimitBytes(qint64 limit);

    qint64 Waiting() const; // messages appended and neither delivered nor dropped
    // Messages dropped for the bound, ever, kept in queue.ack by Sync(). A
    // kill before that Sync loses nothing of it: opening counts the seqs
    // between the synced position and the oldest segment left as dropped,
    // which also counts the ones delivered but not yet synced as delivered.
    quint64 Dropped() const;
    qint64 SizeBytes() const; // the segments' bytes on disk
    quint64 LastSeq() const;  // the seq of the last message appended, 0 before any
    qint64 SegmentBytes() const;

    struct Segment;

private:
    explicit DiskQueue(QString folder);
    Result<> Load(DiskQueueOpenReport &report);
    Result<> StartSegmentLocked(quint64 firstSeq, const QByteArray &record);
    void DropOldestLocked();
    quint64 DoneLocked() const;
    Result<> WriteAckFile(quint64 acked, quint64 droppedThrough, quint64 dropped);

    const QString m_folder;
    int m_lockFd = -1;

    // Taken by every call, held only for memory work and Append's write().
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Segment>> m_segments; // oldest first
    quint64 m_nextSeq = 1;
    quint64 m_acked = 0;          // delivered up to here
    quint64 m_droppedThrough = 0; // dropped up to here
    quint64 m_dropped = 0;
    std::map<quint64, quint64> m_lost; // first seq lost to damage -> how many
    qint64 m_limitBytes = kDefaultLimitBytes;
    qint64 m_segmentBytes = kMaxSegmentBytes;
    qint64 m_totalBytes = 0;

    // Taken by Peek and Sync (the publisher's thread), never by Append: the
    // reading position and what queue.ack says now.
    std::mutex m_readerMutex;
    std::shared_ptr<Segment> m_cursorSegment;
    qint64 m_cursorOffset = 0;
    quint64 m_savedAcked = 0;
    quint64 m_savedDroppedThrough = 0;
    quint64 m_savedDropped = 0;
};

#include "publish/diskqueue.h"

#include "metering/appendwhole.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct DiskQueue::Segment
{
    QString path;
    quint64 firstSeq = 0;
    quint64 lastSeq = 0; // firstSeq - 1 while it holds no record
    int fd = -1;
    qint64 end = 0;       // where its last whole record ends: the next one goes here
    qint64 fileBytes = 0; // its size on disk (past end only in a damaged older segment)
    bool unsynced = false;

    ~Segment()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

constexpr char kSegmentMagic[] = "KVQSEG1\n";
constexpr char kRecordMagic[] = "KVQR";
constexpr char kAckMagic[] = "KVQACK1\n";
constexpr qint64 kSegmentHeader = 16;
constexpr qint64 kRecordHeader = 20; // magic, length, seq, crc
constexpr qint64 kAckFileBytes = 36;
constexpr qint64 kMinSegmentBytes = 4096;
constexpr qint64 kReadChunk = 256 * 1024;
const QString kAckName = QStringLiteral("queue.ack");
const QString kAckTempName = QStringLiteral("queue.ack.tmp");
const QString kLockName = QStringLiteral("queue.lock");

QString OsError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

quint32 Crc32(const char *data, qint64 size, quint32 crc = 0)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutLE(QByteArray &out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint64 GetLE(const char *p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

QByteArray SegmentHeader(quint64 firstSeq)
{
    QByteArray header(kSegmentMagic, 8);
    PutLE(header, firstSeq, 8);
    return header;
}

QByteArray Frame(quint64 seq, const QByteArray &topic, const QByteArray &payload)
{
    const qint64 length = 2 + topic.size() + payload.size();
    QByteArray record;
    record.reserve(kRecordHeader + length);
    record.append(kRecordMagic, 4);
    PutLE(record, quint64(length), 4);
    PutLE(record, seq, 8);
    PutLE(record, 0, 4); // the CRC, filled in below
    PutLE(record, quint64(topic.size()), 2);
    record.append(topic);
    record.append(payload);
    quint32 crc = Crc32(record.constData() + 4, 12);
    crc = Crc32(record.constData() + kRecordHeader, length, crc);
    for (int i = 0; i < 4; ++i)
        record[16 + i] = char((crc >> (8 * i)) & 0xFF);
    return record;
}

// A whole, intact record at pos of data[0, size), or its length 0.
struct RecordAt
{
    qint64 bytes = 0;
    quint64 seq = 0;
};

RecordAt CheckRecord(const char *data, qint64 size, qint64 pos)
{
    if (size - pos < kRecordHeader || std::memcmp(data + pos, kRecordMagic, 4) != 0)
        return {};
    const char *p = data + pos;
    const qint64 length = qint64(GetLE(p + 4, 4));
    if (length < 2 || length > 2 + DiskQueue::kMaxTopicBytes + DiskQueue::kMaxPayloadBytes ||
        size - pos - kRecordHeader < length)
        return {};
    const quint32 crc = Crc32(p + kRecordHeader, length, Crc32(p + 4, 12));
    if (crc != quint32(GetLE(p + 16, 4)) || qint64(GetLE(p + kRecordHeader, 2)) > length - 2)
        return {};
    return {kRecordHeader + length, GetLE(p + 8, 8)};
}

// The next intact record after a damaged one at pos, with a seq past
// prevSeq; -1 when there is none. A payload may hold the magic, so every
// candidate is checked whole.
qint64 NextIntactRecord(const char *data, qint64 size, qint64 pos, quint64 prevSeq)
{
    for (qint64 q = pos + 1; q + kRecordHeader <= size; ++q) {
        const void *hit = std::memchr(data + q, kRecordMagic[0], size_t(size - q));
        if (!hit)
            return -1;
        q = static_cast<const char *>(hit) - data;
        const RecordAt record = CheckRecord(data, size, q);
        if (record.bytes > 0 && record.seq > prevSeq)
            return q;
    }
    return -1;
}

QueuedMessage MessageAt(const char *p, const RecordAt &record)
{
    const qint64 topicBytes = qint64(GetLE(p + kRecordHeader, 2));
    const char *topic = p + kRecordHeader + 2;
    return {record.seq, QByteArray(topic, topicBytes),
            QByteArray(topic + topicBytes, record.bytes - kRecordHeader - 2 - topicBytes)};
}

Result<QByteArray> ReadAt(int fd, qint64 offset, qint64 bytes, const QString &path)
{
    QByteArray data(bytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes) {
        const ssize_t n = ::pread(fd, data.data() + got, size_t(bytes - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString why = n < 0 ? OsError(errno) : QStringLiteral("it ended early");
            return Fail(
                QStringLiteral("%1 cannot be read: %2.").arg(QDir::toNativeSeparators(path), why));
        }
        got += n;
    }
    return data;
}

// Writes bytes at the end of the O_APPEND file fd in one write(); a short
// write's bytes are taken back (AppendWhole).
Result<> AppendRecord(int fd, const QByteArray &bytes, const QString &path)
{
    const WholeAppend append = AppendWhole(fd, bytes);
    if (append.whole(bytes))
        return {};
    QString why = append.written < 0 ? OsError(append.writeError)
                                     : QStringLiteral("only %1 of its %2 bytes could be written")
                                           .arg(append.written)
                                           .arg(bytes.size());
    if (append.rest == WholeAppend::Rest::CannotTakeBack)
        why += QStringLiteral(", and they could not be taken back: %1")
                   .arg(OsError(append.truncateError));
    return Fail(QStringLiteral("The message could not be queued in %1: %2.")
                    .arg(QDir::toNativeSeparators(path), why));
}

} // namespace

DiskQueue::DiskQueue(QString folder) : m_folder(std::move(folder)) {}

DiskQueue::~DiskQueue()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

Result<std::unique_ptr<DiskQueue>> DiskQueue::Open(const QString &folder,
                                                   DiskQueueOpenReport *report)
{
    std::unique_ptr<DiskQueue> queue(new DiskQueue(folder));
    DiskQueueOpenReport ignored;
    const Result<> loaded = queue->Load(report ? *report : ignored);
    if (!loaded)
        return Fail(loaded.error());
    return queue;
}

Result<> DiskQueue::Load(DiskQueueOpenReport &report)
{
    const QString shown = QDir::toNativeSeparators(m_folder);
    const QFileInfo info(m_folder);
    if (info.exists() && !info.isDir())
        return Fail(QStringLiteral("The publishing queue's folder %1 is not a folder.").arg(shown));
    if (!info.exists() && !QDir().mkpath(m_folder))
        return Fail(QStringLiteral("The publishing queue's folder %1 cannot be made.").arg(shown));

    // A folder that cannot be listed would look empty, and the seqs would
    // start again under the names of segments it holds.
    if (::access(QFile::encodeName(m_folder).constData(), R_OK | W_OK | X_OK) != 0) {
        return Fail(QStringLiteral("The publishing queue's folder %1 cannot be used: %2.")
                        .arg(shown, OsError(errno)));
    }
    const QByteArray lockPath = QFile::encodeName(QDir(m_folder).filePath(kLockName));
    m_lockFd = ::open(lockPath.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (m_lockFd < 0) {
        return Fail(QStringLiteral("The publishing queue's folder %1 cannot be used: %2.")
                        .arg(shown, OsError(errno)));
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        return Fail(
            QStringLiteral("The publishing queue in %1 is in use by another program.").arg(shown));
    }

    // The acknowledged position and the drop count, when a queue.ack exists.
    QFile ack(QDir(m_folder).filePath(kAckName));
    if (ack.exists()) {
        if (!ack.open(QIODevice::ReadOnly)) {
            return Fail(QStringLiteral("%1 cannot be read: %2.")
                            .arg(QDir::toNativeSeparators(ack.fileName()), ack.errorString()));
        }
        const QByteArray bytes = ack.read(kAckFileBytes + 1);
        if (bytes.size() != kAckFileBytes || !bytes.startsWith(kAckMagic) ||
            Crc32(bytes.constData(), 32) != quint32(GetLE(bytes.constData() + 32, 4))) {
            return Fail(QStringLiteral("%1 is not the publishing queue's own file; move it away "
                                       "so that the queue can start.")
                            .arg(QDir::toNativeSeparators(ack.fileName())));
        }
        m_acked = GetLE(bytes.constData() + 8, 8);
        m_droppedThrough = GetLE(bytes.constData() + 16, 8);
        m_dropped = GetLE(bytes.constData() + 24, 8);
    }
    m_savedAcked = m_acked;
    m_savedDroppedThrough = m_droppedThrough;
    m_savedDropped = m_dropped;

    // The segments, oldest first; anything else is somebody else's.
    static const QRegularExpression kSegmentName(QStringLiteral("^([0-9]{20})\\.seg$"));
    QDir dir(m_folder);
    const QStringList names = dir.entryList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = kSegmentName.match(name);
        if (!match.hasMatch()) {
            if (name != kAckName && name != kAckTempName && name != kLockName)
                report.foreignFiles << name;
            continue;
        }
        auto segment = std::make_shared<Segment>();
        segment->path = dir.filePath(name);
        segment->firstSeq = match.captured(1).toULongLong();
        segment->lastSeq = segment->firstSeq - 1;
        segment->fd = ::open(QFile::encodeName(segment->path).constData(),
                             O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat st
        {
        };
        if (segment->fd < 0 || ::fstat(segment->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            report.foreignFiles << name;
            continue;
        }
        const Result<QByteArray> bytes =
            ReadAt(segment->fd, 0, std::min<qint64>(st.st_size, kSegmentHeader), segment->path);
        if (!bytes)
            return Fail(bytes.error());
        const QByteArray header = SegmentHeader(segment->firstSeq);
        const qint64 headerBytes = std::min<qint64>(bytes->size(), kSegmentHeader);
        if (bytes->left(headerBytes) != header.left(headerBytes)) {
            report.foreignFiles << name;
            continue;
        }
        segment->fileBytes = st.st_size;
        segment->end = headerBytes;
        m_segments.push_back(std::move(segment));
    }

    // Every record checked; damage skipped and counted, the newest
    // segment's unfinished tail cut off.
    quint64 prevSeq = 0;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        Segment &segment = *m_segments[i];
        const bool newest = i + 1 == m_segments.size();
        const Result<QByteArray> read = ReadAt(segment.fd, 0, segment.fileBytes, segment.path);
        if (!read)
            return Fail(read.error());
        const char *data = read->constData();
        const qint64 size = read->size();
        if (i > 0 && segment.firstSeq > prevSeq + 1) {
            m_lost[prevSeq + 1] = segment.firstSeq - prevSeq - 1;
            report.corruptSkipped += qint64(segment.firstSeq - prevSeq - 1);
        }
        prevSeq = std::max(prevSeq, segment.firstSeq - 1);
        // A header cut short is the start of a segment a kill interrupted.
        qint64 pos = segment.end < kSegmentHeader ? 0 : kSegmentHeader;
        while (pos >= kSegmentHeader && pos < size) {
            const RecordAt record = CheckRecord(data, size, pos);
            if (record.bytes > 0 && record.seq > prevSeq) {
                if (record.seq > prevSeq + 1) {
                    m_lost[prevSeq + 1] = record.seq - prevSeq - 1;
                    report.corruptSkipped += qint64(record.seq - prevSeq - 1);
                }
                prevSeq = segment.lastSeq = record.seq;
                pos += record.bytes;
                continue;
            }
            const qint64 next = NextIntactRecord(data, size, pos, prevSeq);
            if (next < 0)
                break;
            pos = next; // the seq gap is counted when the record at next is taken
        }
        if (pos < size && newest) {
            if (::ftruncate(segment.fd, pos) != 0) {
                return Fail(QStringLiteral("The unfinished end of %1 cannot be cut off: %2.")
                                .arg(QDir::toNativeSeparators(segment.path), OsError(errno)));
            }
            report.tornBytesCut += size - pos;
            segment.fileBytes = pos;
        }
        segment.end = pos; // 0 after a cut header: written again with the next record
    }

    // Segments wholly delivered whose deletion a kill interrupted go now
    // (never the newest: the next record goes there).
    const quint64 done = DoneLocked();
    while (m_segments.size() > 1 && m_segments.front()->lastSeq <= done) {
        ::unlink(QFile::encodeName(m_segments.front()->path).constData());
        m_segments.erase(m_segments.begin());
    }
    // Older segments that the bound dropped before queue.ack said so: the
    // seqs between the position and the oldest segment left were dropped.
    if (!m_segments.empty() && m_segments.front()->firstSeq > done + 1) {
        m_dropped += m_segments.front()->firstSeq - done - 1;
        m_droppedThrough = m_segments.front()->firstSeq - 1;
    }
    m_nextSeq = DoneLocked() + 1;
    if (!m_segments.empty())
        m_nextSeq = std::max(m_nextSeq, m_segments.back()->lastSeq + 1);
    for (const auto &segment : m_segments)
        m_totalBytes += segment->fileBytes;
    return {};
}

quint64 DiskQueue::DoneLocked() const
{
    return std::max(m_acked, m_droppedThrough);
}

Result<> DiskQueue::StartSegmentLocked(quint64 firstSeq, const QByteArray &record)
{
    auto segment = std::make_shared<Segment>();
    segment->path =
        QDir(m_folder).filePath(QStringLiteral("%1.seg").arg(firstSeq, 20, 10, QLatin1Char('0')));
    segment->firstSeq = firstSeq;
    segment->lastSeq = firstSeq - 1;
    const QByteArray path = QFile::encodeName(segment->path);
    segment->fd =
        ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
    if (segment->fd < 0) {
        return Fail(QStringLiteral("The message could not be queued: %1 cannot be made: %2.")
                        .arg(QDir::toNativeSeparators(segment->path), OsError(errno)));
    }
    const Result<> written =
        AppendRecord(segment->fd, SegmentHeader(firstSeq) + record, segment->path);
    if (!written) {
        ::unlink(path.constData()); // made by this call a moment ago, holding nothing
        return written;
    }
    segment->end = segment->fileBytes = kSegmentHeader + record.size();
    segment->lastSeq = firstSeq;
    segment->unsynced = true;
    m_segments.push_back(std::move(segment));
    return {};
}

Result<quint64> DiskQueue::Append(const QByteArray &topic, const QByteArray &payload)
{
    if (topic.size() > kMaxTopicBytes || payload.size() > kMaxPayloadBytes) {
        return Fail(QStringLiteral("The message could not be queued: a topic has at most %1 bytes "
                                   "and a payload at most %2 (this one: %3 and %4).")
                        .arg(kMaxTopicBytes)
                        .arg(kMaxPayloadBytes)
                        .arg(topic.size())
                        .arg(payload.size()));
    }
    std::lock_guard lock(m_mutex);
    const quint64 seq = m_nextSeq;
    const QByteArray record = Frame(seq, topic, payload);
    Segment *active = m_segments.empty() ? nullptr : m_segments.back().get();
    if (!active || (active->end > kSegmentHeader && active->end + record.size() > m_segmentBytes)) {
        const Result<> started = StartSegmentLocked(seq, record);
        if (!started)
            return Fail(started.error());
        m_totalBytes += m_segments.back()->fileBytes;
    } else {
        const QByteArray bytes =
            active->end == 0 ? SegmentHeader(active->firstSeq) + record : record;
        const Result<> written = AppendRecord(active->fd, bytes, active->path);
        if (!written)
            return Fail(written.error());
        active->end += bytes.size();
        active->fileBytes = active->end;
        m_totalBytes += bytes.size();
        active->lastSeq = seq;
        active->unsynced = true;
    }
    ++m_nextSeq;
    while (m_totalBytes > m_limitBytes && m_segments.size() > 1)
        DropOldestLocked();
    return seq;
}

void DiskQueue::DropOldestLocked()
{
    const std::shared_ptr<Segment> oldest = m_segments.front();
    const quint64 done = DoneLocked();
    // Counted by seq: a message already lost to damage in it counts too.
    const quint64 from = std::max(done, oldest->firstSeq - 1);
    if (oldest->lastSeq > from)
        m_dropped += oldest->lastSeq - from;
    m_droppedThrough = std::max(m_droppedThrough, oldest->lastSeq);
    m_totalBytes -= oldest->fileBytes;
    // A reader holding it reads on from its open descriptor.
    ::unlink(QFile::encodeName(oldest->path).constData());
    m_segments.erase(m_segments.begin());
}

void DiskQueue::SetLimitBytes(qint64 limit)
{
    std::lock_guard lock(m_mutex);
    m_limitBytes = std::max(limit, kMinSegmentBytes);
    m_segmentBytes = std::clamp(m_limitBytes / 8, kMinSegmentBytes, kMaxSegmentBytes);
    while (m_totalBytes > m_limitBytes && m_segments.size() > 1)
        DropOldestLocked();
}

Result<QList<QueuedMessage>> DiskQueue::Peek(int n)
{
    std::lock_guard readerLock(m_readerMutex);
    std::vector<std::shared_ptr<Segment>> segments;
    std::vector<qint64> ends;
    quint64 done;
    {
        std::lock_guard lock(m_mutex);
        segments = m_segments;
        for (const auto &segment : segments)
            ends.push_back(segment->end);
        done = DoneLocked();
    }
    QList<QueuedMessage> out;
    auto at = std::find(segments.begin(), segments.end(), m_cursorSegment);
    if (at == segments.end()) { // not begun, or its segment went meanwhile
        at = segments.begin();
        m_cursorOffset = kSegmentHeader;
    }
    quint64 prevSeq = done;
    for (; at != segments.end() && out.size() < n; ++at) {
        const Segment &segment = **at;
        const qint64 end = ends[size_t(at - segments.begin())];
        qint64 pos = *at == m_cursorSegment ? m_cursorOffset : kSegmentHeader;
        qint64 want = kReadChunk;
        while (pos < end && out.size() < n) {
            const Result<QByteArray> chunk =
                ReadAt(segment.fd, pos, std::min(end - pos, want), segment.path);
            if (!chunk)
                return Fail(chunk.error());
            const char *data = chunk->constData();
            const qint64 size = chunk->size();
            const bool wholeRest = pos + size == end;
            qint64 used = 0;
            while (used < size && out.size() < n) {
                const RecordAt record = CheckRecord(data, size, used);
                if (record.bytes == 0) {
                    if (!wholeRest)
                        break; // cut by the chunk: read on from here
                    // Damage found when the queue was opened: on to the next
                    // intact record, or past the segment's end.
                    const qint64 next = NextIntactRecord(data, size, used, prevSeq);
                    used = next < 0 ? size : next;
                    continue;
                }
                if (record.seq > done)
                    out.append(MessageAt(data + used, record));
                prevSeq = std::max(prevSeq, record.seq);
                used += record.bytes;
                if (out.isEmpty()) { // all delivered so far: the next Peek starts here
                    m_cursorSegment = *at;
                    m_cursorOffset = pos + used;
                }
            }
            // A record longer than the chunk, or damage: the rest at once.
            want = used == 0 ? end - pos : kReadChunk;
            pos += used;
        }
    }
    return out;
}

void DiskQueue::Acknowledge(quint64 seq)
{
    std::lock_guard lock(m_mutex);
    m_acked = std::max(m_acked, std::min(seq, m_nextSeq - 1));
}

Result<> DiskQueue::WriteAckFile(quint64 acked, quint64 droppedThrough, quint64 dropped)
{
    QByteArray bytes(kAckMagic, 8);
    PutLE(bytes, acked, 8);
    PutLE(bytes, droppedThrough, 8);
    PutLE(bytes, dropped, 8);
    PutLE(bytes, Crc32(bytes.constData(), bytes.size()), 4);

    const QDir dir(m_folder);
    const QByteArray temp = QFile::encodeName(dir.filePath(kAckTempName));
    const QByteArray final = QFile::encodeName(dir.filePath(kAckName));
    const QString shown = QDir::toNativeSeparators(dir.filePath(kAckName));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Fail(QStringLiteral("%1 cannot be written: %2.").arg(shown, OsError(errno)));
    const Result<> written = AppendRecord(fd, bytes, dir.filePath(kAckTempName));
    const bool synced = written.ok() && ::fdatasync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!written)
        return written;
    if (!synced)
        return Fail(QStringLiteral("%1 cannot be written: %2.").arg(shown, OsError(syncError)));
    if (::rename(temp.constData(), final.constData()) != 0)
        return Fail(QStringLiteral("%1 cannot be replaced: %2.").arg(shown, OsError(errno)));
    // The rename itself durable before any segment it lets go is deleted.
    const int dirFd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

Result<> DiskQueue::Sync()
{
    std::lock_guard readerLock(m_readerMutex);
    std::vector<std::shared_ptr<Segment>> toSync;
    quint64 acked, droppedThrough, dropped;
    {
        std::lock_guard lock(m_mutex);
        for (const auto &segment : m_segments) {
            if (segment->unsynced) {
                segment->unsynced = false;
                toSync.push_back(segment);
            }
        }
        acked = m_acked;
        droppedThrough = m_droppedThrough;
        dropped = m_dropped;
    }
    for (const auto &segment : toSync) {
        if (::fdatasync(segment->fd) != 0) {
            const int error = errno;
            std::lock_guard lock(m_mutex);
            segment->unsynced = true;
            return Fail(QStringLiteral("%1 cannot be written to disk: %2.")
                            .arg(QDir::toNativeSeparators(segment->path), OsError(error)));
        }
    }
    if (acked != m_savedAcked || droppedThrough != m_savedDroppedThrough ||
        dropped != m_savedDropped) {
        const Result<> written = WriteAckFile(acked, droppedThrough, dropped);
        if (!written)
            return written;
        m_savedAcked = acked;
        m_savedDroppedThrough = droppedThrough;
        m_savedDropped = dropped;
    }
    // Only what queue.ack now says is done goes, never the newest segment.
    const quint64 savedDone = std::max(m_savedAcked, m_savedDroppedThrough);
    std::vector<std::shared_ptr<Segment>> delivered;
    {
        std::lock_guard lock(m_mutex);
        while (m_segments.size() > 1 && m_segments.front()->lastSeq <= savedDone) {
            m_totalBytes -= m_segments.front()->fileBytes;
            delivered.push_back(m_segments.front());
            m_segments.erase(m_segments.begin());
        }
    }
    for (const auto &segment : delivered)
        ::unlink(QFile::encodeName(segment->path).constData());
    return {};
}

qint64 DiskQueue::Waiting() const
{
    std::lock_guard lock(m_mutex);
    const quint64 done = DoneLocked();
    const quint64 last = m_nextSeq - 1;
    if (last <= done)
        return 0;
    quint64 waiting = last - done;
    for (const auto &[first, count] : m_lost) {
        const quint64 from = std::max(first, done + 1);
        const quint64 to = std::min(first + count - 1, last);
        if (to >= from)
            waiting -= to - from + 1;
    }
    return qint64(waiting);
}

quint64 DiskQueue::Dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

qint64 DiskQueue::SizeBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_totalBytes;
}

quint64 DiskQueue::LastSeq() const
{
    std::lock_guard lock(m_mutex);
    return m_nextSeq - 1;
}

qint64 DiskQueue::SegmentBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_segmentBytes;
}

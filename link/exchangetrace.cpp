#include "link/exchangetrace.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHeader[] = "# time\tport\tlink\taddress\tfunction\tfirst\tcount\tattempt\t"
                       "duration us\toutcome\trequest\treply\n";

QString Hex(const std::array<uint8_t, ExchangeRecord::kStoredBytes> &bytes, int length)
{
    const int stored = std::min(length, ExchangeRecord::kStoredBytes);
    QString text = QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()), stored)
            .toHex(' ')
            .toUpper());
    if (length > stored)
        text += QStringLiteral(" ...");
    return text;
}

// 2026-12-11T08:51:02.123456+01:00, in the local time of the machine.
QString IsoTimeUs(int64_t timeUs)
{
    const int64_t ms = timeUs >= 0 ? timeUs / 1000 : (timeUs - 999) / 1000;
    const auto us = int(timeUs - ms * 1000);
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
    const int offset = at.offsetFromUtc() / 60;
    const int absOffset = offset < 0 ? -offset : offset;
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2%3:%4")
               .arg(us, 3, 10, QLatin1Char('0'))
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(absOffset / 60, 2, 10, QLatin1Char('0'))
               .arg(absOffset % 60, 2, 10, QLatin1Char('0'));
}

void ComplainOnStandardError(const QString &text)
{
    std::fprintf(stderr, "kelvora: %s\n", text.toLocal8Bit().constData());
}

} // namespace

// What the listener (on the line's thread) and the writer share. The writer
// thread holds it too, so a writer that outlives its ExchangeTrace (a write
// stuck on a hung file system) still has it.
struct ExchangeTrace::State
{
    struct Entry
    {
        ExchangeRecord record;
        QString port;
        QString reason;
    };

    std::mutex mutex;
    std::condition_variable wake;    // the writer: work, or stop
    std::condition_variable written; // Flush and the destructor: the writer caught up
    std::vector<Entry> queue;        // a ring of kQueueLength entries
    size_t head = 0;                 // the oldest entry queued
    size_t size = 0;
    uint64_t dropped = 0; // since the writer last looked
    uint64_t given = 0;   // records queued or dropped, ever
    uint64_t done = 0;    // of those, written, or counted in the file
    bool stopping = false;
    bool failed = false;
    bool finished = false; // the writer has ended

    QString path;
    Complaint complain;

    void Run();
    bool Open(int &fd);
    bool WriteAll(int fd, const QByteArray &bytes);
    void Fail(const QString &text);
};

void ExchangeTrace::State::Fail(const QString &text)
{
    {
        std::lock_guard lock(mutex);
        failed = true;
    }
    complain(QStringLiteral("trace file %1: %2").arg(path, text));
}

bool ExchangeTrace::State::Open(int &fd)
{
    const QByteArray name = QFile::encodeName(path);
    // A path that is there and is not a regular file is refused before it is
    // opened: opening a FIFO could wait for a reader, and opening a terminal
    // or a device has effects of its own.
    struct stat st
    {
    };
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Fail(S_ISDIR(st.st_mode) ? QStringLiteral("is a directory, not a file")
                                 : QStringLiteral("is not a regular file"));
        return false;
    }
    fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                0644);
    if (fd < 0) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // What was opened may not be what was looked at (a path swapped since).
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        Fail(QStringLiteral("is not a regular file"));
        return false;
    }
    if (st.st_size == 0 && !WriteAll(fd, QByteArray(kHeader))) {
        ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

bool ExchangeTrace::State::WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            return false;
        }
        at += n;
    }
    return true;
}

void ExchangeTrace::State::Run()
{
    int fd = -1;
    const bool opened = Open(fd);
    std::vector<Entry> batch;
    batch.reserve(size_t(kQueueLength));
    for (;;) {
        // Records are dropped only while the queue is full, so every record
        // of a batch came before the drops taken with it.
        uint64_t droppedAfter = 0;
        bool stop = false;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || size > 0 || dropped > 0; });
            while (size > 0) {
                batch.push_back(std::move(queue[head]));
                head = (head + 1) % queue.size();
                --size;
            }
            droppedAfter = std::exchange(dropped, 0);
            stop = stopping;
        }
        if (opened && !failed) {
            QByteArray text;
            for (const Entry &entry : batch) {
                text +=
                    FormatLine(entry.record, entry.port, OutcomeText(entry.record, entry.reason))
                        .toUtf8();
                text += '\n';
            }
            if (droppedAfter > 0)
                text += QByteArray("# ") + QByteArray::number(droppedAfter) +
                        QByteArray(" lines dropped\n");
            if (!text.isEmpty())
                WriteAll(fd, text);
        }
        {
            std::lock_guard lock(mutex);
            done += batch.size() + droppedAfter;
        }
        batch.clear();
        written.notify_all();
        if (stop)
            break;
    }
    if (fd >= 0)
        ::close(fd);
    std::lock_guard lock(mutex);
    finished = true;
    written.notify_all();
}

ExchangeTrace::ExchangeTrace(ExchangeLog &log, const QString &path, Complaint complain)
    : m_log(log), m_state(std::make_shared<State>())
{
    m_state->path = path;
    m_state->complain = complain ? std::move(complain) : Complaint(ComplainOnStandardError);
    m_state->queue.resize(size_t(kQueueLength));
    std::thread([state = m_state] { state->Run(); }).detach();

    // On the line's thread: copy the record and two shared strings (no
    // allocation), or count it when the writer is behind.
    m_listener = m_log.AddListener([this](const ExchangeRecord &record) {
        State &s = *m_state;
        std::lock_guard lock(s.mutex);
        if (s.failed)
            return;
        ++s.given;
        if (s.size == s.queue.size()) {
            ++s.dropped;
            return;
        }
        State::Entry &entry = s.queue[(s.head + s.size) % s.queue.size()];
        entry.record = record;
        const QStringList &ports = m_log.portNames();
        entry.port = record.port < ports.size() ? ports.at(record.port) : QString();
        const QStringList &reasons = m_log.reasons();
        entry.reason =
            record.outcome == ExchangeOutcome::PortUnavailable && record.reason < reasons.size()
                ? reasons.at(record.reason)
                : QString();
        ++s.size;
        s.wake.notify_one();
    });
}

ExchangeTrace::~ExchangeTrace()
{
    m_log.RemoveListener(m_listener);
    std::unique_lock lock(m_state->mutex);
    m_state->stopping = true;
    m_state->wake.notify_one();
    // The writer holds its own share of the state; one that is stuck in a
    // write ends when the write does.
    m_state->written.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                              [this] { return m_state->finished; });
}

bool ExchangeTrace::Flush(int ms)
{
    std::unique_lock lock(m_state->mutex);
    const uint64_t target = m_state->given;
    return m_state->written.wait_for(lock, std::chrono::milliseconds(ms), [this, target] {
        return m_state->done >= target || m_state->finished;
    });
}

QString ExchangeTrace::FormatLine(const ExchangeRecord &record, const QString &port,
                                  const QString &outcome)
{
    const QChar tab = QLatin1Char('\t');
    return IsoTimeUs(record.time_us) + tab + port + tab +
           (record.link == ExchangeLink::Relay ? QStringLiteral("relay")
                                               : QStringLiteral("modbus")) +
           tab + QString::number(record.address) + tab + QString::number(record.function) + tab +
           QString::number(record.first_register) + tab + QString::number(record.count) + tab +
           QString::number(record.attempt) +
           (record.ends_call ? QStringLiteral(" end") : QString()) + tab +
           QString::number(record.duration_us) + tab + outcome + tab +
           Hex(record.request, record.request_length) + tab +
           Hex(record.reply, record.reply_length);
}

QString TraceFileFromEnvironment()
{
    return qEnvironmentVariable("KELVORA_TRACE");
}

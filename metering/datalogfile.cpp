#include "metering/datalogfile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString DatalogFileName(const QString &baseName, const QDate &date)
{
    // One pass of arg() with every part: chained calls would also replace a
    // "%2" that the user's base name happens to hold.
    const auto twoDigits = [](int n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    return QStringLiteral("%1_%2%3.csv")
        .arg(baseName, twoDigits(date.month()), twoDigits(date.day()));
}

QString FileNamePart(const QString &path)
{
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const auto blankOrControl = [](QChar c) { return c.unicode() <= 0x20; };
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && blankOrControl(name.at(first)))
        ++first;
    while (last > first && blankOrControl(name.at(last - 1)))
        --last;
    return name.mid(first, last - first);
}

QString DatalogBaseName(const QString &chosenPath)
{
    // The extension is what follows the last dot of the file name itself; a
    // dot in a folder name or at the start of the name (a hidden file) is
    // part of the name.
    const qsizetype nameStart = chosenPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = chosenPath.lastIndexOf(QLatin1Char('.'));
    if (dot > nameStart)
        return chosenPath.left(dot);
    return chosenPath;
}

QByteArray DatalogHeader()
{
    return QByteArrayLiteral(
        "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r\n");
}

QByteArray FormatDatalogRow(const QTime &time, int module, const ReadingTexts &texts)
{
    constexpr qsizetype kWidth = 6;
    char lead[48];
    const int leadLength = std::snprintf(lead, sizeof lead, "%02d:%02d:%02d\tRTD Module %d",
                                         time.hour(), time.minute(), time.second(), module);
    QByteArray row;
    row.reserve(leadLength + 8 * (1 + kWidth) + 2);
    row.append(lead, leadLength);
    for (const QString &text : texts) {
        row.append('\t');
        if (text.size() < kWidth)
            row.append(kWidth - text.size(), ' ');
        row.append(text.toLatin1());
    }
    row.append("\r\n", 2);
    return row;
}

namespace {

QString OsError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// The start of every row: "hh:mm:ss\tRTD Module ", digits marked by '#'.
constexpr std::string_view kRowLead = "##:##:##\tRTD Module ";
constexpr int kFields = 8;

enum class RowMatch
{
    No,     // a byte that no row of ours has there
    Prefix, // every byte fits, but the row is not finished
    Whole,  // a whole row up to its CR (the LF is not part of the line)
};

// Matches line (without its LF) against the rows FormatDatalogRow writes:
// the lead, the module number (1 or 2 digits), eight fields of a TAB and at
// least six characters (no TAB, no control character), then CR.
RowMatch MatchRow(QByteArrayView line)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isFieldChar = [](char c) { return static_cast<unsigned char>(c) >= 0x20; };
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (const char want : kRowLead) {
        if (i == n)
            return RowMatch::Prefix;
        const char c = line[i++];
        if (want == '#' ? !isDigit(c) : c != want)
            return RowMatch::No;
    }
    int digits = 0;
    while (i < n && isDigit(line[i]) && digits < 2) {
        ++i;
        ++digits;
    }
    if (i == n)
        return RowMatch::Prefix;
    if (digits == 0)
        return RowMatch::No;
    for (int field = 0; field < kFields; ++field) {
        if (line[i++] != '\t')
            return RowMatch::No;
        qsizetype width = 0;
        while (i < n && isFieldChar(line[i])) {
            ++i;
            ++width;
        }
        if (i == n)
            return RowMatch::Prefix;
        if (width < 6)
            return RowMatch::No;
    }
    if (line[i] != '\r')
        return RowMatch::No;
    return i + 1 == n ? RowMatch::Whole : RowMatch::No;
}

// How far back the end of a file is looked at: two of the longest rows this
// program writes, with room to spare.
constexpr qsizetype kTailWindow = 64 * 1024;

} // namespace

DatalogTailRepair RepairDatalogTail(QByteArrayView end, qint64 fileSize)
{
    if (end.isEmpty() || end.back() == '\n')
        return {fileSize, {}};
    const qsizetype lastLf = end.lastIndexOf('\n');
    const QByteArrayView tail = end.sliced(lastLf + 1);
    const bool tailStartsFile = lastLf < 0 && end.size() == fileSize;

    // A crash inside the write that created the file leaves part of the
    // header: the file is this program's, and the tail goes.
    const QByteArray header = DatalogHeader();
    if (tailStartsFile && header.startsWith(tail))
        return {0, {}};

    // A part of a row goes when the line before it is the header or a whole
    // row: then the tail is where this program's own write was cut. After
    // any other line, or when the line before cannot be seen, the tail is
    // somebody's text and stays.
    if (lastLf >= 0 && MatchRow(tail) == RowMatch::Prefix) {
        const QByteArrayView before = end.first(lastLf);
        const qsizetype previousLf = before.lastIndexOf('\n');
        const bool previousSeen = previousLf >= 0 || end.size() == fileSize;
        const QByteArrayView previous = before.sliced(previousLf + 1);
        const bool ownBefore = previousSeen && (MatchRow(previous) == RowMatch::Whole ||
                                                (previousLf < 0 && previous == header.chopped(1)));
        if (ownBefore)
            return {fileSize - tail.size(), {}};
    }

    // Kept: the next row starts on a line of its own.
    return {fileSize, end.back() == '\r' ? QByteArray("\n") : QByteArray("\r\n")};
}

namespace {

Result<> AppendToFile(const QString &path, const QByteArray &row)
{
    const QString shown = QDir::toNativeSeparators(path);
    // Never blocking: a FIFO or a device in the file's place must not hold
    // the window while it opens. Only a regular file is written.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0)
        return Fail(QStringLiteral("%1 cannot be opened: %2.").arg(shown, OsError(errno)));

    // Closes the file on every way out; a failed close after a write that
    // went through loses nothing on a local disk, so its result is ignored.
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return Fail(QStringLiteral("%1 cannot be read: %2.").arg(shown, OsError(errno)));
    if (!S_ISREG(info.st_mode))
        return Fail(QStringLiteral("%1 is not a regular file.").arg(shown));

    // The end of the file says whether the last line is whole.
    QByteArray end(qsizetype(std::min<off_t>(info.st_size, kTailWindow)), Qt::Uninitialized);
    if (!end.isEmpty() &&
        ::pread(fd, end.data(), size_t(end.size()), info.st_size - end.size()) != end.size())
        return Fail(QStringLiteral("%1 cannot be read: %2.").arg(shown, OsError(errno)));
    const DatalogTailRepair repair = RepairDatalogTail(end, info.st_size);
    const off_t size = off_t(repair.keep);
    if (size != info.st_size && ::ftruncate(fd, size) != 0) {
        return Fail(QStringLiteral("%1 ends in a torn row that could not be cut off: %2.")
                        .arg(shown, OsError(errno)));
    }

    // One write() of everything: another reader, a kill or a full disk sees
    // the file either without the row or with all of it (or, from a kill
    // inside the write, with a torn tail that the next append cuts off).
    const QByteArray bytes = size == 0 ? DatalogHeader() + row : repair.lineEnd + row;
    ssize_t written;
    do {
        written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    if (written == bytes.size())
        return {};

    const int error = errno;
    if (written > 0 && ::ftruncate(fd, size) != 0) {
        return Fail(QStringLiteral("%1: only %2 of the row's %3 bytes could be written, and "
                                   "they could not be taken back: %4.")
                        .arg(shown)
                        .arg(written)
                        .arg(bytes.size())
                        .arg(OsError(errno)));
    }
    const QString why = written < 0 ? OsError(error)
                                    : QStringLiteral("only %1 of its %2 bytes could be written")
                                          .arg(written)
                                          .arg(bytes.size());
    return Fail(QStringLiteral("The row could not be added to %1: %2.").arg(shown, why));
}

} // namespace

Result<> AppendDatalogRow(const QString &baseName, const QDateTime &when, int module,
                          const ReadingTexts &texts)
{
    return AppendToFile(DatalogFileName(baseName, when.date()),
                        FormatDatalogRow(when.time(), module, texts));
}

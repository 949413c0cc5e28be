#include "metering/datalogfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>

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
    return qt_error_string(error);
}

// Cuts a torn last line (one that a crash stopped before its '\n') off the
// file of size bytes. Returns the new size, or -1 with errno set.
off_t CutTornLastLine(int fd, off_t size)
{
    char last = '\n';
    if (size == 0 || ::pread(fd, &last, 1, size - 1) != 1)
        return size == 0 ? 0 : -1;
    if (last == '\n')
        return size;
    // Look back for the end of the last whole line; rows are short, so one
    // block nearly always finds it.
    char block[4096];
    off_t end = size;
    while (end > 0) {
        const off_t start = end > off_t(sizeof block) ? end - off_t(sizeof block) : 0;
        const ssize_t got = ::pread(fd, block, size_t(end - start), start);
        if (got != ssize_t(end - start))
            return -1;
        for (ssize_t i = got - 1; i >= 0; --i) {
            if (block[i] == '\n')
                return ::ftruncate(fd, start + i + 1) == 0 ? start + i + 1 : -1;
        }
        end = start;
    }
    return ::ftruncate(fd, 0) == 0 ? 0 : -1;
}

Result<> AppendToFile(const QString &path, const QByteArray &row)
{
    const QString shown = QDir::toNativeSeparators(path);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
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
    const off_t size = CutTornLastLine(fd, info.st_size);
    if (size < 0) {
        return Fail(QStringLiteral("%1 ends in a torn row that could not be cut off: %2.")
                        .arg(shown, OsError(errno)));
    }

    // One write() of everything: another reader, a kill or a full disk sees
    // the file either without the row or with all of it (or, from a kill
    // inside the write, with a torn tail that the next append cuts off).
    const QByteArray bytes = size == 0 ? DatalogHeader() + row : row;
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

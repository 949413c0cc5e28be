#include "metering/datalogfile.h"

#include "metering/appendwhole.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
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

// What to write before the row so that it starts on a line of its own: the
// header for an empty file, the missing line end after an unfinished last
// line. Nothing of the file's is taken back.
Result<QByteArray> LeadBeforeRow(int fd, off_t size, const QString &shown)
{
    if (size == 0)
        return DatalogHeader();
    char last = 0;
    if (::pread(fd, &last, 1, size - 1) != 1)
        return Fail(QStringLiteral("%1 cannot be read: %2.").arg(shown, OsError(errno)));
    if (last == '\n')
        return QByteArray();
    return last == '\r' ? QByteArray("\n") : QByteArray("\r\n");
}

// What went wrong with an append that did not put the whole row down.
Result<> AppendFailure(const WholeAppend &append, qsizetype wanted, const QString &shown)
{
    if (append.written <= 0) {
        const QString why =
            append.written < 0 ? OsError(append.writeError) : QStringLiteral("nothing was written");
        return Fail(QStringLiteral("The row could not be added to %1: %2.").arg(shown, why));
    }
    const QString lost = QStringLiteral("The row could not be added to %1: only %2 of its %3 bytes "
                                        "could be written")
                             .arg(shown)
                             .arg(append.written)
                             .arg(wanted);
    switch (append.rest) {
    case WholeAppend::Rest::LeftInFile:
        return Fail(lost + QStringLiteral(", and they were left in the file."));
    case WholeAppend::Rest::CannotTakeBack:
        return Fail(lost + QStringLiteral(", and they could not be taken back: %1.")
                               .arg(OsError(append.truncateError)));
    default:
        return Fail(lost + QLatin1Char('.'));
    }
}

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

    const Result<QByteArray> lead = LeadBeforeRow(fd, info.st_size, shown);
    if (!lead)
        return Fail(lead.error());

    // One write() of everything: another reader, a kill or a full disk sees
    // the file either without the row or with all of it.
    const QByteArray bytes = *lead + row;
    const WholeAppend append = AppendWhole(fd, bytes);
    if (append.whole(bytes))
        return {};
    return AppendFailure(append, bytes.size(), shown);
}

} // namespace

Result<> AppendDatalogRow(const QString &baseName, const QDateTime &when, int module,
                          const ReadingTexts &texts)
{
    return AppendToFile(DatalogFileName(baseName, when.date()),
                        FormatDatalogRow(when.time(), module, texts));
}

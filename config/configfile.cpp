#include "config/configfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kHeaderOffset = 0;
constexpr int kPeriodOffset = 6;
constexpr int kBlocksOffset = 7;
constexpr int kTrailerOffset = kBlocksOffset + kModuleCount * kInputCount; // 511
constexpr int kMarkLength = 6;
constexpr int kHighestCode = k4to20mA;

static_assert(kTrailerOffset == 511);
static_assert(kTrailerOffset + kMarkLength == kConfigFileMinSize);

// Header and trailer are the same six bytes 0 1 2 3 4 5.
bool HasMark(QByteArrayView bytes, int offset)
{
    for (int i = 0; i < kMarkLength; ++i) {
        if (static_cast<unsigned char>(bytes[offset + i]) != i)
            return false;
    }
    return true;
}

void PutMark(QByteArray &bytes, int offset)
{
    for (int i = 0; i < kMarkLength; ++i)
        bytes[offset + i] = static_cast<char>(i);
}

int BlockOffset(int m, int k)
{
    return kBlocksOffset + kInputCount * (m - 1) + (k - 1);
}

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString OsError(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

struct FileCloser
{
    int fd;
    ~FileCloser() { ::close(fd); }
};

} // namespace

QByteArray BuildConfigImage(const ModuleTable &table, int period)
{
    QByteArray bytes(kConfigFileSize, '\0');
    PutMark(bytes, kHeaderOffset);
    bytes[kPeriodOffset] = static_cast<char>(period & 0xFF);
    for (int m = 1; m <= kModuleCount; ++m) {
        const bool visible = table.group_state[ModuleTable::GroupOf(m)] == kMarkOn &&
                             table.module_state[m] == kMarkOn;
        if (!visible)
            continue;
        for (int k = 1; k <= kInputCount; ++k) {
            const int code = table.input_type[k][m];
            bytes[BlockOffset(m, k)] =
                static_cast<char>(code >= 0 && code <= kHighestCode ? code : 0);
        }
    }
    PutMark(bytes, kTrailerOffset);
    return bytes;
}

Result<ConfigImage> ParseConfigImage(QByteArrayView bytes, const QString &fileName)
{
    if (bytes.size() < kConfigFileMinSize) {
        return Fail(QStringLiteral("%1 is %2 bytes long; a configuration file has at least %3.")
                        .arg(fileName)
                        .arg(bytes.size())
                        .arg(kConfigFileMinSize));
    }
    if (!HasMark(bytes, kHeaderOffset)) {
        return Fail(QStringLiteral("%1 is not a configuration file: it does not begin with "
                                   "the bytes 0 1 2 3 4 5.")
                        .arg(fileName));
    }
    ConfigImage image;
    image.period = static_cast<unsigned char>(bytes[kPeriodOffset]);
    for (int m = 1; m <= kModuleCount; ++m) {
        for (int k = 1; k <= kInputCount; ++k) {
            const int code = static_cast<unsigned char>(bytes[BlockOffset(m, k)]);
            if (code > kHighestCode) {
                return Fail(QStringLiteral("%1: input %2 of module %3 has the type code %4; "
                                           "the codes run from 0 to %5.")
                                .arg(fileName)
                                .arg(k)
                                .arg(m)
                                .arg(code)
                                .arg(kHighestCode));
            }
            image.input_type[k][m] = code;
        }
    }
    if (!HasMark(bytes, kTrailerOffset)) {
        return Fail(QStringLiteral("%1 is damaged: the bytes 0 1 2 3 4 5 that end the module "
                                   "blocks are not at offset %2.")
                        .arg(fileName)
                        .arg(kTrailerOffset));
    }
    return image;
}

void ApplyConfigImage(const ConfigImage &image, ModuleTable &table)
{
    for (int g = 1; g <= kGroupCount; ++g)
        table.group_state[g] = kMarkOff;
    for (int m = 1; m <= kModuleCount; ++m) {
        for (int k = 1; k <= kInputCount; ++k)
            table.input_type[k][m] = image.input_type[k][m];
        table.module_state[m] = kMarkOff;
        if (table.HasInputInUse(m)) {
            table.module_state[m] = kMarkOn;
            table.group_state[ModuleTable::GroupOf(m)] = kMarkOn;
        }
    }
}

Result<QByteArray> ReadConfigFile(const QString &path)
{
    // Opened without blocking, and read only when it is a regular file: a
    // FIFO of that name would otherwise hold the start-up in open() for good,
    // with the single-instance lock taken.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Fail(QStringLiteral("%1 cannot be opened: %2.").arg(Shown(path), OsError(errno)));
    const FileCloser closer{fd};
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return Fail(QStringLiteral("%1 cannot be read: %2.").arg(Shown(path), OsError(errno)));
    if (!S_ISREG(info.st_mode))
        return Fail(
            QStringLiteral("%1 cannot be opened: it is not a regular file.").arg(Shown(path)));

    // Never more than the image: a huge file of the wrong kind costs nothing.
    QByteArray bytes(kConfigFileSize, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(QStringLiteral("%1 cannot be read: %2.").arg(Shown(path), OsError(errno)));
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

namespace {

// Writes bytes over the existing regular file at path, in place: the way to
// save into a folder where no new file can be made (a shared configuration
// folder that only lets its files be changed). The file is not truncated
// before the write, so a write that stops short leaves the old bytes after
// the new ones rather than nothing; it is truncated to the image's size only
// once the whole image is in.
Result<> OverwriteInPlace(const QString &path, const QByteArray &bytes, const QString &failedWhy)
{
    const auto failure = [&](const QString &why) {
        return Fail(QStringLiteral("%1 could not be saved: %2.").arg(Shown(path), why));
    };
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return failure(failedWhy);
    const FileCloser closer{fd};
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return failure(failedWhy);
    qsizetype put = 0;
    while (put < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + put, size_t(bytes.size() - put), put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            return failure(QStringLiteral("only %1 of its %2 bytes could be written (%3); the "
                                          "file is damaged and must be saved again")
                               .arg(put)
                               .arg(bytes.size())
                               .arg(n < 0 ? OsError(errno) : QStringLiteral("no room")));
        }
        put += n;
    }
    if (::ftruncate(fd, bytes.size()) != 0 || ::fsync(fd) != 0)
        return failure(OsError(errno));
    return {};
}

} // namespace

namespace {

// A save writes its new image into a file of this name beside the old one
// and renames it over the old one: "<file>.kelvora-XXXXXX", the X's random
// letters and digits. The mark says whose it is, so that a file a kill left
// behind between the two steps can be told from the user's own files (a
// backup called "rtd.cfg.backup" is no leftover) and removed by the next
// save of the same file.
constexpr QLatin1StringView kSaveMark(".kelvora-");
constexpr int kSaveRandomLength = 6;

bool IsSaveLeftoverName(const QString &name, const QString &target)
{
    if (name.size() != target.size() + kSaveMark.size() + kSaveRandomLength ||
        !name.startsWith(target) || !QStringView(name).mid(target.size()).startsWith(kSaveMark))
        return false;
    for (const QChar c : QStringView(name).right(kSaveRandomLength)) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    }
    return true;
}

// Removes what earlier saves of path left behind: files named as a save's
// new image of path, regular, this user's own and no longer than an image.
// Anything else of a like name is somebody's and stays.
void RemoveSaveLeftovers(const QString &path)
{
    const QFileInfo target(path);
    const QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList({target.fileName() + kSaveMark + QLatin1Char('*')},
                                               QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!IsSaveLeftoverName(name, target.fileName()))
            continue;
        const QByteArray leftover = QFile::encodeName(folder.filePath(name));
        struct stat info
        {
        };
        if (::lstat(leftover.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && info.st_size <= kConfigFileSize)
            ::unlink(leftover.constData());
    }
}

// Writes all of bytes to fd; the count written.
qsizetype WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype put = 0;
    while (put < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + put, size_t(bytes.size() - put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        put += n;
    }
    return put;
}

} // namespace

Result<> WriteConfigFile(const QString &path, const QByteArray &bytes)
{
    // The new image goes into a file of its own beside the old one, is synced,
    // and then renamed over the old one, so a crash, a kill or a full disk at
    // any moment leaves the old file or the new one, never a cut one. The
    // count of every write is checked: a file system that is full after 100
    // of 550 bytes must not see the 100 bytes renamed over the old image.
    // A symbolic link is followed: the file it names is replaced, the link
    // stays.
    QFileInfo target(path);
    const QString finalPath =
        target.isSymLink() && target.exists() ? target.canonicalFilePath() : path;
    target = QFileInfo(finalPath);
    const auto failure = [&](const QString &why) {
        return Fail(QFileInfo(path).isFile()
                        ? QStringLiteral("%1 could not be saved: %2. The file that was there "
                                         "is unchanged.")
                              .arg(Shown(path), why)
                        : QStringLiteral("%1 could not be saved: %2.").arg(Shown(path), why));
    };
    const QByteArray finalName = QFile::encodeName(finalPath);
    struct stat old
    {
    };
    const bool exists = ::stat(finalName.constData(), &old) == 0;
    if (exists && S_ISREG(old.st_mode) && ::access(finalName.constData(), W_OK) != 0)
        return failure(OsError(errno));

    QByteArray temporary = finalName + kSaveMark.data() + QByteArray(kSaveRandomLength, 'X');
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const QString why = OsError(errno);
        // No new file can be made next to it (the folder is not writable),
        // but the file itself may be: then it is overwritten in place, as a
        // plain save always could.
        if (target.isFile() && target.isWritable() && !QFileInfo(target.path()).isWritable())
            return OverwriteInPlace(finalPath, bytes, why);
        return failure(why);
    }
    const auto abandon = [&](const QString &why) {
        ::close(fd);
        ::unlink(temporary.constData());
        return failure(why);
    };
    // The permissions of the file it replaces, else those a new file gets.
    mode_t mode = 0666;
    if (exists && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return abandon(OsError(errno));
    const qsizetype written = WriteAll(fd, bytes);
    if (written != bytes.size()) {
        const int error = errno;
        return abandon(written > 0 || error == 0
                           ? QStringLiteral("only %1 of its %2 bytes could be written")
                                 .arg(written)
                                 .arg(bytes.size())
                           : OsError(error));
    }
    if (::fsync(fd) != 0)
        return abandon(OsError(errno));
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return failure(OsError(error));
    }
    if (::rename(temporary.constData(), finalName.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return failure(OsError(error));
    }
    // The rename itself reaches the disk with the folder.
    if (const int folder = ::open(QFile::encodeName(target.absolutePath()).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    RemoveSaveLeftovers(finalPath);
    return {};
}

#include "metering/appendwhole.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

WholeAppend AppendWhole(int fd, const QByteArray &bytes)
{
    WholeAppend result;
    do {
        result.written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    } while (result.written < 0 && errno == EINTR);
    if (result.written < 0)
        result.writeError = errno;
    if (result.written <= 0 || result.written == bytes.size())
        return result;

    // With O_APPEND the bytes written end where the file offset now stands,
    // so they began `written` bytes before it; they are cut off only while
    // they are still the end of the file, since a byte after them is
    // somebody else's.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat info
    {
    };
    if (end < off_t(result.written) || ::fstat(fd, &info) != 0 || info.st_size != end) {
        result.rest = WholeAppend::Rest::LeftInFile;
    } else if (::ftruncate(fd, end - off_t(result.written)) != 0) {
        result.rest = WholeAppend::Rest::CannotTakeBack;
        result.truncateError = errno;
    } else {
        result.rest = WholeAppend::Rest::TakenBack;
    }
    return result;
}

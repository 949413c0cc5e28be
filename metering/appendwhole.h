#pragma once

#include <QByteArray>

#include <sys/types.h>

// What became of one AppendWhole.
struct WholeAppend
{
    enum class Rest
    {
        None,           // every byte went out, or none did
        TakenBack,      // a short write's bytes were cut off again
        LeftInFile,     // they were not the end of the file any more, so they stay
        CannotTakeBack, // cutting them off failed (truncateError)
    };
    ssize_t written = 0; // -1 when write() failed (writeError)
    int writeError = 0;
    Rest rest = Rest::None;
    int truncateError = 0;

    bool whole(const QByteArray &bytes) const { return written == bytes.size(); }
};

// Appends bytes to the file fd, opened with O_APPEND, in one write(), so that
// no other writer's bytes come between its parts and a kill lands before or
// after it. (The kernel copies a write into the file a page at a time and
// heeds a kill only between pages: bytes that straddle a page boundary are
// the ones a kill in that instant could cut.) When that write comes back
// short (disk full, file-size limit), the bytes it did put down are this
// call's own and are taken back: the file is cut to where the write began,
// unless somebody has appended after them meanwhile. A write interrupted by
// a signal before it wrote anything is tried again.
WholeAppend AppendWhole(int fd, const QByteArray &bytes);

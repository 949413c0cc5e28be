// Child process of tst_diskqueuekill: appends messages to a disk queue in a
// loop until it is killed, as the metering cycle does, and like the
// publisher peeks, acknowledges and syncs every so often. Usage:
// diskqueuekillchild <folder>. Prints "ready" once its first message is in,
// so the parent kills it while it works, not while it starts.
//
// The payload of message n is "message n" and a run of '#' of a length that
// follows from n, so the parent can tell each message whole and in its place.

#include "publish/diskqueue.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: diskqueuekillchild <folder>\n");
        return 2;
    }
    Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(QString::fromLocal8Bit(argv[1]));
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    DiskQueue &queue = **opened;
    queue.SetLimitBytes(256 * 1024); // segments of 32 KB, some dropped
    for (long i = 0;; ++i) {
        const quint64 seq = queue.LastSeq() + 1;
        const QByteArray payload =
            QByteArray("message ") + QByteArray::number(seq) + QByteArray(int(seq % 301), '#');
        const Result<quint64> appended = queue.Append("kelvora/kill", payload);
        if (!appended || *appended != seq) {
            std::fprintf(stderr, "append: %s\n", qPrintable(appended.error()));
            return 1;
        }
        if (i == 0) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
        if (i % 40 == 39) {
            const Result<QList<QueuedMessage>> batch = queue.Peek(30);
            if (batch && !batch->isEmpty())
                queue.Acknowledge(batch->last().seq);
        }
        if (i % 100 == 99) {
            const Result<> synced = queue.Sync();
            if (!synced) {
                std::fprintf(stderr, "sync: %s\n", qPrintable(synced.error()));
                return 1;
            }
        }
    }
}

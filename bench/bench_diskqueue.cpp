// Cost of the publishing queue (publish/diskqueue.h) in a temporary folder
// on the machine's disk. CPU time includes the kernel's share (the write()
// and the fdatasync calls); wall time shows how long a Sync waits for the
// disk, which never happens on the window's thread.
//
// - Append: what the metering cycle pays per message (one framed record,
//   one write() into the page cache under the queue's lock).
// - Append, Sync every 80: the policy (800 messages a second, the publisher
//   syncing every 100 ms), per message.
// - Append, Sync each: the cost of making every message durable at once,
//   which the queue does not do.
// - Peek 100 + Acknowledge: the publisher's side, per batch of 100.

#include "publish/diskqueue.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A reading as the publisher will send it: about 120 bytes of JSON.
const QByteArray kTopic = "kelvora/module/17/readings";
const QByteArray kPayload = R"({"t":"2026-12-11T12:00:00.250Z","module":17,"readings":)"
                            R"([23.5,23.6,null,"Op","Sh",-40.0,209.9,12.0]})";

std::unique_ptr<DiskQueue> BenchQueue(const QTemporaryDir &dir, benchmark::State &state)
{
    Result<std::unique_ptr<DiskQueue>> opened = DiskQueue::Open(dir.filePath(QStringLiteral("q")));
    if (!opened) {
        state.SkipWithError(qPrintable(opened.error()));
        return nullptr;
    }
    return std::move(*opened);
}

void AppendWithSyncEvery(benchmark::State &state)
{
    const long every = long(state.range(0));
    QTemporaryDir dir(QStringLiteral("/var/tmp/kelvora-bench-XXXXXX"));
    auto queue = BenchQueue(dir, state);
    if (!queue)
        return;
    long n = 0;
    for (auto _ : state) {
        const Result<quint64> appended = queue->Append(kTopic, kPayload);
        if (!appended) {
            state.SkipWithError(qPrintable(appended.error()));
            break;
        }
        if (every > 0 && ++n % every == 0) {
            queue->Acknowledge(*appended);
            if (!queue->Sync().ok()) {
                state.SkipWithError("Sync failed");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DiskQueueAppend(benchmark::State &state)
{
    AppendWithSyncEvery(state);
}

void BM_DiskQueuePeekAcknowledge(benchmark::State &state)
{
    constexpr int kBatch = 100;
    constexpr int kFill = 100000;
    QTemporaryDir dir(QStringLiteral("/var/tmp/kelvora-bench-XXXXXX"));
    auto queue = BenchQueue(dir, state);
    if (!queue)
        return;
    for (auto _ : state) {
        if (queue->Waiting() < kBatch) {
            state.PauseTiming();
            for (int i = 0; i < kFill; ++i)
                (void)queue->Append(kTopic, kPayload);
            state.ResumeTiming();
        }
        const Result<QList<QueuedMessage>> batch = queue->Peek(kBatch);
        if (!batch || batch->size() != kBatch) {
            state.SkipWithError("Peek failed");
            break;
        }
        queue->Acknowledge(batch->last().seq);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

} // namespace

BENCHMARK(BM_DiskQueueAppend)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiskQueueAppend)
    ->Name("BM_DiskQueueAppendSyncEvery80")
    ->Arg(80)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiskQueueAppend)
    ->Name("BM_DiskQueueAppendSyncEach")
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiskQueuePeekAcknowledge)->Unit(benchmark::kMicrosecond);

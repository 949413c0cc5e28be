// CPU cost of one datalog row: formatting alone, and the whole row as the
// metering cycle writes it (day's file name, open, last-byte check, one
// append, close) into a file in a temporary folder. CPU time includes the
// kernel's share (the file system calls).

#include "metering/datalogfile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const ReadingTexts kTexts = {QStringLiteral("23.5"),  QStringLiteral("----"),
                             QStringLiteral("Op"),    QStringLiteral("Sh"),
                             QStringLiteral("ERROR"), QStringLiteral("-40.0"),
                             QStringLiteral("209.9"), QStringLiteral("12.0")};

void BM_DatalogRowFormat(benchmark::State &state)
{
    const QTime time(14, 3, 7);
    for (auto _ : state) {
        QByteArray row = FormatDatalogRow(time, 40, kTexts);
        benchmark::DoNotOptimize(row.data());
    }
}

void BM_DatalogRowAppend(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("bench"));
    QDateTime when(QDate(2024, 3, 14), QTime(8, 0, 0));
    for (auto _ : state) {
        const Result<> added = AppendDatalogRow(base, when, 40, kTexts);
        if (!added) {
            state.SkipWithError(qPrintable(added.error()));
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * FormatDatalogRow(when.time(), 40, kTexts).size());
}

} // namespace

BENCHMARK(BM_DatalogRowFormat)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_DatalogRowAppend)->Unit(benchmark::kMicrosecond);

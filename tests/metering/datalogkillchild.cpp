// Child process of tst_datalogkill: appends datalog rows in a loop until it is
// killed. Usage: datalogkillchild <base name>. Prints "ready" once its first
// row is in, so the parent kills it while it is appending, not while it is
// starting up.
//
// Every append ends on a multiple of 128 bytes (the last reading is a run of
// nines as long as that takes), so no append crosses a page boundary of the
// file. The kernel copies one write() into a file a page at a time and heeds
// a kill only between pages; with the pages out of the way, a row the kill
// test finds cut was cut between two write() calls of one row.

#include "metering/datalogfile.h"

#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: datalogkillchild <base name>\n");
        return 2;
    }
    constexpr qint64 kSlot = 128;
    const QString base = QString::fromLocal8Bit(argv[1]);
    const QString texts[] = {QStringLiteral("23.5"),  QStringLiteral("----"),  QStringLiteral("Op"),
                             QStringLiteral("Sh"),    QStringLiteral("ERROR"), QString(),
                             QStringLiteral("-40.0"), QStringLiteral("209.9")};
    QDateTime when(QDate(2024, 3, 14), QTime(8, 0, 0));
    const QString path = DatalogFileName(base, when.date());
    for (long i = 0;; ++i) {
        const int module = int(i % 63) + 1;
        ReadingTexts row;
        for (size_t k = 0; k + 1 < row.size(); ++k)
            row[k] = texts[(size_t(i) + k) % std::size(texts)];
        row.back() = QString(6, QLatin1Char('9'));
        const qint64 size = QFileInfo(path).size();
        const qint64 end = size + (size == 0 ? DatalogHeader().size() : 0) +
                           FormatDatalogRow(when.time(), module, row).size();
        row.back() += QString((kSlot - end % kSlot) % kSlot, QLatin1Char('9'));

        const Result<> added = AppendDatalogRow(base, when, module, row);
        if (!added) {
            std::fprintf(stderr, "%s\n", qPrintable(added.error()));
            return 1;
        }
        if (i == 0) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
        when = when.addSecs(1);
        // Stay on one day: the file name must not change under the test.
        if (when.time() == QTime(23, 59, 59))
            when = QDateTime(QDate(2024, 3, 14), QTime(8, 0, 0));
    }
}

// Child process of tst_datalogkill: appends datalog rows in a loop until it is
// killed. Usage: datalogkillchild <base name>. Prints "ready" once its first
// row is in, so the parent kills it while it is appending, not while it is
// starting up.

#include "metering/datalogfile.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: datalogkillchild <base name>\n");
        return 2;
    }
    const QString base = QString::fromLocal8Bit(argv[1]);
    // A text longer than a page now and then makes a write() span page
    // boundaries, where a kill can cut it.
    const QString longText(5000, QLatin1Char('9'));
    const QString texts[] = {QStringLiteral("23.5"),  QStringLiteral("----"),  QStringLiteral("Op"),
                             QStringLiteral("Sh"),    QStringLiteral("ERROR"), QString(),
                             QStringLiteral("-40.0"), QStringLiteral("209.9")};
    QDateTime when(QDate(2024, 3, 14), QTime(8, 0, 0));
    for (long i = 0;; ++i) {
        ReadingTexts row;
        for (size_t k = 0; k < row.size(); ++k)
            row[k] = texts[(size_t(i) + k) % std::size(texts)];
        if (i % 16 == 15)
            row[size_t(i) % row.size()] = longText;
        const Result<> added = AppendDatalogRow(base, when, int(i % 63) + 1, row);
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

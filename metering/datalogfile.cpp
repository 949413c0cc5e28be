#include "metering/datalogfile.h"

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

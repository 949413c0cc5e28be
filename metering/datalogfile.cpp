#include "metering/datalogfile.h"

QString DatalogFileName(const QString &baseName, const QDate &date)
{
    return QStringLiteral("%1_%2%3.csv")
        .arg(baseName)
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
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

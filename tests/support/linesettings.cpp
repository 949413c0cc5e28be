#include "support/linesettings.h"

#include <QStringList>

#include <termios.h>

namespace {

int BaudOf(speed_t speed)
{
    struct Rate
    {
        speed_t speed;
        int baud;
    };
    static constexpr Rate kRates[] = {
        {B0, 0},         {B300, 300},     {B600, 600},       {B1200, 1200},
        {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    for (const Rate &rate : kRates) {
        if (rate.speed == speed)
            return rate.baud;
    }
    return -1;
}

int DataBits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

QChar ParityLetter(tcflag_t cflag)
{
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? QLatin1Char('M') : QLatin1Char('S');
    if (cflag & PARENB)
        return (cflag & PARODD) ? QLatin1Char('O') : QLatin1Char('E');
    return QLatin1Char('N');
}

} // namespace

QString LineSettings(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return {};
    QStringList words;
    const int out = BaudOf(::cfgetospeed(&tio));
    const int in = BaudOf(::cfgetispeed(&tio));
    words << (in == out || in == 0 ? QString::number(out)
                                   : QStringLiteral("%1/%2").arg(out).arg(in));
    words << QString::number(DataBits(tio.c_cflag)) + ParityLetter(tio.c_cflag) +
                 QString::number((tio.c_cflag & CSTOPB) ? 2 : 1);
    if (tio.c_cflag & CRTSCTS)
        words << QStringLiteral("rtscts");
    if (tio.c_iflag & (IXON | IXOFF))
        words << QStringLiteral("xonxoff");
    const bool raw = !(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(tio.c_oflag & OPOST) &&
                     tio.c_cc[VMIN] == 0 && tio.c_cc[VTIME] == 0;
    if (raw)
        words << QStringLiteral("raw");
    return words.join(QLatin1Char(' '));
}

#include "support/ser2net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <QList>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kProgram[] = "/usr/sbin/ser2net";

// Whether something listens on 127.0.0.1:port, as the kernel's table of
// TCP sockets says; read rather than tried, since a connection would make
// ser2net open its device and close it again just before the test's own.
bool Listening(int port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // "  0: 0100007F:9C41 00000000:0000 0A ...": local address, remote, state
    // (0A: LISTEN).
    const QByteArray local =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}

} // namespace

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

Ser2net::Ser2net(const QString &device) : m_device(device)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Ser2net::~Ser2net()
{
    Kill();
}

bool Ser2net::Installed()
{
    return QFileInfo(QString::fromLatin1(kProgram)).isExecutable();
}

QString Ser2net::Rfc2217Name() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfc2217Port);
}

QString Ser2net::RawName() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_rawPort);
}

QString Ser2net::Start()
{
    if (!Installed())
        return QStringLiteral("ser2net is not installed (scripts/setup.sh installs it)");
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder for ser2net's configuration");
    if (m_rfc2217Port == 0) {
        m_rfc2217Port = FreeLoopbackPort();
        m_rawPort = FreeLoopbackPort();
        while (m_rawPort == m_rfc2217Port)
            m_rawPort = FreeLoopbackPort();
    }
    // The device's own settings; ser2net opens it when a client connects and
    // closes it when the last one leaves.
    const QString connector = QStringLiteral("serialdev,%1,19200n81,local").arg(m_device);
    const QString config = QStringLiteral("connection: &rfc2217\n"
                                          "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                          "  connector: %3\n"
                                          "  options:\n"
                                          "    max-connections: 2\n"
                                          "connection: &raw\n"
                                          "  accepter: tcp,127.0.0.1,%2\n"
                                          "  connector: %3\n"
                                          "  options:\n"
                                          "    max-connections: 2\n")
                               .arg(m_rfc2217Port)
                               .arg(m_rawPort)
                               .arg(connector);
    const QString configPath = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(config.toUtf8()) != config.toUtf8().size())
        return QStringLiteral("cannot write %1").arg(configPath);
    file.close();

    // -n: stay in the foreground; -d: no daemon, log to standard error; -u:
    // no UUCP lock file, which a ser2net killed by a test would leave in
    // /run/lock for every pty; -P: a pid file of its own, not the system's.
    m_process.start(QString::fromLatin1(kProgram),
                    {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                     QStringLiteral("-c"), configPath, QStringLiteral("-P"),
                     m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000))
        return QStringLiteral("ser2net did not start: ") + m_process.errorString();
    const QDeadlineTimer deadline(10000);
    while (!(Listening(m_rfc2217Port) && Listening(m_rawPort))) {
        if (m_process.state() != QProcess::Running || deadline.hasExpired()) {
            m_process.waitForReadyRead(100);
            return QStringLiteral("ser2net does not listen: ") +
                   QString::fromLocal8Bit(m_process.readAll());
        }
        QThread::msleep(10);
    }
    return {};
}

void Ser2net::Kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

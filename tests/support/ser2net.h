#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The real serial device server of Debian (ser2net) in front of a device,
// for tests: a child process on 127.0.0.1 serving the device at two free
// ports, one as an RFC 2217 server (telnet(rfc2217)) and one raw, each
// taking up to two connections. Kill() and Start() again stop it as a crash
// or a power cut would and bring it back on the same ports.
class Ser2net
{
public:
    // device: the path ser2net opens (a pty's link will do).
    explicit Ser2net(const QString &device);
    // Kills the child if it still runs.
    ~Ser2net();
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Whether the program is installed at all.
    static bool Installed();

    // Starts the child and waits until both ports take connections; why
    // not, else empty.
    QString Start();
    // SIGKILL, and waits for the child to end; its ports refuse from then.
    void Kill();

    int Rfc2217Port() const { return m_rfc2217Port; }
    int RawPort() const { return m_rawPort; }
    QString Rfc2217Name() const;
    QString RawName() const;

private:
    QTemporaryDir m_dir;
    QString m_device;
    QProcess m_process;
    int m_rfc2217Port = 0;
    int m_rawPort = 0;
};

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
int FreeLoopbackPort();

#pragma once

#include "link/serialline.h"

#include <QStringList>

#include <chrono>

// The time a port's write time-out runs on: the monotonic clock, and the
// waits for the line to take more output. Every port uses the system's
// unless given another; a test gives its own to see how long a write would
// wait before it gives up, without waiting that long.
class PortClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PortClock() = default;
    virtual TimePoint Now();
    // Waits at most ms for fd to take more output, as poll() with POLLOUT
    // does: above 0 when fd is ready (revents says how), 0 when the time is
    // up, below 0 on an error (errno).
    virtual int WaitWritable(int fd, int ms, short &revents);
    // Waits ms before the next look at the output queue.
    virtual void Sleep(int ms);

    static PortClock &System();
};

// A serial port of the system, driven through POSIX termios.
//
// Open uses open(O_RDWR | O_NOCTTY | O_NONBLOCK), takes the port for
// exclusive use with TIOCEXCL and flock(LOCK_EX | LOCK_NB) on the descriptor
// (root ignores TIOCEXCL, so the flock is what keeps a second program out,
// even one running as root), and sets raw 8-bit characters, one stop bit, no
// flow control, VMIN = VTIME = 0 and DTR and RTS held off. Mark parity is
// PARENB | CMSPAR | PARODD, space parity PARENB | CMSPAR; a change of the line
// settings while open waits for the output to drain first. The buffer sizes of
// other systems (1024 bytes each way) have no counterpart here: the kernel's
// tty buffers are larger.
//
// A port name without '/' names a device under /dev ("ttyS0", "ttyUSB0"); a
// name with '/' ("/dev/pts/3", a symlink) is opened as given.
//
// Why the last Open failed stays with the port (LastOpenError), for a window
// that tells the user in words after its bus work, where the exchanges
// themselves only succeed or fail.
class TComPort : public SerialLine
{
public:
    TComPort() = default;
    ~TComPort() override;

    QString Port() const override { return m_port; }
    void SetPort(const QString &name) override;

    void Open() override;
    void Close() override;
    bool Connected() const override { return m_fd >= 0; }

    void Purge(bool input, bool output) override;
    int PendingOutput() override;
    int Write(const uint8_t *bytes, int count) override;
    int ReadAvailable(QByteArray &text, int count) override;

    int BaudRate() const override { return m_baud; }
    void SetBaudRate(int baud) override;
    ParityBits Parity() const override { return m_parity; }
    void SetParity(ParityBits parity) override;

    // The system's error number (errno) of the last Open that failed: ENOENT
    // for a port that is not there, EACCES for one the user may not open,
    // EBUSY or EWOULDBLOCK for one another program holds, ENOTTY for a path
    // that is no terminal. 0 once an Open succeeds, and for a port name that
    // has not been tried since it was set (SetPort to another name).
    int LastOpenError() const { return m_lastOpenError; }

    // The descriptor while open, else -1; for tests that look at the line.
    int Handle() const { return m_fd; }

    // The clock of the write time-out; null for the system's. The port does
    // not own it.
    void SetClock(PortClock *clock) { m_clock = clock ? clock : &PortClock::System(); }

    // The path that Open uses for a port name.
    static QString DevicePath(const QString &name);

private:
    void OpenPort();
    void ApplySettings(bool drainFirst);
    void RequireOpen(const char *operation) const;
    int QueuedOutput() const;

    int m_fd = -1;
    PortClock *m_clock = &PortClock::System();
    QString m_port = QStringLiteral("ttyS0");
    int m_baud = 9600;
    ParityBits m_parity = ParityBits::None;
    int m_lastOpenError = 0;
};

// Where ports are found under names of their own, besides the system's list
// of serial ports.
struct SerialPortFolders
{
    // udev's stable names of USB adapters: one link per adapter, named after
    // its maker, model and serial number, leading to whatever ttyUSB or ttyACM
    // number the adapter got this time. The number changes when the adapter
    // is plugged in again, or another one is plugged in first; the name does
    // not.
    QString byId = QStringLiteral("/dev/serial/by-id");
    // Folders where a running bus simulator publishes its pseudo-terminal as a
    // link (kelvora-sim's is /tmp/kelvora-sim/ttyKELV0 unless told otherwise).
    QStringList simulators = {QStringLiteral("/tmp/kelvora-sim")};
};

// The ports a user may choose from, sorted as SortPortNames sorts them:
// - kernelNames as they are ("ttyS0", "ttyUSB0");
// - every entry of folders.byId that leads to a character device, as a full
//   path ("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K2SNP-if00-port0");
// - every link in folders.simulators that leads to a pseudo-terminal that
//   exists (under /dev/pts), as a full path ("/tmp/kelvora-sim/ttyKELV0"). A
//   link left behind by a simulator that was killed leads nowhere and is not
//   offered.
// A folder that is missing or cannot be read adds nothing; the rest of the
// list stands.
QStringList CollectSerialPorts(const QStringList &kernelNames,
                               const SerialPortFolders &folders = {});

// Fills list with the ports present: the system's serial ports
// (QSerialPortInfo), the stable names of USB adapters and the links of
// running bus simulators, as CollectSerialPorts gives them.
void ListSerialPorts(QStringList &list);

// Port names sorted as text, character by character, not by the numbers in
// them: ttyS1, ttyS10, ttyS2.
QStringList SortPortNames(QStringList names);

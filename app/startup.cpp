#include "app/startup.h"

#include "app/instancelock.h"
#include "app/taboutbox.h"
#include "app/tmainf.h"
#include "link/exchangetrace.h"

#include <QDialog>
#include <QMessageBox>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <exception>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_terminationPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_terminationPipe[1], &byte, 1);
}

// The session ending, a service manager stopping the program, or Ctrl+C in
// the terminal that started it all send a signal rather than close the
// window. Left to their default, they end the program on the spot, and the
// window's placement and every preference changed since the last save are
// lost. While this object lives, the first SIGTERM, SIGINT or SIGHUP closes
// the window the way its close button does: an open modal dialog or box is
// dismissed as if cancelled, then the window closes, saves and the message
// loop ends. A second signal, should the first close not finish, ends the
// program as the default would (SA_RESETHAND).
//
// The handler only writes a byte into a pipe; the window's thread reads it
// through a socket notifier, so no Qt call runs inside the handler.
class CloseOnTerminationSignals
{
public:
    static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

    explicit CloseOnTerminationSignals(QWidget &window)
    {
        if (::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_terminationPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &window, [&window] {
            char byte = 0;
            while (::read(g_terminationPipe[0], &byte, 1) > 0) {
            }
            // Each dismissed dialog returns to the code that opened it, which
            // may open the next; give up after a few rather than loop.
            for (int i = 0; i < 8; ++i) {
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!dialog)
                    break;
                dialog->done(QDialog::Rejected);
            }
            window.close();
        });
        struct sigaction action = {};
        action.sa_handler = onTerminationSignal;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &action, &m_previous[i]);
    }

    ~CloseOnTerminationSignals()
    {
        if (!m_notifier)
            return;
        for (size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
        m_notifier.reset();
        for (int &fd : g_terminationPipe) {
            ::close(fd);
            fd = -1;
        }
    }

    CloseOnTerminationSignals(const CloseOnTerminationSignals &) = delete;
    CloseOnTerminationSignals &operator=(const CloseOnTerminationSignals &) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, kSignals.size()> m_previous{};
};

} // namespace

KelvoraApplication::KelvoraApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // A file-size limit (ulimit -f, prlimit --fsize) would otherwise kill the
    // program with SIGXFSZ at the first write that crosses it, window and
    // unsaved preferences and all. Ignored, the write fails with EFBIG
    // instead, which the datalog and the file saves handle like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    // The menu bar stays in the window, as the window is drawn, also on
    // desktops that offer a global menu; and the window does not wait at
    // start-up for the session bus to say whether one is offered.
    setAttribute(Qt::AA_DontUseNativeMenuBar);
    setApplicationName(QStringLiteral("Kelvora"));
    // Also on the boxes that come before the main window ("Loading Error").
    setWindowIcon(ProgramIcon());
}

bool KelvoraApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorReport(QString());
    }
    exit(0);
    return false;
}

void ShowErrorReport(const QString &text, QWidget *parent)
{
    QMessageBox::critical(parent, QStringLiteral("Kelvora"), text);
}

bool RefuseSecondInstance(InstanceLock &lock)
{
    if (lock.TryAcquire() != InstanceLock::Result::HeldElsewhere)
        return false; // acquired, or the lock cannot be made: start anyway
    QMessageBox::warning(nullptr, QStringLiteral("Loading Error"),
                         QStringLiteral("There is already an instance of Kelvora running.\n"
                                        "You cannot run more than one instance of Kelvora."));
    return true;
}

int KelvoraMain(KelvoraApplication &app)
{
    InstanceLock lock;
    if (RefuseSecondInstance(lock))
        return 0;
    try {
        TMainF window;
        // KELVORA_TRACE=FILE: every bus attempt as a line of FILE; stopped
        // before the window, whose log it listens to, goes.
        std::unique_ptr<ExchangeTrace> trace;
        if (const QString path = TraceFileFromEnvironment(); !path.isEmpty())
            trace = std::make_unique<ExchangeTrace>(window.bus_log, path);
        CloseOnTerminationSignals closer(window);
        window.show();
        app.exec();
    } catch (const std::exception &error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorReport(QString());
    }
    return 0;
}

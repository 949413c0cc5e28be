#pragma once

#include <QApplication>

class InstanceLock;

// QApplication that turns an exception escaping an event handler into the
// program's error report: a message box with the error's text, then the
// program ends with exit code 0. It also sets up the process: a write past a
// file-size limit fails (EFBIG) rather than killing the program (SIGXFSZ).
class KelvoraApplication : public QApplication
{
public:
    KelvoraApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows the error report for an exception's text (empty for none), over
// parent when one is given. The main window also reports a preferences store
// it cannot write this way.
void ShowErrorReport(const QString &text, QWidget *parent = nullptr);

// When another copy holds the instance lock, shows "Loading Error" and
// returns true: the caller ends with exit code 0 without a window.
bool RefuseSecondInstance(InstanceLock &lock);

// The whole program: single-instance check, main window, message loop.
// While the window runs, SIGTERM, SIGINT and SIGHUP close it as its close
// button does (see CloseOnTerminationSignals in startup.cpp). Returns the
// exit code, which is 0 in every case. With KELVORA_TRACE set, every bus
// attempt is written to that file while the window runs (ExchangeTrace).
int KelvoraMain(KelvoraApplication &app);

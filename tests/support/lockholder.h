#pragma once

// A child process that holds an flock on a file, as another copy of the
// program (the instance lock) or another program on the bus (the guard
// "comport") would; or that holds a terminal with TIOCEXCL, as a terminal
// program does with its serial port (only root may open it then).

#include <QString>

#include <sys/types.h>

class LockHolder
{
public:
    enum class Hold
    {
        Flock,            // open (creating it), flock(LOCK_EX)
        TerminalExclusive // open the terminal read-write, ioctl(TIOCEXCL)
    };

    // Forks the child, which opens path (creating it, mode 0666 less the
    // umask) and waits as long as it takes for flock(LOCK_EX). Returns once
    // the child holds the lock or has given up (locked() false). With holdMs
    // < 0 the child holds until it is killed (or the test process ends);
    // otherwise it lets go after holdMs by exiting with status 0, and says so
    // just before (released()).
    // With Hold::TerminalExclusive the child opens path as a terminal instead
    // and holds it exclusive (locked() false when it cannot).
    explicit LockHolder(const QString &path, int holdMs = -1, Hold hold = Hold::Flock);
    // Kills the child if it still runs.
    ~LockHolder();
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    bool locked() const { return m_locked; }
    // Whether the child has said that it lets go; never waits.
    bool released();
    // Waits for the child to end on its own; its waitpid status.
    int wait();
    // Kills the child (SIGKILL) and reaps it; its waitpid status.
    int kill();

private:
    pid_t m_pid = -1;
    int m_pipe = -1; // the parent's reading end
    bool m_locked = false;
    bool m_released = false;
};

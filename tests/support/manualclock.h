#pragma once

// A port clock that moves only when the port waits, for tests of the write
// time-out. A wait for room on the line looks once, without blocking, and
// when there is none counts the whole wait as passed: a stalled write gives up
// at once, and the clock shows how long it would have waited. Header-only,
// as it needs the core library.

#include "link/tcomport.h"
#include "support/pty.h"

#include <QList>

#include <chrono>

#include <poll.h>

class ManualClock : public PortClock
{
public:
    TimePoint Now() override { return m_start + elapsed; }
    int WaitWritable(int fd, int ms, short &revents) override
    {
        waits.append(ms);
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 0);
        revents = p.revents;
        if (ready == 0)
            elapsed += std::chrono::milliseconds(ms);
        return ready;
    }
    void Sleep(int ms) override { elapsed += std::chrono::milliseconds(ms); }

    // Every wait for room that the port asked for, in ms.
    QList<int> waits;
    std::chrono::milliseconds elapsed{0};

private:
    TimePoint m_start = std::chrono::steady_clock::now();
};

// A port (closed) on a pty whose line takes nothing, on a ManualClock: every
// write on it gives up at once, having waited its time-out on the clock.
struct StalledPort
{
    StalledPort()
    {
        pty.StallOutput();
        port.SetPort(pty.Path());
        port.SetClock(&clock);
    }

    Pty pty;
    ManualClock clock;
    TComPort port;
};

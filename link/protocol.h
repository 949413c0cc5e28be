#pragma once

#include "link/bustarget.h"

#include <cstdint>
#include <functional>

// The guarded, retried front of the Modbus master. Each call takes the
// system-wide guard "comport" (ComportGuard), runs one transaction on
// target.port for target.address with a fresh MBProtocol, releases the guard,
// and tries once more when that transaction failed: at most two transactions,
// so a slave that does not answer costs about 2 x 60 ms. When the first
// attempt heard nothing at all, the second is told so (ExpectLateReply), so
// that a slow slave's answers never spill into the next call; see MBProtocol.
//
// While another program holds the guard the call waits for it, but no longer
// than 120 ms in all, which covers another program's ordinary transaction
// (60 ms, 110 with a late reply waited out): two programs that share the bus
// take turns. A longer hold ends the call with false, as a silent module
// would, and the attempt that waited never touches the line; so the window,
// whose thread makes the call, goes on answering (and a click on STOP is
// taken) instead of waiting for as long as the holder likes. A wait that
// cannot be made at all (the lock file cannot be opened or locked) is not a
// try either, but after three of them the call gives up with false rather
// than block the program.
//
// The window's thread makes these calls, and its window must answer within
// 250 ms whatever the bus does. A call lasts up to two attempts of up to
// 110 ms each (a reply cut off by its window is waited out) plus 120 ms for
// the guard, and a page may make several calls in a row. So a Protocol made
// with an idle function runs it whenever the bus leaves the thread nothing to
// do: before every attempt, and every 20 ms while it waits for the guard. The
// window passes one that handles its window-system events, so the longest
// stretch without an answer is a single attempt. idle never runs inside an
// attempt, nor while this program holds the guard, so the timing of every
// exchange and the order of the exchanges stay as they are.
//
// On a line with an exchange log, each attempt leaves its record (see
// MBProtocol), numbered 1 or 2 and marked when it ends the call; an attempt
// that the guard kept off the line leaves one too, with nothing sent: "bus
// guard held by another program" after the 120 ms, "request not sent" when
// the guard could not be had at all. The records of a call are appended
// after the guard is released; a failed first attempt keeps its record until
// the stop function below has been asked, so that a call stopped after it
// is marked as ended there.
//
// A caller that lets the user give up a long run of calls (the bus search's
// Cancel) also passes a stop function. It is asked after idle has run before
// an attempt, which is when a click can have been taken; true ends the call
// at once, as failed, without that attempt. So once the user has given up,
// no further attempt begins: the attempt under way (and a wait for the guard
// that had begun with it) is all that follows.
//
// Arguments and results are those of MBProtocol. Holds nothing but the idle
// and stop functions; one object serves any number of calls. No port error
// (EComPortError) is thrown; any other exception is a fault of the program
// and passes on to its error report.
class Protocol
{
public:
    // What a call runs while the bus leaves it nothing to do; see above.
    using Idle = std::function<void()>;
    // Whether the caller has given up; see above.
    using Stop = std::function<bool()>;

    Protocol() = default;
    explicit Protocol(Idle idle) : m_idle(std::move(idle)) {}
    Protocol(Idle idle, Stop stop) : m_idle(std::move(idle)), m_stop(std::move(stop)) {}

    // Function 3. values receives count registers on success.
    bool ReadRegisters(const BusTarget &target, int first, int count, uint16_t *values) const;
    // The same read, telling a failure from silence (link/bustarget.h).
    ReadResult Read(const BusTarget &target, int first, int count, uint16_t *values) const;
    // Function 16. The values' 16-bit patterns are sent high byte first.
    bool WriteRegisters(const BusTarget &target, int first, int count, const int16_t *values) const;

private:
    Idle m_idle;
    Stop m_stop;
};

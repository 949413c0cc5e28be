#include "link/protocol.h"

#include "link/comportguard.h"
#include "link/exchangerecorder.h"
#include "link/mbprotocol.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxTries = 2;
constexpr int kMaxGuardFailures = 3;
// How long one call waits for the guard, all its waits together. Another
// program's ordinary transaction holds the guard for about 60 ms (110 when it
// waits out a late reply), so a holder that lets go within 120 ms is waited
// for and the two programs take turns. A longer hold is treated like a
// silent module: the call fails and the next tick tries again. The window's
// thread makes these calls, and the idle function does not take the user's
// input: waiting as long as the holder liked would hold a click on STOP as
// long.
constexpr auto kGuardPatience = std::chrono::milliseconds(120);
// How often a wait for the guard lets the idle function run.
constexpr auto kIdleStep = std::chrono::milliseconds(20);

int WholeMs(Clock::duration d)
{
    return int(
        std::chrono::ceil<std::chrono::milliseconds>(std::max(d, Clock::duration::zero())).count());
}

// Runs idle, if any, and takes the time it took from patience.
void RunIdle(const Protocol::Idle &idle, Clock::duration &patience)
{
    if (!idle)
        return;
    const auto start = Clock::now();
    idle();
    patience -= Clock::now() - start;
}

// Waits for the guard while patience lasts, with idle every kIdleStep; the
// time spent, idle's included, is taken from patience. A guard that is free
// is taken even when no patience is left, since that costs no wait.
ComportGuard::WaitResult WaitForGuard(ComportGuard &guard, Clock::duration &patience,
                                      const Protocol::Idle &idle)
{
    for (;;) {
        const auto start = Clock::now();
        const auto result = guard.Acquire(
            WholeMs(idle ? std::min<Clock::duration>(patience, kIdleStep) : patience));
        patience -= Clock::now() - start;
        if (result != ComportGuard::WaitResult::TimedOut || patience <= Clock::duration::zero())
            return result;
        RunIdle(idle, patience);
    }
}

// transaction(mb) runs one attempt on a fresh MBProtocol. shape names the
// request for the record of an attempt that the guard kept off the line;
// the attempts made record themselves (MBProtocol), and their records are
// appended once the guard is released. heard becomes true when an attempt
// received at least one byte.
//
// A failed attempt that may yet be followed by another keeps its record
// back until the stop function has been asked before that next attempt: a
// call the user stops there ends with that attempt, and its record says so.
template <typename Transaction>
bool Guarded(SerialLine *port, const Protocol::Idle &idle, const Protocol::Stop &stop,
             const ExchangeShape &shape, bool &heard, Transaction transaction)
{
    std::optional<MBProtocol> held;
    int heldAttempt = 0;
    const auto appendHeld = [&](bool endsCall) {
        if (!held)
            return;
        if (endsCall)
            held->BeginAttempt(heldAttempt, true);
        held->AppendRecord();
        held.reset();
    };
    try {
        int tries = 0;
        int guardFailures = 0;
        // Spent while waiting for the guard, idle's time included; a guard
        // that is free is taken even when nothing is left.
        Clock::duration patience = kGuardPatience;
        bool result = false;
        bool heardNothing = false;
        while (tries < kMaxTries && !result) {
            RunIdle(idle, patience);
            const bool stopping = stop && stop();
            appendHeld(stopping);
            if (stopping)
                return false;
            ComportGuard guard(port ? port->GuardName().toStdString() : std::string());
            const auto waitStart = Clock::now();
            switch (WaitForGuard(guard, patience, idle)) {
            case ComportGuard::WaitResult::Acquired: {
                MBProtocol &mb = held.emplace(port);
                heldAttempt = tries + 1;
                mb.BeginAttempt(heldAttempt, heldAttempt == kMaxTries);
                if (heardNothing)
                    mb.ExpectLateReply();
                result = transaction(mb);
                heardNothing = !result && mb.HeardNothing();
                heard = heard || !mb.HeardNothing();
                guard.Release();
                ++tries;
                if (result || tries == kMaxTries)
                    appendHeld(false);
                break;
            }
            case ComportGuard::WaitResult::TimedOut:
                appendHeld(false);
                ExchangeRecorder::AppendUntried(port, shape, tries + 1, ExchangeOutcome::GuardHeld,
                                                waitStart);
                return false;
            case ComportGuard::WaitResult::Failed:
                if (++guardFailures >= kMaxGuardFailures) {
                    // The lock file cannot be had at all: no request left.
                    appendHeld(false);
                    ExchangeRecorder::AppendUntried(port, shape, tries + 1,
                                                    ExchangeOutcome::NotSent, waitStart);
                    return false;
                }
                break;
            }
        }
        return result;
    } catch (const EComPortError &) {
        appendHeld(true);
        return false;
    }
}

} // namespace

bool Protocol::ReadRegisters(const BusTarget &target, int first, int count, uint16_t *values) const
{
    return Read(target, first, count, values) == ReadResult::Answered;
}

ReadResult Protocol::Read(const BusTarget &target, int first, int count, uint16_t *values) const
{
    const ExchangeShape shape{ExchangeLink::Modbus, target.address, 3, first, count};
    bool heard = false;
    if (Guarded(target.port, m_idle, m_stop, shape, heard, [&](MBProtocol &mb) {
            return mb.ReadHoldingRegisters(target.address, first, count, values);
        }))
        return ReadResult::Answered;
    return heard ? ReadResult::Failed : ReadResult::Silent;
}

bool Protocol::WriteRegisters(const BusTarget &target, int first, int count,
                              const int16_t *values) const
{
    const ExchangeShape shape{ExchangeLink::Modbus, target.address, 16, first, count};
    bool heard = false;
    return Guarded(target.port, m_idle, m_stop, shape, heard, [&](MBProtocol &mb) {
        return mb.WriteMultipleRegisters(target.address, first, count, values);
    });
}

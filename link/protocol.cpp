#include "link/protocol.h"

#include "link/comportguard.h"
#include "link/mbprotocol.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxTries = 2;
constexpr int kMaxGuardFailures = 3;
// How long one call waits for the guard, all its waits together. Another
// program's ordinary transaction holds the guard for about 60 ms (110 when it
// waits out a late reply), so a holder that lets go within 120 ms is waited
// for and the two programs take turns. A longer hold is treated like a
// silent module: the call fails and the next tick tries again. The window's
// thread makes these calls, and the window must answer within 250 ms
// whatever the bus does.
constexpr auto kGuardPatience = std::chrono::milliseconds(120);

int WholeMs(Clock::duration d)
{
    return int(
        std::chrono::ceil<std::chrono::milliseconds>(std::max(d, Clock::duration::zero())).count());
}

// transaction(mb) runs one attempt on a fresh MBProtocol.
template <typename Transaction>
bool Guarded(SerialLine *port, Transaction transaction)
{
    try {
        int tries = 0;
        int guardFailures = 0;
        // Spent only while waiting; a guard that is free is taken even when
        // nothing is left, since that costs no wait.
        Clock::duration patience = kGuardPatience;
        bool result = false;
        bool heardNothing = false;
        while (tries < kMaxTries && !result) {
            ComportGuard guard;
            const auto start = Clock::now();
            const auto waited = guard.Acquire(WholeMs(patience));
            patience -= Clock::now() - start;
            switch (waited) {
            case ComportGuard::WaitResult::Acquired: {
                MBProtocol mb(port);
                if (heardNothing)
                    mb.ExpectLateReply();
                result = transaction(mb);
                heardNothing = !result && mb.HeardNothing();
                guard.Release();
                ++tries;
                break;
            }
            case ComportGuard::WaitResult::TimedOut:
                return false;
            case ComportGuard::WaitResult::Failed:
                if (++guardFailures >= kMaxGuardFailures)
                    return false;
                break;
            }
        }
        return result;
    } catch (const EComPortError &) {
        return false;
    }
}

} // namespace

bool Protocol::ReadRegisters(const BusTarget &target, int first, int count, uint16_t *values)
{
    return Guarded(target.port, [&](MBProtocol &mb) {
        return mb.ReadHoldingRegisters(target.address, first, count, values);
    });
}

bool Protocol::WriteRegisters(const BusTarget &target, int first, int count, const int16_t *values)
{
    return Guarded(target.port, [&](MBProtocol &mb) {
        return mb.WriteMultipleRegisters(target.address, first, count, values);
    });
}

#include "link/protocol.h"

#include "link/comportguard.h"
#include "link/mbprotocol.h"

namespace {

constexpr int kGuardWaitMs = 100;
constexpr int kMaxTries = 2;
constexpr int kMaxGuardFailures = 3;
// A transaction holds the guard for about 60 ms, a send of the whole
// configuration for a few seconds at most between its transactions; a holder
// that keeps it for 3 s (30 slices) is stuck or hostile. The call then fails
// like a silent module, so the window stays usable and the next tick tries
// again.
constexpr int kMaxGuardTimeouts = 30;

// transaction(mb) runs one attempt on a fresh MBProtocol.
template <typename Transaction>
bool Guarded(SerialLine *port, Transaction transaction)
{
    try {
        int tries = 0;
        int guardFailures = 0;
        int guardTimeouts = 0;
        bool result = false;
        bool heardNothing = false;
        while (tries < kMaxTries && !result) {
            ComportGuard guard;
            switch (guard.Acquire(kGuardWaitMs)) {
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
                if (++guardTimeouts >= kMaxGuardTimeouts)
                    return false;
                break;
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

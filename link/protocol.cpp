#include "link/protocol.h"

#include "link/comportguard.h"
#include "link/mbprotocol.h"

namespace {

constexpr int kGuardWaitMs = 100;
constexpr int kMaxTries = 2;
constexpr int kMaxGuardFailures = 3;

// transaction(mb) runs one attempt on a fresh MBProtocol.
template <typename Transaction>
bool Guarded(SerialLine *port, Transaction transaction)
{
    try {
        int tries = 0;
        int guardFailures = 0;
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

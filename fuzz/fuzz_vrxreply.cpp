// Feeds fuzz bytes as the reply to one relay-module poll, through the fake
// line with the wait skipped, and checks what a success claims.
//
// Input: byte 0 chooses the module (1 + byte modulo 3); the rest is the reply.

#include "debug/vrxprotocol.h"
#include "fuzzcheck.h"
#include "support/fakeline.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int module = 1 + data[0] % 3;
    const uint8_t *reply = data + 1;
    const size_t length = size - 1;

    FakeLine line;
    line.recordTrace = false;
    line.QueueReply(QByteArray(reinterpret_cast<const char *>(reply), qsizetype(length)));
    VrxResult result;
    const std::array<int, 8> types = {1, 2, 3, 4, 5, 0, 1, 1};
    const bool ok = VRXProtocol(&line, [](int) {}).PollModule(module, types, result);
    if (ok) {
        Check(length >= 3 && reply[0] == module + 12 && reply[2] == 0x81);
        const int count = reply[1];
        Check(count >= 7 && count <= 16);
        Check(length >= 3 + size_t(count) + 1);
        Check(result.module == module);
        for (size_t k = 0; k < 8; ++k)
            Check(result.readings[k] == reply[3 + k]);
    }
    Check(line.Parity() == ParityBits::Space);
    return 0;
}

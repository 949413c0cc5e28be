// Feeds fuzz bytes as the reply to one Modbus transaction, through the fake
// line with the waits skipped, and checks what a success claims.
//
// Input: byte 0 chooses the transaction (bit 7: write, else read) and the
// register count (1 + low 7 bits modulo 127); the rest is the reply.

#include "fuzzcheck.h"
#include "link/crc16.h"
#include "link/mbprotocol.h"
#include "support/fakeline.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool write = data[0] & 0x80;
    const int count = 1 + (data[0] & 0x7F) % MBProtocol::kMaxCount;
    const uint8_t *reply = data + 1;
    const size_t length = size - 1;

    FakeLine line;
    line.recordTrace = false;
    line.QueueReply(QByteArray(reinterpret_cast<const char *>(reply), qsizetype(length)));
    MBProtocol mb(&line, [](int) {});

    if (write) {
        // Exactly count values: ASan catches any read past them.
        const std::vector<int16_t> values(size_t(count), int16_t(0x1234));
        const bool ok = mb.WriteMultipleRegisters(1, 0, count, values.data());
        if (ok) {
            Check(length >= 2 && reply[0] == 1);
            const bool confirmed = reply[1] == 16;
            const bool readShaped =
                reply[1] == 3 && length >= 5 && Crc16Bitwise(reply, 3 + size_t(reply[2]) + 2) == 0;
            Check(confirmed || readShaped);
        }
    } else {
        std::vector<uint16_t> values(size_t(count), 0xBEEF);
        const bool ok = mb.ReadHoldingRegisters(1, 16, count, values.data());
        if (ok) {
            const size_t frame = 3 + 2 * size_t(count) + 2;
            Check(length >= frame);
            Check(reply[0] == 1 && reply[1] == 3 && reply[2] == 2 * count);
            Check(Crc16Bitwise(reply, frame) == 0);
            for (int i = 0; i < count; ++i)
                Check(values[size_t(i)] == (reply[3 + 2 * i] << 8 | reply[4 + 2 * i]));
        }
    }
    Check(!line.Connected());
    return 0;
}

// Feeds fuzz bytes to the configuration file parser as the contents of a
// file, and checks what an accepted image claims: the bytes were long enough
// and well-formed, and saving the loaded table again gives back the same
// first 517 bytes.

#include "config/configfile.h"
#include "fuzzcheck.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the fuzz bytes: ASan catches any read past them.
    const QByteArrayView bytes(data, qsizetype(size));
    const Result<ConfigImage> image = ParseConfigImage(bytes, QStringLiteral("fuzz.cfg"));
    if (!image) {
        Check(!image.error().isEmpty());
        return 0;
    }
    Check(size >= 517);
    for (size_t i = 0; i < 6; ++i)
        Check(data[i] == i && data[511 + i] == i);
    Check(image->period == data[6]);

    ModuleTable table;
    ApplyConfigImage(*image, table);
    const int period = image->period;
    for (int m = 1; m <= kModuleCount; ++m) {
        bool used = false;
        for (int k = 1; k <= kInputCount; ++k) {
            const int code = table.input_type[k][m];
            Check(code >= 0 && code <= 5);
            used = used || code > 0;
        }
        Check(table.module_state[m] == (used ? kMarkOn : kMarkOff));
        if (used)
            Check(table.group_state[ModuleTable::GroupOf(m)] == kMarkOn);
    }

    const QByteArray saved = BuildConfigImage(table, period);
    Check(saved.size() == 550);
    Check(QByteArrayView(saved).first(517) == bytes.first(517));
    return 0;
}

#pragma once

#include <cstdlib>

// A property every fuzz target checks of what the code under test claims:
// abort() on a false one, which libFuzzer reports as a crash with the input
// that caused it.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

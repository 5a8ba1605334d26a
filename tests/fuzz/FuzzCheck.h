#pragma once

#include <cstdlib>

/// Ends the run when a property does not hold, so the fuzzer keeps the input.
inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

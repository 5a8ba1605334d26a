// The edition number, fixed when the library is built.
#include "common/Edition.h"

#include <cstdlib>

#ifndef RAVLIN_EDITION
#define RAVLIN_EDITION 2
#endif

#define RAVLIN_STR2(x) #x
#define RAVLIN_STR(x) RAVLIN_STR2(x)

int GetEdition()
{
    // Kept as text and parsed like the original resource string, so "0" or junk gives 0.
    return std::atoi(RAVLIN_STR(RAVLIN_EDITION));
}

// The engine's bounds in force.
#include "engine/EngineLimits.h"

EngineLimits& engineLimits()
{
    static EngineLimits limits;
    return limits;
}

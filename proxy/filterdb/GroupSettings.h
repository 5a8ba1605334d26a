#pragma once

#include "config/ConfigrationFile.h"

/// The settings of a group; null for a number the configuration has no group for
/// (a list or an account may name a group that is gone).
inline const ConfigrationFileData* GroupSettings(const ConfigrationFileSigleton& cnf, int group)
{
    if (group < 0 || static_cast<size_t>(group) >= cnf.cnfData.size())
        return nullptr;
    return &cnf.cnfData[static_cast<size_t>(group)];
}

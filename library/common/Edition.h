#pragma once

#include <string>

#include "ravlin_export.h"

/// The edition number of this build: 2 is the standalone edition (loopback listener,
/// default group only, no IP lists or accounts); any other number is the network edition.
RAVLIN_EXPORT int GetEdition();

/// True in the standalone edition.
inline bool IsStandaloneEdition() { return GetEdition() == 2; }

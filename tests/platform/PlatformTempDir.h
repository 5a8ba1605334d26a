#pragma once

#include "support/TempDir.h"

namespace platformtest {
using TempDir = zpftest::TempDir;
} // namespace platformtest

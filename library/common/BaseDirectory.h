#pragma once

#include <string>

#include "ravlin_export.h"

/// The program directory every default path of the library is relative to: the
/// directory of the running executable with a trailing '/'. Computed on first use.
/// Tests and tools may set it before any configuration object is created; after
/// that it is read without locks from any thread.
RAVLIN_EXPORT const std::string& baseDirectory();

/// Replaces the program directory (a trailing '/' is added when missing).
RAVLIN_EXPORT void SetBaseDirectory(const std::string& dir);

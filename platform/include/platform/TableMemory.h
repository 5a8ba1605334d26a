#pragma once

#include <cstddef>

namespace platform {

/// Zeroed memory for a large table read at random places, aligned to 64 bytes; a large
/// one lies on huge pages where the system allows, so such reads miss the address
/// cache less often. Null when there is no memory. Give it back with FreeTableMemory
/// and the same size.
void* AllocateTableMemory(size_t bytes);
void FreeTableMemory(void* memory, size_t bytes);

} // namespace platform

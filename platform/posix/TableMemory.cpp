// Memory for large tables read at random: anonymous mappings on huge-page boundaries.
#include "platform/TableMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kHugePage = size_t{2} << 20;
// Below this a table is taken from the heap: it would not fill a huge page.
constexpr size_t kMappedFrom = kHugePage;

size_t roundUp(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit * unit; }

} // namespace

void* AllocateTableMemory(size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
    if (bytes < kMappedFrom) {
        void* memory = std::aligned_alloc(64, roundUp(bytes, 64));
        if (memory)
            std::memset(memory, 0, bytes);
        return memory;
    }
    // Map a huge page more than asked, then give back the ends so the table starts on a
    // huge-page boundary; its last part, short of a huge page, has small ones.
    const size_t size = roundUp(bytes, kPage);
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = roundUp(start, kHugePage);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const uintptr_t tail = start + size + kHugePage - (aligned + size); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    // Only advice: without huge pages the table still works.
    (void)::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void FreeTableMemory(void* memory, size_t bytes)
{
    if (!memory)
        return;
    if (bytes == 0)
        bytes = 1;
    if (bytes < kMappedFrom)
        std::free(memory);
    else
        ::munmap(memory, roundUp(bytes, kPage));
}

} // namespace platform

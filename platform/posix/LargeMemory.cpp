// Large blocks as mappings of their own, aligned and advised for large pages.
#include "platform/LargeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

size_t mappedSize(size_t bytes) { return (bytes + kLargeBlock - 1) / kLargeBlock * kLargeBlock; }

// Small blocks start on a cache line too, so a table's rows never straddle two.
constexpr size_t kLine = 64;

// Blocks from this size up to kLargeBlock are mapped with their pages filled in at
// once: callers fill such blocks whole, and one call costs far less than a fault
// for every page (most of all in a virtual machine).
constexpr size_t kFilledBlock = size_t{64} << 10;
constexpr size_t kPage = 4096;

size_t filledSize(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

} // namespace

void* AllocateLarge(size_t bytes) noexcept
{
    if (bytes == 0)
        return nullptr;
    if (bytes < kFilledBlock)
        return std::aligned_alloc(kLine, (bytes + kLine - 1) / kLine * kLine);
    if (bytes < kLargeBlock) {
        void* block = ::mmap(nullptr, filledSize(bytes), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        return block == MAP_FAILED ? nullptr : block;
    }
    const size_t size = mappedSize(bytes);
    if (size < bytes || size + kLargeBlock < size)
        return nullptr;
    // Map one block more and cut it down to an aligned start, so whole large pages fit.
    void* raw = ::mmap(nullptr, size + kLargeBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kLargeBlock - 1) / kLargeBlock * kLargeBlock;
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const uintptr_t end = aligned + size;
    const uintptr_t rawEnd = start + size + kLargeBlock;
    if (rawEnd > end)
        ::munmap(reinterpret_cast<void*>(end), rawEnd - end);
    // Advice only: without large pages the block is ordinary memory.
    (void)::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void FreeLarge(void* block, size_t bytes) noexcept
{
    if (!block)
        return;
    if (bytes < kFilledBlock)
        std::free(block);
    else if (bytes < kLargeBlock)
        ::munmap(block, filledSize(bytes));
    else
        ::munmap(block, mappedSize(bytes));
}

} // namespace platform

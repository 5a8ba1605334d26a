#pragma once

#include <cstddef>

namespace platform {

/// Blocks of this size and larger are mapped on their own, aligned to it and marked
/// for large pages, so lookups spread over them miss the address cache far less.
inline constexpr size_t kLargeBlock = size_t{2} << 20;

/// Memory for `bytes` bytes, aligned to 64 bytes: from the heap below kLargeBlock, else
/// a mapping of its own. Null when there is none (or bytes is 0).
void* AllocateLarge(size_t bytes) noexcept;

/// Frees what AllocateLarge(bytes) returned, with the same `bytes`.
void FreeLarge(void* block, size_t bytes) noexcept;

/// An allocator for containers whose storage may grow large.
template <class T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>&) noexcept { }
    T* allocate(size_t n);
    void deallocate(T* p, size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
    template <class U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
};

} // namespace platform

#include <new>

template <class T> T* platform::LargeAllocator<T>::allocate(size_t n)
{
    // Containers expect an allocator to throw when there is no memory, as new does.
    if (n > static_cast<size_t>(-1) / sizeof(T))
        throw std::bad_array_new_length();
    void* p = AllocateLarge(n * sizeof(T));
    if (!p && n != 0)
        throw std::bad_alloc();
    return static_cast<T*>(p);
}

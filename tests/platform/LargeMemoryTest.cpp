#include "platform/LargeMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

TEST(LargeMemoryTest, BlocksOfEverySizeAreWholeWritableAndLargeOnesAligned)
{
    const size_t sizes[] = {1,
                            4096,
                            platform::kLargeBlock - 1,
                            platform::kLargeBlock,
                            platform::kLargeBlock + 1,
                            3 * platform::kLargeBlock + 12345};
    for (const size_t n : sizes) {
        auto* p = static_cast<unsigned char*>(platform::AllocateLarge(n));
        ASSERT_NE(p, nullptr) << n;
        if (n >= platform::kLargeBlock) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % platform::kLargeBlock, 0u) << n;
        }
        std::memset(p, 0xA5, n); // every byte is ours: the sanitizers see any overrun
        EXPECT_EQ(p[0], 0xA5);
        EXPECT_EQ(p[n - 1], 0xA5);
        platform::FreeLarge(p, n);
    }
    EXPECT_EQ(platform::AllocateLarge(0), nullptr);
    platform::FreeLarge(nullptr, 0); // nothing to free is no fault
}

TEST(LargeMemoryTest, NoMemoryIsReportedNotFaked)
{
    EXPECT_EQ(platform::AllocateLarge(~size_t{0}), nullptr);
    EXPECT_EQ(platform::AllocateLarge(~size_t{0} - platform::kLargeBlock), nullptr);
    // A container on the allocator is told so, as by new.
    std::vector<uint64_t, platform::LargeAllocator<uint64_t>> v;
    EXPECT_THROW(v.reserve(v.max_size()), std::bad_alloc);
}

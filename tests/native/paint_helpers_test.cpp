// The overlay's two drawing helpers that do not need a system: dots blended into pixels, and the
// cache that keeps the most recently used within a budget.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "base/recent_cache.h"
#include "overlay/dot_raster.h"

namespace lumvo {
namespace {

TEST(DotRaster, CoversTheDiscsAreaBlendsOverWhatIsThereAndStaysInsideThePicture) {
    // 40 x 30 pixels in rows of 48: the 8 pixels past each row must never be written.
    constexpr int kWidth = 40, kHeight = 30, kStride = 48;
    constexpr std::uint32_t kPadding = 0x12345678u;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kStride) * kHeight, kPadding);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) pixels[static_cast<std::size_t>(y) * kStride + x] = 0;

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Dot dots[] = {
        {12.0f, 12.0f, 6.0f, 0xFF20C040u},  // opaque, whole
        {39.0f, 29.0f, 5.0f, 0xFFFFFFFFu},  // three quarters off the bottom right corner
        {-50.0f, 5.0f, 4.0f, 0xFFFFFFFFu},  // off the picture
        {nan, 5.0f, 4.0f, 0xFFFFFFFFu},     // no number
        {20.0f, 5.0f, nan, 0xFFFFFFFFu},
    };
    blendDots(pixels.data(), kWidth, kHeight, kStride, dots);

    double covered = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 26; ++x) covered += (pixels[static_cast<std::size_t>(y) * kStride + x] >> 24) / 255.0;
    EXPECT_NEAR(covered, 3.14159 * 36, 0.03 * 3.14159 * 36) << "the disc's area, in pixels";
    EXPECT_EQ(pixels[static_cast<std::size_t>(12) * kStride + 12], 0xFF20C040u) << "its middle is its colour";
    EXPECT_EQ(pixels[static_cast<std::size_t>(12) * kStride + 20], 0u) << "outside it nothing changes";
    EXPECT_EQ(pixels[static_cast<std::size_t>(29) * kStride + 39] >> 24, 255u) << "the corner dot's own pixel";
    for (int y = 0; y < kHeight; ++y)
        for (int x = kWidth; x < kStride; ++x)
            ASSERT_EQ(pixels[static_cast<std::size_t>(y) * kStride + x], kPadding) << "row " << y << " past its end";

    // Half-transparent red over opaque blue: opaque, half of each; over nothing: the colour itself.
    std::uint32_t two[2] = {0xFF0000FFu, 0};
    const Dot red[] = {{0.5f, 0.5f, 3.0f, 0x80FF0000u}, {1.5f, 0.5f, 3.0f, 0x80FF0000u}};
    blendDots(&two[0], 1, 1, 1, {&red[0], 1});
    blendDots(&two[1], 1, 1, 1, {&red[1], 1});
    EXPECT_EQ(two[0] >> 24, 255u);
    EXPECT_NEAR(static_cast<int>((two[0] >> 16) & 0xFF), 128, 1);
    EXPECT_NEAR(static_cast<int>(two[0] & 0xFF), 127, 1);
    EXPECT_EQ(two[1], 0x80FF0000u);
}

// A value whose & does something else, as some smart pointers' does (it lets go of what they hold).
struct Handle {
    int value = 0;
    Handle* operator&() = delete;
};

TEST(RecentCache, DropsTheLeastRecentlyUsedPastItsBudgetAndHandsOutTheValueItself) {
    RecentCache<int, Handle> cache(10);
    EXPECT_TRUE(cache.put(1, {1}, 4));
    EXPECT_TRUE(cache.put(2, {2}, 4));
    ASSERT_NE(cache.find(1), nullptr);  // 1 is now more recent than 2
    EXPECT_TRUE(cache.put(3, {3}, 4));  // over 10: 2 goes
    EXPECT_EQ(cache.find(2), nullptr);
    ASSERT_NE(cache.find(1), nullptr);
    EXPECT_EQ(cache.find(1)->value, 1);
    EXPECT_EQ(cache.find(3)->value, 3);
    EXPECT_EQ(cache.cost(), 8u);

    EXPECT_TRUE(cache.put(3, {33}, 2));  // replaced, at its new cost
    EXPECT_EQ(cache.find(3)->value, 33);
    EXPECT_EQ(cache.cost(), 6u);
    EXPECT_FALSE(cache.put(4, {4}, 11));  // over the budget alone: not kept, nothing dropped for it
    EXPECT_EQ(cache.find(4), nullptr);
    EXPECT_EQ(cache.size(), 2u);
}

}  // namespace
}  // namespace lumvo

// The overlay's drawing helpers that do not need a system: small shapes and dots blended into
// pixels, and the cache that keeps the most recently used within a budget.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "base/recent_cache.h"
#include "overlay/shape_raster.h"

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
    blendDots({pixels.data(), 0, 0, kWidth, kHeight, kStride}, dots);

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
    blendDots({&two[0], 0, 0, 1, 1, 1}, {&red[0], 1});
    blendDots({&two[1], 1, 0, 1, 1, 1}, {&red[1], 1});
    EXPECT_EQ(two[0] >> 24, 255u);
    EXPECT_NEAR(static_cast<int>((two[0] >> 16) & 0xFF), 128, 1);
    EXPECT_NEAR(static_cast<int>(two[0] & 0xFF), 127, 1);
    EXPECT_EQ(two[1], 0x80FF0000u);
}

double coverage(const std::vector<std::uint32_t>& pixels) {
    double sum = 0;
    for (std::uint32_t p : pixels) sum += (p >> 24) / 255.0;
    return sum;
}

TEST(ShapeRaster, TurnedShapesLandWhereTheTransformPutsThemAndOnlyConvexPolygonsAreTaken) {
    constexpr int kSide = 40;
    auto picture = [] { return std::vector<std::uint32_t>(kSide * kSide, 0); };
    auto target = [](std::vector<std::uint32_t>& p) { return PixelTarget{p.data(), 0, 0, kSide, kSide, kSide}; };
    auto at = [](const std::vector<std::uint32_t>& p, int x, int y) { return p[y * kSide + x] >> 24; };

    // A 10 x 4 bar from the origin, moved to (20, 10) and turned a quarter clockwise: it hangs down
    // from (20, 10) to the left, x 16..20, y 10..20.
    const Affine quarter = Affine{}.movedAndTurned(20, 10, 90);
    std::vector<std::uint32_t> bar = picture();
    ASSERT_TRUE(blendRect(target(bar), {0, 0, 10, 4}, quarter, 0xFFFFFFFFu));
    EXPECT_EQ(at(bar, 17, 15), 255u);
    EXPECT_EQ(at(bar, 21, 15), 0u);
    EXPECT_EQ(at(bar, 17, 21), 0u);
    EXPECT_NEAR(coverage(bar), 40, 0.5);

    // Transforms nest: turning 45 degrees inside a move is the same as both at once.
    const Affine nested = Affine{}.movedAndTurned(20, 20, 0).movedAndTurned(0, 0, 45);
    const Affine once = Affine{}.movedAndTurned(20, 20, 45);
    std::vector<std::uint32_t> square = picture(), again = picture(), polygon = picture();
    ASSERT_TRUE(blendRect(target(square), {-5, -5, 10, 10}, nested, 0xFF00FF00u));
    ASSERT_TRUE(blendRect(target(again), {-5, -5, 10, 10}, once, 0xFF00FF00u));
    EXPECT_EQ(square, again);
    EXPECT_NEAR(coverage(square), 100, 2);
    EXPECT_EQ(at(square, 20, 15), 255u) << "a corner points up";
    EXPECT_EQ(at(square, 20, 12), 0u);
    EXPECT_EQ(at(square, 14, 14), 0u) << "where the square would be, unturned";
    // The same square as a polygon, either way round, gives the same pixels.
    const PointF corners[] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
    const PointF backwards[] = {{-5, 5}, {5, 5}, {5, -5}, {-5, -5}};
    ASSERT_TRUE(blendConvexPolygon(target(polygon), corners, once, 0xFF00FF00u));
    EXPECT_EQ(polygon, square);
    polygon = picture();
    ASSERT_TRUE(blendConvexPolygon(target(polygon), backwards, once, 0xFF00FF00u));
    EXPECT_EQ(polygon, square);

    std::vector<std::uint32_t> ellipse = picture();
    ASSERT_TRUE(blendEllipse(target(ellipse), {-8, -4, 16, 8}, once, 0xFFFFFFFFu));
    EXPECT_NEAR(coverage(ellipse), 3.14159 * 8 * 4, 2);

    // Not drawn, so that the caller draws them another way: an arrow head pointing in, a line.
    std::vector<std::uint32_t> none = picture();
    const PointF arrow[] = {{0, 0}, {10, 5}, {0, 10}, {4, 5}};
    const PointF flat[] = {{0, 0}, {5, 5}, {10, 10}};
    EXPECT_FALSE(blendConvexPolygon(target(none), arrow, once, 0xFFFFFFFFu));
    EXPECT_FALSE(blendConvexPolygon(target(none), flat, once, 0xFFFFFFFFu));
    EXPECT_FALSE(blendRect(target(none), {0, 0, 4, 4}, Affine{0, 0, 0, 0, 5, 5}, 0xFFFFFFFFu));
    EXPECT_EQ(coverage(none), 0);
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

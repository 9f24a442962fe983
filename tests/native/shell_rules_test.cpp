// Rules of the Windows shell that need no Windows: the host window handle carried in a double, and
// the brand bitmap's crop and fit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "plugin/brand_geometry.h"
#include "plugin/host_window.h"

namespace {

using namespace lumvo;

TEST(HostWindow, DoublesBecomeExactHandleBitsAndNothingElseBecomesAnOwner) {
    const double two63 = std::ldexp(1.0, 63);
    const std::pair<double, std::uint64_t> cases[] = {
        {0.0, 0},
        {132456.0, 132456},
        {77.9, 77},
        {two63, std::uint64_t{1} << 63},
        {two63 + 4096.0, (std::uint64_t{1} << 63) + 4096},
        {std::nextafter(std::ldexp(1.0, 64), 0.0), std::numeric_limits<std::uint64_t>::max() - 2047},  // 2^64 - 2048
        {-1.0, 0},
        {std::ldexp(1.0, 64), 0},
        {std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [number, handle] : cases) EXPECT_EQ(windowHandleFromNumber(number), handle) << number;

    EXPECT_EQ(ownerWindowFromQuery(0, 4242.0), 4242u);
    EXPECT_EQ(ownerWindowFromQuery(1, 4242.0), 4242u);
    EXPECT_EQ(ownerWindowFromQuery(-1, 4242.0), 0u) << "a failed query leaves the double meaningless";
}

std::vector<int> corners(const PixelRect& r) { return {r.x, r.y, r.w, r.h}; }

TEST(BrandGeometry, TheCropHoldsExactlyThePixelsAboveTheAlphaThreshold) {
    const int width = 40, height = 30, stride = 48;
    std::vector<std::uint32_t> image(stride * height, 0x00FFFFFFu);
    auto at = [&](int x, int y) -> std::uint32_t& { return image[static_cast<size_t>(y) * stride + x]; };
    at(5, 7) = 0x11FF0000;    // alpha 17: counts
    at(31, 20) = 0xFF00FF00;  // opaque: counts
    at(2, 2) = 0x10FFFFFF;    // alpha 16: faint, does not count
    at(39, 29) = 0x10FFFFFF;
    at(44, 1) = 0xFFFFFFFF;  // beyond the width, in the row padding: not part of the image
    EXPECT_EQ(corners(visibleBounds(image.data(), width, height, stride)), (std::vector<int>{5, 7, 27, 14}));

    // Nothing visible: the whole image is used.
    at(5, 7) = at(31, 20) = at(44, 1) = 0;
    EXPECT_EQ(corners(visibleBounds(image.data(), width, height, stride)), (std::vector<int>{0, 0, width, height}));
}

// A usual mark fitted and centred is the windows layer's (tests/windows/brand_bitmap_test.cpp).
TEST(BrandGeometry, AnExtremeMarkKeepsAColumnAndNeverLeavesTheSquare) {
    EXPECT_EQ(corners(fitCentred(1, 1000)), (std::vector<int>{31, 0, 1, 64})) << "0.064 pixels wide: one column";
    EXPECT_EQ(corners(fitCentred(640, 641)), (std::vector<int>{0, 0, 64, 64})) << "63.9 rounds up, not beyond";
    EXPECT_EQ(fitCentred(0, 10).w, 0);
}

}  // namespace

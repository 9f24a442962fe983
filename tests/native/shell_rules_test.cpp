// Rules of the Windows shell that need no Windows: the host window handle carried in a double,
// the brand bitmap's crop and fit, and the HTTP client's time-outs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "plugin/brand_geometry.h"
#include "plugin/host_window.h"
#include "serverlink/http_timeouts.h"

namespace {

using namespace lumvo;

TEST(HostWindow, DoublesBecomeExactHandleBitsAcrossTheWholeUnsignedRange) {
    EXPECT_EQ(windowHandleFromNumber(0.0), 0u);
    EXPECT_EQ(windowHandleFromNumber(1.0), 1u);
    EXPECT_EQ(windowHandleFromNumber(132456.0), 132456u);
    EXPECT_EQ(windowHandleFromNumber(77.9), 77u);
    const double two63 = std::ldexp(1.0, 63);
    EXPECT_EQ(windowHandleFromNumber(two63), std::uint64_t{1} << 63);
    EXPECT_EQ(windowHandleFromNumber(two63 + 4096.0), (std::uint64_t{1} << 63) + 4096u);
    const double largest = std::nextafter(std::ldexp(1.0, 64), 0.0);  // 2^64 - 2048
    EXPECT_EQ(windowHandleFromNumber(largest), std::numeric_limits<std::uint64_t>::max() - 2047u);
}

TEST(HostWindow, NothingThatIsNotAWindowNumberBecomesAnOwner) {
    EXPECT_EQ(windowHandleFromNumber(-1.0), 0u);
    EXPECT_EQ(windowHandleFromNumber(std::ldexp(1.0, 64)), 0u);
    EXPECT_EQ(windowHandleFromNumber(std::numeric_limits<double>::infinity()), 0u);
    EXPECT_EQ(windowHandleFromNumber(std::numeric_limits<double>::quiet_NaN()), 0u);

    EXPECT_EQ(ownerWindowFromQuery(0, 4242.0), 4242u);
    EXPECT_EQ(ownerWindowFromQuery(1, 4242.0), 4242u);
    EXPECT_EQ(ownerWindowFromQuery(-1, 4242.0), 0u) << "a failed query leaves the double meaningless";
    EXPECT_EQ(ownerWindowFromQuery(0, 0.0), 0u);
}

// A width x height image, transparent, with a stride of `stride` words.
std::vector<std::uint32_t> transparentImage(int stride, int height) {
    return std::vector<std::uint32_t>(static_cast<size_t>(stride) * height, 0x00FFFFFFu);
}

TEST(BrandGeometry, TheCropHoldsExactlyThePixelsAboveTheAlphaThreshold) {
    const int width = 40, height = 30, stride = 48;
    auto image = transparentImage(stride, height);
    auto at = [&](int x, int y) -> std::uint32_t& { return image[static_cast<size_t>(y) * stride + x]; };
    at(5, 7) = 0x11FF0000;    // alpha 17: counts
    at(31, 20) = 0xFF00FF00;  // opaque: counts
    at(2, 2) = 0x10FFFFFF;    // alpha 16: faint, does not count
    at(39, 29) = 0x10FFFFFF;
    at(44, 1) = 0xFFFFFFFF;   // beyond the width, in the row padding: not part of the image
    const PixelRect box = visibleBounds(image.data(), width, height, stride);
    EXPECT_EQ(box.x, 5);
    EXPECT_EQ(box.y, 7);
    EXPECT_EQ(box.w, 27);
    EXPECT_EQ(box.h, 14);

    // Nothing visible: the whole image is used.
    auto faint = transparentImage(width, height);
    const PixelRect whole = visibleBounds(faint.data(), width, height, width);
    EXPECT_EQ(whole.x, 0);
    EXPECT_EQ(whole.y, 0);
    EXPECT_EQ(whole.w, width);
    EXPECT_EQ(whole.h, height);
}

TEST(BrandGeometry, TheMarkIsFittedIntoTheListSquareAspectKeptAndCentred) {
    struct Case {
        int w, h;
        PixelRect expected;
    };
    const Case cases[] = {
        {200, 100, {0, 16, 64, 32}},  // wide: full width, centred vertically
        {3, 2, {0, 10, 64, 43}},      // small images are scaled up; 42.67 rounds to 43
        {10, 10, {0, 0, 64, 64}},
        {1, 1000, {31, 0, 1, 64}},    // 0.064 pixels wide still gives one column
        {640, 641, {0, 0, 64, 64}},   // 63.9 rounds up: never beyond the square
    };
    for (const Case& c : cases) {
        const PixelRect r = fitCentred(c.w, c.h);
        EXPECT_EQ(r.x, c.expected.x) << c.w << "x" << c.h;
        EXPECT_EQ(r.y, c.expected.y) << c.w << "x" << c.h;
        EXPECT_EQ(r.w, c.expected.w) << c.w << "x" << c.h;
        EXPECT_EQ(r.h, c.expected.h) << c.w << "x" << c.h;
    }
    EXPECT_EQ(fitCentred(0, 10).w, 0);
}

TEST(HttpTimeouts, AnExplicitTimeOutRulesEveryPhaseElseTheDefaultsApply) {
    auto all = [](HttpTimeouts t) { return std::vector<int>{t.resolve, t.connect, t.send, t.receive}; };
    EXPECT_EQ(all(requestTimeouts(400, false)), (std::vector<int>{400, 400, 400, 400}));
    EXPECT_EQ(all(requestTimeouts(400, true)), (std::vector<int>{400, 400, 400, 400}));
    EXPECT_EQ(all(requestTimeouts(0, true)), (std::vector<int>{8000, 8000, 20000, 20000}));
    EXPECT_EQ(all(requestTimeouts(-3, false)), (std::vector<int>{8000, 8000, 8000, 8000}));
    EXPECT_EQ(secureRequestTimeout(0), 8000);
    EXPECT_EQ(secureRequestTimeout(1), 1);
}

}  // namespace

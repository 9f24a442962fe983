// The flash analyser on synthetic frames at 30 fps: square-wave flashes of a whole frame or of a
// patch, at rates and in colours on either side of each of its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "overlay/flash_analysis.h"

namespace {

using lumvo::FlashAnalyser;
using lumvo::FlashReport;

constexpr int kW = 320, kH = 180;  // the field: 107 x 60 pixels, more than 1605 of them must change
constexpr double kFps = 30;

struct Patch {
    int x, y, w, h;
};

// Two seconds of frames: `on` or `off` at `hz` flashes a second (a square wave starting with `off`)
// inside the patches, `background` elsewhere.
FlashReport flashing(double hz, std::uint32_t off, std::uint32_t on, std::vector<Patch> patches = {{0, 0, kW, kH}},
                     std::uint32_t background = 0xFF000000) {
    FlashAnalyser analyser(kW, kH, kFps);
    std::vector<std::uint32_t> frame(kW * kH);
    for (int i = 0; i < 2 * static_cast<int>(kFps); ++i) {
        const bool lit = static_cast<int>(std::floor(i * 2 * hz / kFps)) % 2 == 1;
        std::fill(frame.begin(), frame.end(), background);
        for (const Patch& p : patches)
            for (int y = p.y; y < p.y + p.h; ++y)
                for (int x = p.x; x < p.x + p.w; ++x) frame[y * kW + x] = lit ? on : off;
        analyser.addFrame(frame);
    }
    return analyser.report();
}

TEST(FlashAnalysis, AWholeFrameFlashingFourTimesASecondFailsAndThreeTimesPasses) {
    const FlashReport fast = flashing(4, 0xFF000000, 0xFFFFFFFF);
    EXPECT_EQ(fast.worstGeneral, 4);
    EXPECT_FALSE(fast.passes());
    EXPECT_NEAR(fast.flashesPerSecond(), 4, 0.6);
    const FlashReport three = flashing(3, 0xFF000000, 0xFFFFFFFF);
    EXPECT_EQ(three.worstGeneral, 3);
    EXPECT_TRUE(three.passes());
    EXPECT_EQ(three.fieldWidth, 107);
    EXPECT_EQ(three.fieldHeight, 60);
    EXPECT_DOUBLE_EQ(three.largestShare, 1.0);
}

TEST(FlashAnalysis, OnlyAFlashingAreaOverAQuarterOfOneFieldCounts) {
    // 38 x 38 = 1444 of the field's 6420 pixels: under a quarter; 44 x 44 = 1936: over.
    EXPECT_TRUE(flashing(6, 0xFF000000, 0xFFFFFFFF, {{100, 60, 38, 38}}).passes());
    EXPECT_FALSE(flashing(6, 0xFF000000, 0xFFFFFFFF, {{100, 60, 44, 44}}).passes());
    // Two 30 x 30 patches (900 pixels each) flash as one area when one field holds both, not
    // when they are further apart than a field.
    EXPECT_FALSE(flashing(6, 0xFF000000, 0xFFFFFFFF, {{10, 10, 30, 30}, {60, 20, 30, 30}}).passes());
    const FlashReport apart = flashing(6, 0xFF000000, 0xFFFFFFFF, {{10, 10, 30, 30}, {250, 120, 30, 30}});
    EXPECT_TRUE(apart.passes());
    EXPECT_EQ(apart.generalFlashes, 0);
    EXPECT_NEAR(apart.largestShare, 900.0 / 6420, 1e-9);
}

TEST(FlashAnalysis, ChangesTooSmallOrAllInBrightStatesAreNoFlashes) {
    // Black and a dark grey (relative luminance about 0.05): under the step.
    EXPECT_EQ(flashing(6, 0xFF000000, 0xFF404040).generalFlashes, 0);
    // Light grey (about 0.85) and white: the darker state is not below 0.80.
    EXPECT_EQ(flashing(6, 0xFFEEEEEE, 0xFFFFFFFF).generalFlashes, 0);
    // Two mid greys 0.25 apart flash.
    EXPECT_FALSE(flashing(6, 0xFF7F7F7F, 0xFFC0C0C0).passes());
    // One slow fade up and back down over the two seconds is one flash, whatever its rate of change.
    FlashAnalyser fade(kW, kH, kFps);
    std::vector<std::uint32_t> frame(kW * kH);
    for (int i = 0; i < 60; ++i) {
        const auto v = static_cast<std::uint32_t>(255 * (1 - std::fabs(i - 30) / 30.0));
        std::fill(frame.begin(), frame.end(), 0xFF000000 | v << 16 | v << 8 | v);
        fade.addFrame(frame);
    }
    EXPECT_EQ(fade.report().generalFlashes, 1);
}

TEST(FlashAnalysis, ASaturatedRedFlashCountsEvenWithoutAChangeOfLuminance) {
    // Pure red and the grey of the same relative luminance (0.2126): no general flash.
    const FlashReport red = flashing(4, 0xFF7F7F7F, 0xFFFF0000);
    EXPECT_EQ(red.generalFlashes, 0);
    EXPECT_EQ(red.worstRed, 4);
    EXPECT_FALSE(red.passes());
    // A pink is red enough to change max(R - G - B, 0) by far more than 20, but not a saturated red.
    EXPECT_EQ(flashing(4, 0xFF7F7F7F, 0xFFFF8080).redFlashes, 0);
}

TEST(FlashAnalysis, BadSizesAreRefusedWithAClearError) {
    EXPECT_THROW(FlashAnalyser(0, 10, 30), std::invalid_argument);
    EXPECT_THROW(FlashAnalyser(10, 10, 0), std::invalid_argument);
    EXPECT_THROW(FlashAnalyser(10, 10, std::nan("")), std::invalid_argument);
    FlashAnalyser analyser(10, 10, 30);
    const std::vector<std::uint32_t> short_(99);
    EXPECT_THROW(analyser.addFrame(short_), std::invalid_argument);
}

}  // namespace

// Hot-post flames: the 7-second cycle, where each flame goes, sprite sizes and counts, the bound on
// a paint's work, the sprite check with its retry, and the feed and featured card sharing the slot.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "overlay/flames.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using Op = RecordingCanvas::Op;

// Paints every layer on a fresh recording canvas whose emoji have `emojiAlpha`.
struct RecordingTarget final : LayerTarget {
    int emojiAlpha = 255;
    std::vector<std::pair<std::string, RecordingCanvas>> paints;  // key, canvas
    bool beginFrame(int, int) override { return true; }
    bool paintLayer(LayerSlot slot, int, int, std::string_view key, const LayerPainter& paint) override {
        EXPECT_EQ(slot, LayerSlot::flames);
        paints.emplace_back(std::string(key), RecordingCanvas{});
        paints.back().second.emojiAlpha = emojiAlpha;
        paint(paints.back().second);
        return true;
    }
    void drawLayer(LayerSlot, const RectF&, float) override {}
    void endFrame() override {}
};

TEST(Flames, CycleEnvelopeSizesCountsPlacementAndTheBoundOfAPaint) {
    EXPECT_NEAR(flameCycleTime(7000.0 + 5.25), 5.25, 1e-6);
    EXPECT_NEAR(flameEnvelope(0.175), 0.5f, 1e-5);
    EXPECT_NEAR(flameEnvelope(4.15), 0.5f, 1e-5);
    const RectF big{10, 10, 300, 200}, post{20, 30, 200, 100};
    for (double t : {4.5, 6.0, 6.99}) EXPECT_TRUE(flamesFor(big, t).empty()) << t;  // nothing from 4.5 to 7 s

    EXPECT_FLOAT_EQ(flameSizeFor(big).sprite, 44.0f);         // wider than 220: up to 44
    EXPECT_EQ(flameSizeFor(big).count, 12);                   // more than 42000 square pixels
    EXPECT_EQ(flameSizeFor({0, 0, 220, 190}).sprite, 28.0f);  // 41800 square pixels, not wider than 220
    EXPECT_EQ(flameSizeFor({0, 0, 220, 190}).count, 8);
    EXPECT_EQ(flameSizeFor({0, 0, 150, 50}).sprite, 16.0f);  // 0.22 x 50 = 11, at least 16

    // Flame 0 of a 200 x 100 post at t = 2 is at phase 0.84, fading out; sprites of 22 pixels.
    const std::vector<FlameDraw> flames = flamesFor(post, 2.0);
    const float s = 22, p = 0.84f;
    ASSERT_FALSE(flames.empty());
    EXPECT_NEAR(flames[0].alpha, (1 - p) / 0.28f * 0.78f, 1e-4);
    EXPECT_NEAR(flames[0].dest.x, 20 + 0.1f * 200 + 5 * std::sin(4.4f) - 0.5f * s, 1e-3);
    EXPECT_NEAR(flames[0].dest.y, 30 + 100 - 0.85f * s - (100 - 0.25f * s) * p, 1e-3);

    // Inside the post's rounded clip; under 12 pixels either way, nothing.
    RecordingCanvas canvas;
    EXPECT_EQ(drawFlames(canvas, test::FakeImage(80, 80), {post, {0, 0, 11, 80}, {0, 0, 80, 11}}, 2.0),
              static_cast<int>(flames.size()));
    ASSERT_EQ(canvas.of(Op::pushClip).size(), 1u);
    EXPECT_EQ(canvas.of(Op::pushClip)[0].radius, 18.0f);
    for (const auto& call : canvas.of(Op::image)) EXPECT_EQ(call.clipDepth, 1);
    EXPECT_NEAR(canvas.of(Op::image)[0].opacity, flames[0].alpha, 1e-6);

    // However many posts are hot, a paint draws at most 12 of them.
    RecordingCanvas flooded;
    drawFlames(flooded, test::FakeImage(80, 80), std::vector<RectF>(500, big), 2.0);
    EXPECT_EQ(flooded.of(Op::pushClip).size(), kMaxFlameRects);
}

TEST(Flames, TheSpriteIsMadeOnceAFailedOneWaitsFiveSecondsAndBothUsesPaintTheSlot) {
    EXPECT_TRUE(emojiSpriteDrawn(test::FakeImage(80, 80, 25)));
    EXPECT_FALSE(emojiSpriteDrawn(test::FakeImage(80, 80, 24)));
    const std::vector<RectF> hot{{10, 10, 300, 200}};
    RecordingTarget target;
    target.emojiAlpha = 0;  // the system drew no emoji
    FlameLayer layer;
    const double base = 7000.0;
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 1.0));
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 4.4));
    EXPECT_EQ(layer.spriteRenders(), 1) << "rendered again within five seconds";
    EXPECT_EQ(target.paints.size(), 1u);
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 5.0)) << "outside the flames' 4.5 s";

    target.emojiAlpha = 255;
    target.paints.clear();
    for (int frame = 0; frame < 10; ++frame) {
        // The feed's flames, then the featured card's, in one frame: both are painted.
        EXPECT_TRUE(layer.paintFlames(target, 538, 907, {{6, 700, 520, 120}}, base + 8.0 + frame / 60.0));
        EXPECT_TRUE(layer.paintFlames(target, 960, 540, {{14, 14, 932, 512}}, base + 8.0 + frame / 60.0));
    }
    EXPECT_EQ(layer.spriteRenders(), 2);
    ASSERT_EQ(target.paints.size(), 20u);
    EXPECT_NE(target.paints[0].first, target.paints[1].first);  // a new key each time: never skipped
    EXPECT_FALSE(target.paints[19].second.of(Op::image).empty());
    EXPECT_FALSE(layer.paintFlames(target, 538, 907, {{0, 0, 11, 11}}, base + 8.0));
    EXPECT_EQ(target.paints.size(), 20u);
}

}  // namespace
}  // namespace lumvo

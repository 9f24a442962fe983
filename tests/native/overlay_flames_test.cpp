// Hot-post flames: the 7-second cycle and its envelope, where each flame goes, the sprite sizes
// and counts, the bound on a paint's work, the sprite check and its retry, and the one shared slot.
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

// A LayerTarget that paints every layer on a recording canvas and keeps what each paint drew.
struct RecordingTarget final : LayerTarget {
    struct Paint {
        LayerSlot slot;
        int w, h;
        std::string key;
        RecordingCanvas canvas;
    };
    int emojiAlpha = 255;
    std::vector<Paint> paints;

    bool beginFrame(int, int) override { return true; }
    bool paintLayer(LayerSlot slot, int w, int h, std::string_view key, const LayerPainter& paint) override {
        paints.push_back({slot, w, h, std::string(key), {}});
        paints.back().canvas.emojiAlpha = emojiAlpha;
        paint(paints.back().canvas);
        return true;
    }
    void drawLayer(LayerSlot, const RectF&, float) override {}
    void endFrame() override {}
};

TEST(Flames, TheCycleShowsFlamesForFourAndAHalfOfEverySevenSecondsWithItsEnvelope) {
    EXPECT_NEAR(flameCycleTime(7000.0 + 5.25), 5.25, 1e-6);
    EXPECT_NEAR(flameCycleTime(-1.0), 6.0, 1e-9);
    EXPECT_NEAR(flameEnvelope(0.175), 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(flameEnvelope(2.0), 1.0f);
    EXPECT_NEAR(flameEnvelope(4.15), 0.5f, 1e-5);

    const std::vector<RectF> hot{{10, 10, 300, 200}};
    for (double t : {4.5, 5.0, 6.0, 6.99}) {
        EXPECT_FLOAT_EQ(flameEnvelope(t), 0.0f) << t;
        RecordingCanvas canvas;
        EXPECT_EQ(drawFlames(canvas, test::FakeImage(80, 80), hot, t), 0) << t;
        EXPECT_TRUE(canvas.of(Op::image).empty()) << t;
    }
    // The layer is not even painted outside the window.
    RecordingTarget target;
    FlameLayer layer;
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, 700 + 5.0));
    EXPECT_TRUE(target.paints.empty());
    EXPECT_TRUE(layer.paintFlames(target, 400, 300, hot, 700 + 2.0));
}

TEST(Flames, SpriteSizeCountPlacementAndFadeFollowThePostRectangle) {
    // Wide and large: sprites of up to 44 pixels, 12 flames.
    EXPECT_FLOAT_EQ(flameSizeFor({0, 0, 300, 200}).sprite, 44.0f);
    EXPECT_EQ(flameSizeFor({0, 0, 300, 200}).count, 12);
    // 221 x 190 = 41990 square pixels: still 8 flames, but wide.
    EXPECT_EQ(flameSizeFor({0, 0, 221, 190}).count, 8);
    EXPECT_FLOAT_EQ(flameSizeFor({0, 0, 221, 190}).sprite, 41.8f);
    EXPECT_FLOAT_EQ(flameSizeFor({0, 0, 220, 190}).sprite, 28.0f);  // not wider than 220
    EXPECT_FLOAT_EQ(flameSizeFor({0, 0, 150, 50}).sprite, 16.0f);   // 0.22 x 50 = 11, at least 16

    // Flame 0 of a 200 x 100 post at t = 2: phase 0.84 is in its fade-out.
    const RectF post{20, 30, 200, 100};
    const std::vector<FlameDraw> flames = flamesFor(post, 2.0);
    ASSERT_FALSE(flames.empty());
    const float s = 22.0f, p = 0.84f;
    const float alpha = (1 - p) / 0.28f * 0.78f;
    EXPECT_NEAR(flames[0].alpha, alpha, 1e-4);
    EXPECT_NEAR(flames[0].dest.x, 20 + 0.1f * 200 + 5 * std::sin(4.4f) - 0.5f * s, 1e-3);
    EXPECT_NEAR(flames[0].dest.y, 30 + 100 - 0.85f * s - (100 - 0.25f * s) * p, 1e-3);
    EXPECT_FLOAT_EQ(flames[0].dest.w, s);
    // Every flame drawn is visible and never brighter than 0.78.
    for (const FlameDraw& f : flames) {
        EXPECT_GE(f.alpha, 0.04f);
        EXPECT_LE(f.alpha, 0.78f);
    }

    // Drawn inside the post's rounded clip; rectangles under 12 pixels get nothing at all.
    RecordingCanvas canvas;
    const int drawn = drawFlames(canvas, test::FakeImage(80, 80), {post, {0, 0, 11, 80}, {0, 0, 80, 11}}, 2.0);
    EXPECT_EQ(drawn, static_cast<int>(flames.size()));
    ASSERT_EQ(canvas.of(Op::pushClip).size(), 1u);
    EXPECT_FLOAT_EQ(canvas.of(Op::pushClip)[0].radius, 18.0f);  // min(0.22 x 100, 18)
    for (const auto& call : canvas.of(Op::image)) EXPECT_EQ(call.clipDepth, 1);
    EXPECT_NEAR(canvas.of(Op::image)[0].opacity, alpha, 1e-4);
}

TEST(Flames, APaintDrawsAtMostTwelveRectanglesOfTwelveFlames) {
    const std::vector<RectF> many(200, RectF{0, 0, 300, 200});
    RecordingCanvas canvas;
    const int drawn = drawFlames(canvas, test::FakeImage(80, 80), many, 2.0);
    EXPECT_EQ(canvas.of(Op::pushClip).size(), kMaxFlameRects);
    EXPECT_LE(drawn, static_cast<int>(kMaxFlameRects) * 12);
    EXPECT_EQ(drawn, static_cast<int>(kMaxFlameRects * flamesFor(many[0], 2.0).size()));
}

TEST(Flames, TheSpriteIsMadeOnceAndAFailedOneIsNotMadeAgainForFiveSeconds) {
    // The check: 31 inked samples of every second pixel of every second row pass, 30 do not.
    struct Inked final : CanvasImage {
        int samples;
        explicit Inked(int n) : samples(n) {}
        int width() const override { return 80; }
        int height() const override { return 80; }
        int alphaAt(int x, int y) const override { return y == 0 && x % 2 == 0 && x / 2 < samples ? 25 : 24; }
    };
    EXPECT_TRUE(emojiSpriteDrawn(Inked(31)));
    EXPECT_FALSE(emojiSpriteDrawn(Inked(30)));

    const std::vector<RectF> hot{{10, 10, 300, 200}};
    RecordingTarget target;
    target.emojiAlpha = 0;  // the system drew nothing: no colour emoji
    FlameLayer layer;
    const double base = 7000.0;
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 1.0));
    EXPECT_EQ(layer.spriteRenders(), 1);
    ASSERT_EQ(target.paints.size(), 1u);
    EXPECT_EQ(target.paints[0].canvas.emojiRendered, std::vector<std::string>{"\xF0\x9F\x94\xA5"});
    EXPECT_TRUE(target.paints[0].canvas.of(Op::image).empty());
    // Frames within five seconds neither render the sprite again nor paint.
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 1.1));
    EXPECT_FALSE(layer.paintFlames(target, 400, 300, hot, base + 4.4));
    EXPECT_EQ(layer.spriteRenders(), 1);
    EXPECT_EQ(target.paints.size(), 1u);

    // Then it is tried again; this time it works and is kept for good.
    target.emojiAlpha = 255;
    EXPECT_TRUE(layer.paintFlames(target, 400, 300, hot, base + 7.0 + 1.0));
    for (int frame = 0; frame < 30; ++frame) layer.paintFlames(target, 400, 300, hot, base + 7.0 + 1.0 + frame / 60.0);
    EXPECT_EQ(layer.spriteRenders(), 2);
    EXPECT_TRUE(layer.hasSprite());
}

TEST(Flames, TheFeedAndTheFeaturedCardShareTheSlotAndBothPaintInOneFrame) {
    RecordingTarget target;
    FlameLayer layer;
    const double now = 2.0;
    EXPECT_TRUE(layer.paintFlames(target, 538, 907, {{6, 700, 520, 120}}, now));
    EXPECT_TRUE(layer.paintFlames(target, 960, 540, {{14, 14, 932, 512}}, now));
    ASSERT_EQ(target.paints.size(), 2u);
    EXPECT_EQ(target.paints[0].slot, LayerSlot::flames);
    EXPECT_EQ(target.paints[1].slot, LayerSlot::flames);
    EXPECT_NE(target.paints[0].key, target.paints[1].key);  // the second paint is not skipped
    EXPECT_FALSE(target.paints[1].canvas.of(Op::image).empty());
    // Nothing to burn: no paint.
    EXPECT_FALSE(layer.paintFlames(target, 538, 907, {}, now));
    EXPECT_FALSE(layer.paintFlames(target, 538, 907, {{0, 0, 11, 11}}, now));
    EXPECT_FALSE(layer.paintFlames(target, 7, 907, {{0, 0, 100, 100}}, now));
    EXPECT_EQ(target.paints.size(), 2u);
}

}  // namespace
}  // namespace lumvo

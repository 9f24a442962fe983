// Hot-post flames: drawn inside each post's clip, the bound on a paint's work, the sprite check with
// its retry, and the feed and featured card sharing the slot.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "overlay/flames.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using test::sameRect;
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

TEST(Flames, DrawnInsideEachPostsClipSkippingTinyOnesAndBoundedPerPaint) {
    const RectF big{10, 10, 300, 200}, post{20, 30, 200, 100};
    RecordingCanvas canvas;
    const int drawn = drawFlames(canvas, test::FakeImage(80, 80), {post, {0, 0, 11, 80}, {0, 0, 80, 11}}, 2.0);
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(drawn, static_cast<int>(flamesFor(post, 2.0).size()));
    ASSERT_EQ(canvas.of(Op::pushClip).size(), 1u) << "under 12 pixels either way: no flames";
    EXPECT_TRUE(sameRect(canvas.of(Op::pushClip)[0].rect, post));
    for (const auto& call : canvas.of(Op::image)) EXPECT_EQ(call.clipDepth, 1);

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

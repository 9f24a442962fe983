// The overlay's GPU side on a real Direct3D 11 device (Wine's software rasteriser): quads drawn
// through a host's busy pipeline state land where they should, thin ones are not drawn, and the
// host's state reads back exactly as it was; a layer is uploaded only when its content changes.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "moving_video.h"
#include "overlay/win/overlay_renderer.h"
#include "pipeline_state.h"
#include "test_support.h"

namespace {

using lumvo::LayerSlot;
using lumvo::OverlayRenderer;

constexpr int kSize = 64;

struct Gpu {
    standin::TestVideo video;
    standin::PipelineState host;
    std::vector<std::uint8_t> pixels;

    void SetUp() {
        std::string error;
        ASSERT_TRUE(video.create(kSize, kSize, error)) << error;
        ASSERT_TRUE(standin::makeHostState(video.device(), video.targetView(), kSize, kSize, host, error)) << error;
    }
    // The target cleared to black and the host's state bound, as before the host calls draw.
    void hostFrame() {
        const FLOAT black[4] = {0, 0, 0, 1};
        video.context()->ClearRenderTargetView(video.targetView(), black);
        host.apply(video.context());
    }
    std::uint32_t pixel(int x, int y) {  // 0xAARRGGBB
        const std::uint8_t* p = &pixels[(static_cast<size_t>(y) * kSize + x) * 4];
        return static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
    }
};

TEST(OverlayPipeline, QuadsLandThroughTheHostsStateThinOnesAreNotDrawnAndTheHostsStateIsPutBack) {
    lumvo::test::GdiplusSession gdiplus;
    Gpu gpu;
    gpu.SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    OverlayRenderer renderer;
    ASSERT_TRUE(renderer.initialise(gpu.video.device()));
    // A 2 x 2 layer of opaque red (B, G, R, A bytes).
    ASSERT_TRUE(renderer.ensureTexture(LayerSlot::chatFeed, 2, 2));
    const std::uint32_t red = 0xFFFF0000;
    const std::uint32_t texels[4] = {red, red, red, red};
    ASSERT_TRUE(renderer.upload(LayerSlot::chatFeed, texels, 8));

    gpu.hostFrame();
    standin::PipelineState before, after;
    before.capture(gpu.video.context());
    ASSERT_TRUE(renderer.beginFrame(kSize, kSize));
    renderer.drawLayer(LayerSlot::chatFeed, {4, 4, 8, 8}, 1.0f);       // drawn
    renderer.drawLayer(LayerSlot::chatFeed, {20, 4, 1.0f, 30}, 1.0f);  // 1 px wide: not drawn
    renderer.drawLayer(LayerSlot::chatFeed, {4, 20, 30, 1.0f}, 1.0f);  // 1 px high: not drawn
    renderer.drawLayer(LayerSlot::chatFeed, {40, 4, 8, 8}, 0.5f);      // half the layer's alpha
    renderer.drawLayer(LayerSlot::qrCard, {40, 40, 8, 8}, 1.0f);       // a slot without a texture
    renderer.endFrame();
    after.capture(gpu.video.context());
    EXPECT_EQ(standin::changedPieces(before, after), std::vector<std::string>{});

    ASSERT_TRUE(gpu.video.readPixels(gpu.pixels));
    EXPECT_EQ(gpu.pixel(8, 8), 0xFFFF0000u) << "the quad lands at its pixel rectangle";
    EXPECT_EQ(gpu.pixel(3, 8), 0xFF000000u);
    EXPECT_EQ(gpu.pixel(12, 8), 0xFF000000u) << "and ends at its right edge";
    EXPECT_EQ(gpu.pixel(20, 10), 0xFF000000u) << "a quad 1 pixel wide is not drawn";
    EXPECT_EQ(gpu.pixel(10, 20), 0xFF000000u) << "a quad 1 pixel high is not drawn";
    const std::uint32_t half = gpu.pixel(44, 8);
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 128, 2) << std::hex << half << ": straight alpha, blended over";
    EXPECT_EQ(half & 0xFFFF, 0u);
    EXPECT_EQ(gpu.pixel(44, 44), 0xFF000000u);

    // A frame that draws nothing binds nothing, and shutdown lets go of the layers.
    gpu.hostFrame();
    before.capture(gpu.video.context());
    ASSERT_TRUE(renderer.beginFrame(kSize, kSize));
    renderer.endFrame();
    after.capture(gpu.video.context());
    EXPECT_EQ(standin::changedPieces(before, after), std::vector<std::string>{});
    renderer.shutdown();
    EXPECT_FALSE(renderer.ready());
    EXPECT_FALSE(renderer.beginFrame(kSize, kSize)) << "no device after shutdown, and no source to ask";
    renderer.endFrame();
    EXPECT_EQ(renderer.texture(LayerSlot::chatFeed).width, 0u);
}

TEST(OverlayPipeline, ALayerIsPaintedAndUploadedOnlyWhenItsContentKeyOrSizeChanges) {
    lumvo::test::GdiplusSession gdiplus;
    Gpu gpu;
    gpu.SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    OverlayRenderer renderer;
    // The device comes through the draw slot's retry: asked until there is one.
    int asked = 0;
    renderer.setDeviceSource([&]() -> ID3D11Device* { return ++asked < 3 ? nullptr : gpu.video.device(); });
    EXPECT_FALSE(renderer.beginFrame(kSize, kSize));
    renderer.endFrame();
    EXPECT_FALSE(renderer.beginFrame(kSize, kSize));
    renderer.endFrame();
    ASSERT_TRUE(renderer.beginFrame(kSize, kSize));
    EXPECT_EQ(asked, 3);

    int painted = 0;
    auto card = [&](lumvo::Argb colour) {
        return [&painted, colour](lumvo::Canvas& canvas) {
            ++painted;
            canvas.fillRect({0, 0, 40, 20}, colour);
        };
    };
    const LayerSlot feed = LayerSlot::chatFeed;
    EXPECT_TRUE(renderer.paintLayer(feed, 40, 20, "feed 1", card(0xFF00FF00)));
    ID3D11Texture2D* first = renderer.texture(feed).texture.Get();
    for (int frame = 0; frame < 5; ++frame) EXPECT_TRUE(renderer.paintLayer(feed, 40, 20, "feed 1", card(0xFF00FF00)));
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(renderer.uploads(feed), 1u) << "an unchanged card is not repainted";

    EXPECT_TRUE(renderer.paintLayer(feed, 40, 20, "feed 2", card(0xFF0000FF)));
    EXPECT_EQ(renderer.uploads(feed), 2u);
    EXPECT_EQ(renderer.texture(feed).texture.Get(), first) << "same size: the texture is kept";
    EXPECT_EQ(renderer.texture(feed).cacheKey, "feed 2");

    EXPECT_TRUE(renderer.paintLayer(feed, 48, 20, "feed 2", card(0xFF0000FF)));
    EXPECT_EQ(renderer.uploads(feed), 3u) << "a new size is a new picture";
    EXPECT_EQ(renderer.texture(feed).width, 48u);
    EXPECT_EQ(renderer.uploads(LayerSlot::qrCard), 0u);

    // A card that throws leaves the old picture with its old key, so the new one is tried again.
    EXPECT_FALSE(renderer.paintLayer(feed, 48, 20, "feed 3", [](lumvo::Canvas&) { throw std::runtime_error("card"); }));
    EXPECT_EQ(renderer.texture(feed).cacheKey, "feed 2");
    EXPECT_TRUE(renderer.texture(feed).view);
    EXPECT_FALSE(renderer.ensureTexture(feed, 0, 20)) << "a size of 0 releases the texture";
    EXPECT_FALSE(renderer.texture(feed).view);
    renderer.endFrame();
}

}  // namespace

// The flame slot on a real device: the feed's and the featured card's flames share one texture
// that is not made anew for each of its two sizes, and each quad shows only the part its paint used.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "moving_video.h"
#include "overlay/win/overlay_renderer.h"
#include "pipeline_state.h"
#include "test_support.h"

namespace {

using namespace lumvo::test;
using lumvo::LayerSlot;

constexpr int kSize = 64;

lumvo::LayerPainter fill(lumvo::Argb colour, float w, float h) {
    return [=](lumvo::Canvas& canvas) { canvas.fillRect({0, 0, w, h}, colour); };
}

TEST(FlameSlot, TheFeedsAndTheFeaturedCardsPaintsShareOneTextureAndEachQuadShowsItsOwnPart) {
    GdiplusSession gdiplus;
    standin::TestVideo video;
    standin::PipelineState host;
    std::string error;
    ASSERT_TRUE(video.create(kSize, kSize, error)) << error;
    ASSERT_TRUE(standin::makeHostState(video.device(), video.targetView(), kSize, kSize, host, error)) << error;
    lumvo::OverlayRenderer renderer;
    ASSERT_TRUE(renderer.initialise(video.device()));
    const FLOAT black[4] = {0, 0, 0, 1};

    // The first frame grows the texture to hold both sizes: wide 40 x 20, then tall 20 x 40.
    ASSERT_TRUE(renderer.beginFrame(kSize, kSize));
    ASSERT_TRUE(renderer.paintLayer(LayerSlot::flames, 40, 20, "feed 1", fill(0xFF00FF00, 40, 20)));
    ASSERT_TRUE(renderer.paintLayer(LayerSlot::flames, 20, 40, "card 1", fill(0xFFFF0000, 20, 40)));
    renderer.endFrame();
    ID3D11Texture2D* const shared = renderer.texture(LayerSlot::flames).texture.Get();
    EXPECT_EQ(renderer.texture(LayerSlot::flames).width, 40u);
    EXPECT_EQ(renderer.texture(LayerSlot::flames).height, 40u);

    // Later frames paint both into that same texture, and each quad shows only its own picture:
    // sampling the whole texture would stretch the unused, clear part over the quads too.
    video.context()->ClearRenderTargetView(video.targetView(), black);
    host.apply(video.context());
    ASSERT_TRUE(renderer.beginFrame(kSize, kSize));
    ASSERT_TRUE(renderer.paintLayer(LayerSlot::flames, 40, 20, "feed 2", fill(0xFF00FF00, 40, 20)));
    renderer.drawLayer(LayerSlot::flames, {0, 0, 32, 16}, 1.0f);
    ASSERT_TRUE(renderer.paintLayer(LayerSlot::flames, 20, 40, "card 2", fill(0xFFFF0000, 20, 40)));
    renderer.drawLayer(LayerSlot::flames, {32, 16, 16, 32}, 1.0f);
    renderer.endFrame();
    EXPECT_EQ(renderer.texture(LayerSlot::flames).texture.Get(), shared) << "made anew for a size it holds";
    EXPECT_EQ(renderer.uploads(LayerSlot::flames), 4u);

    std::vector<std::uint8_t> pixels;
    ASSERT_TRUE(video.readPixels(pixels));
    auto at = [&](int x, int y) {
        const std::uint8_t* p = &pixels[(static_cast<size_t>(y) * kSize + x) * 4];
        return static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
    };
    EXPECT_EQ(at(4, 4), 0xFF00FF00u);
    EXPECT_EQ(at(29, 13), 0xFF00FF00u) << "the feed's picture fills its whole quad";
    EXPECT_EQ(at(35, 20), 0xFFFF0000u);
    EXPECT_EQ(at(45, 45), 0xFFFF0000u) << "the card's picture fills its whole quad";
    EXPECT_EQ(at(50, 8), 0xFF000000u);
}

}  // namespace

// The overlay's GPU side on a real Direct3D 11 device (Wine's software rasteriser) with a host's
// busy pipeline state bound: the state check (the stand-in host's, around every draw) names every
// piece a draw leaves changed; quads land where they should, thin ones are not drawn, and the
// host's state reads back exactly as it was; a layer's texture is kept for its size, also when a
// card throws; the flame slot's texture holds two sizes and each quad shows only its own part.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "moving_video.h"
#include "overlay/win/overlay_renderer.h"
#include "pipeline_state.h"
#include "test_support.h"

namespace {

using lumvo::LayerSlot;
using Pieces = std::vector<std::string>;

constexpr int kSize = 64;

lumvo::LayerPainter fill(lumvo::Argb colour, float w, float h) {
    return [=](lumvo::Canvas& canvas) { canvas.fillRect({0, 0, w, h}, colour); };
}

class OverlayPipeline : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(video_.create(kSize, kSize, error)) << error;
        ASSERT_TRUE(standin::makeHostState(video_.device(), video_.targetView(), kSize, kSize, host_, error)) << error;
        ASSERT_TRUE(renderer_.initialise(video_.device()));
    }
    // The target cleared to black and the host's state bound, as before the host calls draw; then
    // what `draw` changed of the state.
    Pieces changedBy(const std::function<void()>& draw) {
        const FLOAT black[4] = {0, 0, 0, 1};
        context()->ClearRenderTargetView(video_.targetView(), black);
        host_.apply(context());
        standin::PipelineState before, after;
        before.capture(context());
        draw();
        after.capture(context());
        return standin::changedPieces(before, after);
    }
    std::uint32_t pixel(int x, int y) {  // 0xAARRGGBB of the last readPixels()
        const std::uint8_t* p = &pixels_[(static_cast<size_t>(y) * kSize + x) * 4];
        return static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
    }
    ID3D11DeviceContext* context() { return video_.context(); }

    lumvo::test::GdiplusSession gdiplus_;
    standin::TestVideo video_;
    standin::PipelineState host_;
    lumvo::OverlayRenderer renderer_;
    std::vector<std::uint8_t> pixels_;
};

TEST_F(OverlayPipeline, TheStateCheckNamesEveryPieceADrawLeavesChanged) {
    // The save-and-restore bugs an effect can have, each caught by the check the stand-in host
    // runs around every draw of the plug-in.
    standin::ComPtr<ID3D11BlendState> blend;
    D3D11_BLEND_DESC alpha{};
    alpha.RenderTarget[0] = {TRUE,
                             D3D11_BLEND_SRC_ALPHA,
                             D3D11_BLEND_INV_SRC_ALPHA,
                             D3D11_BLEND_OP_ADD,
                             D3D11_BLEND_ONE,
                             D3D11_BLEND_INV_SRC_ALPHA,
                             D3D11_BLEND_OP_ADD,
                             D3D11_COLOR_WRITE_ENABLE_ALL};
    ASSERT_TRUE(SUCCEEDED(video_.device()->CreateBlendState(&alpha, &blend)));
    ID3D11DeviceContext* c = context();
    const D3D11_VIEWPORT half{0, 0, kSize / 2, kSize / 2, 0, 1};
    const FLOAT factor[4] = {1, 1, 1, 1};
    ID3D11ShaderResourceView* noView = nullptr;
    ID3D11Buffer* vertices = host_.vertexBuffers[0].Get();
    const UINT stride = host_.vertexStrides[0], offset = host_.vertexOffsets[0] + 8;
    const std::vector<std::pair<std::function<void()>, Pieces>> faults = {
        {[&] { c->OMSetBlendState(blend.Get(), nullptr, 0xFFFFFFFF); },
         {"the blend state", "the blend factor", "the sample mask"}},
        {[&] { c->RSSetState(nullptr); }, {"the rasterizer state"}},  // "restored" to the default
        {[&] { c->RSSetViewports(1, &half); }, {"the viewports"}},
        {[&] { c->PSSetShaderResources(0, 1, &noView); }, {"the pixel shader's resource view in slot 0"}},
        {[&] { c->OMSetBlendState(host_.blendState.Get(), factor, host_.sampleMask); }, {"the blend factor"}},
        {[&] { c->IASetVertexBuffers(0, 1, &vertices, &stride, &offset); }, {"the vertex offset in slot 0"}},
        {[&] { c->OMSetRenderTargets(0, nullptr, nullptr); },
         {"the render target view in slot 0", "the depth-stencil view"}},
        {[&] { c->GSSetShader(nullptr, nullptr, 0); }, {"the geometry shader"}},
        {[&] {  // everything changed, then put back from the record: nothing to name
             standin::PipelineState saved;
             saved.capture(c);
             c->ClearState();
             saved.apply(c);
         },
         {}},
    };
    for (const auto& [fault, named] : faults) EXPECT_EQ(changedBy(fault), named);
}

TEST_F(OverlayPipeline, QuadsLandThroughTheHostsStateThinOnesAreNotDrawnAndTheHostsStateIsPutBack) {
    // A 2 x 2 layer of opaque red (B, G, R, A bytes).
    ASSERT_TRUE(renderer_.ensureTexture(LayerSlot::chatFeed, 2, 2));
    const std::uint32_t red = 0xFFFF0000;
    const std::uint32_t texels[4] = {red, red, red, red};
    ASSERT_TRUE(renderer_.upload(LayerSlot::chatFeed, texels, 8));
    EXPECT_EQ(changedBy([&] {
                  ASSERT_TRUE(renderer_.beginFrame(kSize, kSize));
                  renderer_.drawLayer(LayerSlot::chatFeed, {4, 4, 8, 8}, 1.0f);       // drawn
                  renderer_.drawLayer(LayerSlot::chatFeed, {20, 4, 1.0f, 30}, 1.0f);  // 1 px wide: not drawn
                  renderer_.drawLayer(LayerSlot::chatFeed, {4, 20, 30, 1.0f}, 1.0f);  // 1 px high: not drawn
                  renderer_.drawLayer(LayerSlot::chatFeed, {40, 4, 8, 8}, 0.5f);      // half the layer's alpha
                  renderer_.drawLayer(LayerSlot::qrCard, {40, 40, 8, 8}, 1.0f);       // a slot without a texture
                  renderer_.endFrame();
              }),
              Pieces{});

    ASSERT_TRUE(video_.readPixels(pixels_));
    EXPECT_EQ(pixel(8, 8), 0xFFFF0000u) << "the quad lands at its pixel rectangle";
    EXPECT_EQ(pixel(3, 8), 0xFF000000u);
    EXPECT_EQ(pixel(12, 8), 0xFF000000u) << "and ends at its right edge";
    EXPECT_EQ(pixel(20, 10), 0xFF000000u) << "a quad 1 pixel wide is not drawn";
    EXPECT_EQ(pixel(10, 20), 0xFF000000u) << "a quad 1 pixel high is not drawn";
    const std::uint32_t half = pixel(44, 8);
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 128, 2) << std::hex << half << ": straight alpha, blended over";
    EXPECT_EQ(half & 0xFFFF, 0u);
    EXPECT_EQ(pixel(44, 44), 0xFF000000u);

    // A frame that draws nothing binds nothing, and shutdown lets go of the layers.
    EXPECT_EQ(changedBy([&] {
                  ASSERT_TRUE(renderer_.beginFrame(kSize, kSize));
                  renderer_.endFrame();
              }),
              Pieces{});
    renderer_.shutdown();
    EXPECT_FALSE(renderer_.beginFrame(kSize, kSize)) << "no device after shutdown, and no source to ask";
    renderer_.endFrame();
    EXPECT_EQ(renderer_.texture(LayerSlot::chatFeed).width, 0u);
}

TEST_F(OverlayPipeline, ALayerKeepsItsTextureForItsSizeAndACardThatThrowsLeavesTheOldPicture) {
    // (Which keys repaint a card is tested natively and through the plug-in in overlay_frame_test.)
    ASSERT_TRUE(renderer_.beginFrame(kSize, kSize));
    const LayerSlot feed = LayerSlot::chatFeed;
    EXPECT_TRUE(renderer_.paintLayer(feed, 40, 20, "feed 1", fill(0xFF00FF00, 40, 20)));
    ID3D11Texture2D* first = renderer_.texture(feed).texture.Get();
    EXPECT_TRUE(renderer_.paintLayer(feed, 40, 20, "feed 2", fill(0xFF0000FF, 40, 20)));
    EXPECT_EQ(renderer_.texture(feed).texture.Get(), first) << "same size: the texture is kept";
    EXPECT_TRUE(renderer_.paintLayer(feed, 48, 20, "feed 2", fill(0xFF0000FF, 48, 20)));
    EXPECT_EQ(renderer_.uploads(feed), 3u) << "a new size is a new picture";
    EXPECT_EQ(renderer_.texture(feed).width, 48u);

    // A card that throws leaves the old picture with its old key, so the new one is tried again.
    EXPECT_FALSE(
        renderer_.paintLayer(feed, 48, 20, "feed 3", [](lumvo::Canvas&) { throw std::runtime_error("card"); }));
    EXPECT_EQ(renderer_.texture(feed).cacheKey, "feed 2");
    EXPECT_TRUE(renderer_.texture(feed).view);
    EXPECT_FALSE(renderer_.ensureTexture(feed, 0, 20)) << "a size of 0 releases the texture";
    EXPECT_FALSE(renderer_.texture(feed).view);
    renderer_.endFrame();
}

TEST_F(OverlayPipeline, TheFeedsAndTheFeaturedCardsFlamesShareOneTextureAndEachQuadShowsItsOwnPart) {
    // The first frame grows the texture to hold both sizes: wide 40 x 20, then tall 20 x 40.
    const LayerSlot flames = LayerSlot::flames;
    ASSERT_TRUE(renderer_.beginFrame(kSize, kSize));
    ASSERT_TRUE(renderer_.paintLayer(flames, 40, 20, "feed 1", fill(0xFF00FF00, 40, 20)));
    ASSERT_TRUE(renderer_.paintLayer(flames, 20, 40, "card 1", fill(0xFFFF0000, 20, 40)));
    renderer_.endFrame();
    ID3D11Texture2D* const shared = renderer_.texture(flames).texture.Get();
    EXPECT_EQ(renderer_.texture(flames).width, 40u);
    EXPECT_EQ(renderer_.texture(flames).height, 40u);

    // Later frames paint both into that same texture, and each quad shows only its own picture:
    // sampling the whole texture would stretch the unused, clear part over the quads too.
    changedBy([&] {
        ASSERT_TRUE(renderer_.beginFrame(kSize, kSize));
        ASSERT_TRUE(renderer_.paintLayer(flames, 40, 20, "feed 2", fill(0xFF00FF00, 40, 20)));
        renderer_.drawLayer(flames, {0, 0, 32, 16}, 1.0f);
        ASSERT_TRUE(renderer_.paintLayer(flames, 20, 40, "card 2", fill(0xFFFF0000, 20, 40)));
        renderer_.drawLayer(flames, {32, 16, 16, 32}, 1.0f);
        renderer_.endFrame();
    });
    EXPECT_EQ(renderer_.texture(flames).texture.Get(), shared) << "made anew for a size it holds";
    EXPECT_EQ(renderer_.uploads(flames), 4u);
    ASSERT_TRUE(video_.readPixels(pixels_));
    EXPECT_EQ(pixel(4, 4), 0xFF00FF00u);
    EXPECT_EQ(pixel(29, 13), 0xFF00FF00u) << "the feed's picture fills its whole quad";
    EXPECT_EQ(pixel(35, 20), 0xFFFF0000u);
    EXPECT_EQ(pixel(45, 45), 0xFFFF0000u) << "the card's picture fills its whole quad";
    EXPECT_EQ(pixel(50, 8), 0xFF000000u);
}

}  // namespace

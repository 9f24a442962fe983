// Hot-post flames on Windows: the feed's and the featured card's flames share one texture that is
// not made anew for each of its two sizes, each quad shows only the part its paint used; and in the
// stand-in host the rolling feed's hot posts burn (frames kept in test-output/windows/flames/).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "moving_video.h"
#include "overlay/win/overlay_renderer.h"
#include "pipeline_state.h"
#include "serverlink/json.h"
#include "standin_support.h"
#include "test_support.h"
#include "wall_support.h"

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

TEST(HotPostFlames, AFeedWithHotPostsBurnsAtMostTwoFlamePaintsAFrame) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data, out;
    stageFixtureWall(data, "feed-server.js");  // every eight posts hold a hot one
    constexpr int kFrames = 100;
    const RunResult run = runStandinHost("--hidden --fps 10 --frames " + std::to_string(kFrames) +
                                             " --png-every 5 --print-state --data \"" + data.path() + "\" --out \"" +
                                             out.path() + "\"",
                                         out);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const std::string state = outputLine(run.output, "mirrored state: ");
    const double flames = lumvo::jsonGetNumber(state.substr(state.find("\"repaints\"")), "flames", -1);
    // 10 s: the flames burn in 4.5 of every 7 s, once the feed has arrived.
    EXPECT_GE(flames, 20) << "no flames were painted (the fire sprite failed its check?): " << state;
    EXPECT_LE(flames, kFrames) << "only the feed burns here: one flame paint a frame at most";
    for (int frame = 5; frame <= kFrames; frame += 5) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", frame);
        makeFolders(repoPath("test-output\\windows\\flames"));
        CopyFileA((out / name).c_str(), repoPath(std::string("test-output\\windows\\flames\\") + name).c_str(), FALSE);
    }
}

}  // namespace

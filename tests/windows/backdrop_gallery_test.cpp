// Word backdrops in whole frames of the plug-in object: the chase's emoji pictures belong to the
// renderer and go with its shutdown (the plug-in ends GDI+ after it), and every backdrop is drawn
// beneath the featured card; a frame of each, and one contact sheet of them all, are kept in
// test-output/demo/gallery/backdrops/ for a person to look at. (Which word starts what, and how the
// particles move, is tested natively.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backdrop_posts.h"
#include "drawing_plugin.h"
#include "png_file.h"

namespace {

using namespace lumvo::test;

using lumvo::LayerSlot;

TEST(WordBackdrops, TheChasePicturesBelongToTheRendererAndGoWithItsShutdown) {
    DrawingPlugin wall;
    wall.start(1280, 720);
    if (::testing::Test::HasFatalFailure()) return;
    lumvo::VideoWallPlugin& plugin = *wall.plugin;
    plugin.display().publish(featuredPost("p_1", "shoutout", "you look sexy tonight"));
    wall.draw(10);
    EXPECT_GE(plugin.renderer().uploads(LayerSlot::wordBackdrop), 9u) << "painted every frame while it has particles";
    EXPECT_EQ(plugin.renderer().keptPictures(), 2u) << "peach and aubergine";
    EXPECT_EQ(plugin.renderer().picturesMade(), 2u) << "made once, then kept";

    // The host closes the device: the pictures go with the renderer's other GDI+ objects, before
    // the plug-in could end GDI+, and the backdrop starts afresh.
    EXPECT_EQ(plugin.deviceClose(), 0);
    EXPECT_EQ(plugin.renderer().keptPictures(), 0u);
    EXPECT_TRUE(plugin.overlay().backdrops().pool.empty());
    EXPECT_EQ(plugin.deviceInit(), 0);
    plugin.display().publish(featuredPost("p_2", "shoutout", "sexy and I know it"));
    wall.draw(5);
    EXPECT_EQ(plugin.renderer().picturesMade(), 4u) << "made again when needed";
    EXPECT_GT(plugin.overlay().backdropParticlesPainted(), 0);
}

TEST(WordBackdrops, EveryBackdropDrawnBeneathTheCardInTheGallery) {
    const std::vector<BackdropPost>& entries = backdropPosts();
    DrawingPlugin wall;
    wall.start(1280, 720);
    if (::testing::Test::HasFatalFailure()) return;
    lumvo::VideoWallPlugin& plugin = *wall.plugin;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // the PNG writer's WIC
    const std::string folder = repoPath("test-output\\demo\\gallery\\backdrops");
    makeFolders(folder);

    // The contact sheet: each frame at a quarter of its size, five to a row.
    constexpr int kThumbW = 320, kThumbH = 180, kColumns = 5;
    const int rows = static_cast<int>((entries.size() + kColumns - 1) / kColumns);
    std::vector<std::uint32_t> sheet(static_cast<std::size_t>(kThumbW * kColumns * kThumbH * rows), 0xFF101018u);
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const BackdropPost& e = entries[n];
        // A fresh device for each: no particles left from the one before.
        EXPECT_EQ(plugin.deviceClose(), 0);
        EXPECT_EQ(plugin.deviceInit(), 0);
        plugin.display().publish(featuredPost("p_" + std::to_string(n + 1), e.type, e.text));
        const std::uint64_t before = plugin.renderer().uploads(LayerSlot::wordBackdrop);
        wall.draw(e.frames);
        EXPECT_GE(plugin.renderer().uploads(LayerSlot::wordBackdrop) - before, static_cast<std::uint64_t>(e.frames - 1))
            << e.name;
        EXPECT_GT(plugin.overlay().backdropParticlesPainted(), 3) << e.name;
        const Frame frame = wall.pixels();
        ASSERT_EQ(frame.width, 1280);
        EXPECT_TRUE(standin::writePng(lumvo::utf8ToWide(folder + "\\" + e.name + ".png"),
                                      reinterpret_cast<const std::uint8_t*>(frame.pixels.data()), frame.width,
                                      frame.height, frame.width * 4))
            << e.name;
        const int left = static_cast<int>(n % kColumns) * kThumbW, top = static_cast<int>(n / kColumns) * kThumbH;
        for (int y = 0; y < kThumbH; ++y) {
            for (int x = 0; x < kThumbW; ++x) {
                // The mean of each 4 x 4 block.
                std::uint32_t sum[3] = {};
                for (int dy = 0; dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx) {
                        const std::uint32_t p = frame.at(4 * x + dx, 4 * y + dy);
                        for (int c = 0; c < 3; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
                    }
                sheet[static_cast<std::size_t>(top + y) * kThumbW * kColumns + left + x] =
                    0xFF000000u | ((sum[2] / 16) << 16) | ((sum[1] / 16) << 8) | (sum[0] / 16);
            }
        }
    }
    EXPECT_TRUE(standin::writePng(lumvo::utf8ToWide(folder + "\\contact-sheet.png"),
                                  reinterpret_cast<const std::uint8_t*>(sheet.data()), kThumbW * kColumns,
                                  kThumbH * rows, kThumbW * kColumns * 4));
}

}  // namespace

// The overlay's effects against the flash limit: each scene is drawn by the real plug-in at
// 1280 x 720 and 30 fps over a still picture, every frame read back and given to the flash
// analyser (overlay/flash_analysis.h). No scene may flash more than three times in any one second.
// A frame of each goes to test-output/windows/flash/ for a person to look at.
//
// A new effect is a new row of scenes(): its name, how long it runs, what the wall shows at each
// frame (a document published then), and which frame to keep as a picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backdrop_posts.h"
#include "drawing_plugin.h"
#include "overlay/feed.h"
#include "overlay/flash_analysis.h"
#include "overlay/win/text_engine.h"
#include "base/win/wide_text.h"
#include "png_file.h"

namespace {

using namespace lumvo::test;

constexpr int kFps = 30;

// A poll of four bars with `votes` x 1..4 votes, running or just closed.
lumvo::DisplayDocument poll(int votes, bool closed = false, bool tie = false) {
    lumvo::DisplayDocument d;
    d.voteActive = true, d.voteTitle = "Encore or next song?", d.voteDuration = 600;
    d.voteRemain = closed ? 0 : 300;
    d.voteClosed = closed;
    const char* labels[] = {"Encore", "Next song", "Both", "Neither"};
    const lumvo::Argb colours[] = {0xFF22C55E, 0xFF3B82F6, 0xFFEC4899, 0xFFFACC15};
    for (int i = 0; i < 4; ++i)
        d.voteBars.push_back({"v_1_" + std::to_string(i + 1), labels[i], tie ? votes : votes * (i + 1), colours[i]});
    return d;
}

// A feed whose posts are all hot, the second featured (hot too): flames in the feed and on the card.
lumvo::DisplayDocument burning() {
    lumvo::FrameState shown;
    const char* ids[] = {"p1", "p2", "p3", "p4"};
    const char* texts[] = {"Happy birthday Jo!", "This DJ is on fire", "Greetings from table 7", "One more!"};
    for (int i = 0; i < 4; ++i)
        shown.feed.push_back({.id = ids[i], .type = "shoutout", .name = "Guest", .text = texts[i], .hot = true});
    lumvo::showFeatured(shown, shown.feed[1]);
    return shown;
}

struct FlashScene {
    const char* name;
    int frames;
    // The document to publish before frame `f`, or nothing.
    std::function<std::optional<lumvo::DisplayDocument>(int f)> at;
    int keptFrame;  // the frame saved as a picture
    // No text on the screen changes but with a new document: from the third second on, frames
    // without one lay out no text (the closing poll's labels fold and fade, so they do change).
    bool textsStill;
};

// The clock starts 1000 s in, 6 s into the flames' 7 s cycle: they show from the scene's second 1.
std::vector<FlashScene> scenes() {
    std::vector<FlashScene> list{
        // Votes on every bar at every display poll (150 ms): confetti all the time.
        {"poll-confetti", 4 * kFps, [](int f) { return f % 5 == 0 ? std::optional(poll(1 + f / 5)) : std::nullopt; },
         2 * kFps + 3, true},
        // The vote closes: the losing bars fold, WINNER shows, the winner glows.
        {"poll-winner", 4 * kFps,
         [](int f) {
             return f == 0 ? std::optional(poll(5)) : f == kFps ? std::optional(poll(5, true)) : std::nullopt;
         },
         3 * kFps, false},
        {"poll-no-winner", 3 * kFps,
         [](int f) {
             return f == 0      ? std::optional(poll(5, false, true))
                    : f == kFps ? std::optional(poll(5, true, true))
                                : std::nullopt;
         },
         2 * kFps, false},
        {"flames", 6 * kFps, [](int f) { return f == 0 ? std::optional(burning()) : std::nullopt; }, 3 * kFps, true},
    };
    // Every word backdrop behind its featured post, from the moment it is featured.
    for (const BackdropPost& post : backdropPosts()) {
        const lumvo::DisplayDocument shown = featuredPost(std::string("p_") + post.name, post.type, post.text);
        list.push_back({post.name, 5 * kFps / 2,
                        [shown](int f) { return f == 0 ? std::optional(shown) : std::nullopt; }, kFps, true});
    }
    return list;
}

TEST(FlashSafety, NoEffectFlashesMoreThanThreeTimesInAnyOneSecond) {
    makeFolders(repoPath("test-output\\windows\\flash"));
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // the PNG writer's WIC
    for (const FlashScene& scene : scenes()) {
        SCOPED_TRACE(scene.name);
        DrawingPlugin wall;
        wall.start(1280, 720);
        if (::testing::Test::HasFatalFailure()) return;
        lumvo::FlashAnalyser analyser(1280, 720, kFps);
        Frame first;
        int mostChanged = 0;
        std::uint64_t quietLayouts = 0;  // texts laid out in frames without a new document, after 2 s
        for (int f = 0; f < scene.frames; ++f) {
            const std::optional<lumvo::DisplayDocument> document = scene.at(f);
            if (document) wall.plugin->display().publish(*document);
            const std::uint64_t layouts = lumvo::textLayoutsMade();
            wall.clock.advance(static_cast<std::uint64_t>((f + 1) * 1000 / kFps - f * 1000 / kFps));
            wall.video.drawFrame(0.0);  // a still picture under the overlay
            EXPECT_EQ(wall.plugin->draw(), 0);
            if (!document && f >= 2 * kFps) quietLayouts += lumvo::textLayoutsMade() - layouts;
            const Frame frame = wall.pixels();
            ASSERT_EQ(frame.pixels.size(), 1280u * 720u);
            analyser.addFrame(frame.pixels);
            if (f == 0) first = frame;
            int changed = 0;
            for (std::size_t i = 0; i < frame.pixels.size(); ++i) changed += frame.pixels[i] != first.pixels[i];
            mostChanged = std::max(mostChanged, changed);
            if (f == scene.keptFrame) {
                const std::wstring png =
                    lumvo::utf8ToWide(repoPath("test-output/windows/flash/" + std::string(scene.name) + ".png"));
                EXPECT_TRUE(standin::writePng(png, reinterpret_cast<const std::uint8_t*>(frame.pixels.data()), 1280,
                                              720, 1280 * 4));
            }
        }
        const lumvo::FlashReport r = analyser.report();
        std::printf(
            "measured: flashes of %s at 1280x720, %d fps, %.1f s: %d general and %d red flashes (%.2f a second); "
            "worst one-second window from %.2f s: %d general, %d red; the most of one %dx%d field changing in one "
            "frame: %.1f %%\n",
            scene.name, kFps, r.seconds, r.generalFlashes, r.redFlashes, r.flashesPerSecond(), r.worstStart,
            r.worstGeneral, r.worstRed, r.fieldWidth, r.fieldHeight, 100 * r.largestShare);
        EXPECT_GT(mostChanged, 2000) << "the scene showed nothing";
        EXPECT_TRUE(r.passes()) << r.worstGeneral << " general, " << r.worstRed << " red flashes in one second";
        if (scene.textsStill) {
            EXPECT_EQ(quietLayouts, 0u) << "texts laid out again in frames where no text changed";
        }
    }
    lumvo::releaseTextEngine();
}

}  // namespace

// What the plug-in's threads share: the settings and the published display document, changed on
// one thread while the render thread draws from its own copies. Run under ThreadSanitizer too (the
// tsan layer), which reports any access that bypasses their locks.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "documents/published_display.h"
#include "overlay/overlay.h"
#include "settings/shared_settings.h"

namespace lumvo {
namespace {

struct SharedState {
    SharedSettings settings;
    PublishedDisplay display;
    Overlay overlay;
};

// A document whose parts must always be seen together: the featured id names the only feed post.
DisplayDocument stateNumber(int n) {
    DisplayDocument s;
    s.featuredId = "post-" + std::to_string(n) + std::string(40, 'x');  // beyond any short-string buffer
    s.feed.push_back({.id = s.featuredId, .type = "shoutout", .name = "Guest", .text = std::string(n % 300, 'a')});
    return s;
}

TEST(SharedState, TheRenderThreadSeesWholeStatesAndWholeSettingsWhileOthersChangeThem) {
    SharedState shared;
    std::atomic<bool> done{false}, workerDone{false};
    // The worker: new display documents and the server-driven settings, as fast as it can.
    std::thread worker([&] {
        for (int n = 1; n <= 3000; ++n) {
            shared.display.publish(stateNumber(n));
            shared.settings.change([n](WallSettings& s) {
                s.theme = n % 2 ? "wedding" : "garden";
                s.hotNeed = n % 2 ? 5 : 6;
            });
        }
        workerDone = true;
    });
    // The moderator window: the DJ's texts.
    std::thread host([&] {
        for (int n = 1; !done.load(); ++n) {
            shared.settings.change([n](WallSettings& s) {
                s.brandUrl = "https://club.example/" + std::string(n % 200, 'b');
                s.tipLink = s.brandUrl;
            });
        }
    });
    int frames = 0;
    for (; !workerDone.load() || frames < 1000; ++frames) {
        shared.overlay.drawFrame(1280, 720, shared.settings, shared.display);
        const DisplayDocument& frame = shared.overlay.frameState();
        if (!frame.feed.empty()) {
            ASSERT_EQ(frame.feed[0].id, frame.featuredId) << "a torn display document";
        }
        const WallSettings& s = shared.overlay.frameSettings();
        ASSERT_EQ(s.tipLink, s.brandUrl) << "a torn settings copy";
        if (s.theme != "club") {
            ASSERT_EQ(s.hotNeed, s.theme == "wedding" ? 5 : 6) << "a torn settings copy";
        }
    }
    worker.join();
    done = true;
    host.join();
    shared.overlay.drawFrame(1280, 720, shared.settings, shared.display);
    EXPECT_EQ(shared.overlay.frameState().featuredId, stateNumber(3000).featuredId) << "the last document is drawn";
    EXPECT_EQ(shared.overlay.frameSettings().theme, "garden");
}

TEST(SharedState, SwitchedOffAFrameTakesNothingAndSettingsAreCopiedOnlyAfterAChange) {
    SharedState shared;
    shared.display.publish(stateNumber(1));
    shared.settings.change([](WallSettings& s) { s.enable = 0; });
    shared.overlay.drawFrame(3840, 2160, shared.settings, shared.display);
    EXPECT_TRUE(shared.overlay.frameState().feed.empty()) << "switched off: the document is not copied";
    shared.settings.change([](WallSettings& s) { s.enable = 1; });
    shared.overlay.drawFrame(3840, 2160, shared.settings, shared.display);
    EXPECT_EQ(shared.overlay.frameState().featuredId, stateNumber(1).featuredId);

    WallSettings mine = shared.settings.copy();
    std::uint64_t seen = shared.settings.generation();
    mine.theme = "mine";
    EXPECT_FALSE(shared.settings.refresh(mine, seen));
    EXPECT_EQ(mine.theme, "mine") << "no change, no copy";
    shared.settings.replace(WallSettings{});
    EXPECT_TRUE(shared.settings.refresh(mine, seen));
    EXPECT_EQ(mine.theme, "club");
}

}  // namespace
}  // namespace lumvo

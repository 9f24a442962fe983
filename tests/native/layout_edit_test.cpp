// Layout editing by mouse: which box a press grabs, moving and resizing with clamping, layout.ini
// written when a drag ends, the drag whose button-up was lost, and the render thread never seeing
// a box outside its limits while a drag runs.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "overlay/layout_edit.h"

namespace lumvo {
namespace {

constexpr int W = 1000, H = 500;  // handles: 0.028 of the width, 0.056 of the height

struct Editing {
    SharedSettings settings;
    std::vector<WallSettings> saved;
    LayoutEditor editor{settings, [this](const WallSettings& s) { saved.push_back(s); }};
    explicit Editing(int edit = 1) {
        settings.change([&](WallSettings& s) { s.edit = edit; });
    }
    bool down(float fx, float fy, int buttons = 1) {
        return editor.mouseDown(static_cast<int>(std::lround(fx * W)), static_cast<int>(std::lround(fy * H)), buttons,
                                W, H);
    }
    bool move(float fx, float fy, int buttons = 1) {
        return editor.mouseMove(static_cast<int>(std::lround(fx * W)), static_cast<int>(std::lround(fy * H)), buttons,
                                W, H);
    }
    BoxRect chat() { return settings.copy().chat; }
};

TEST(LayoutEdit, HitTestOrderEdgeHandlesAndTheHiddenQrBox) {
    WallSettings s;                         // chat (0.70, 0.08, 0.28, 0.84): right edge 0.98, bottom 0.92
    s.hero = {0.60f, 0.10f, 0.30f, 0.30f};  // over the chat box: the featured box wins
    s.qr = {0.65f, 0.50f, 0.20f, 0.30f};
    using T = DragTarget;
    const std::tuple<float, float, T, bool, bool> hits[] = {
        {0.70f, 0.45f, T::moveChat, false, false},    // an edge is inside
        {0.951f, 0.35f, T::moveChat, false, false},   // just left of the band
        {0.99f, 0.35f, T::none, false, false},        // right of the box
        {0.953f, 0.35f, T::resizeChat, true, false},  // the right band
        {0.95f, 0.915f, T::resizeChat, false, true},  // the bottom band
        {0.97f, 0.90f, T::resizeChat, true, true},    // the corner
        {0.75f, 0.20f, T::moveFeatured, false, false}, {0.75f, 0.60f, T::moveQr, false, false},
    };
    for (const auto& [x, y, target, width, height] : hits) {
        const BoxHit hit = hitTest(s, x, y, W, H);
        EXPECT_TRUE(hit.target == target && hit.resizeWidth == width && hit.resizeHeight == height) << x << "," << y;
    }
    s.showQr = 0;
    EXPECT_EQ(hitTest(s, 0.75f, 0.60f, W, H).target, T::moveChat) << "a hidden QR box is not grabbed";
    EXPECT_EQ(hitTest(s, 0.66f, 0.60f, W, H).target, T::none);
}

TEST(LayoutEdit, DragsAreClampedAndEndWithLayoutIniSavedAlsoWhenTheButtonUpIsLost) {
    Editing off(0), e;
    EXPECT_FALSE(off.down(0.80f, 0.50f)) << "edit off";
    EXPECT_FALSE(e.down(0.80f, 0.50f, 2)) << "not the primary button";
    EXPECT_FALSE(e.editor.mouseDown(800, 250, 1, 0, 0)) << "no frame seen";
    EXPECT_FALSE(off.move(0.1f, 0.1f) || off.editor.mouseUp());

    // Grabbed 0.1 right of its left edge and 0.42 below its top, dragged up-left, then far right.
    ASSERT_TRUE(e.down(0.80f, 0.50f));
    EXPECT_TRUE(e.move(0.70f, 0.40f));
    EXPECT_TRUE(std::abs(e.chat().x - 0.60f) < 1e-4 && e.chat().y == 0.0f);
    EXPECT_TRUE(e.move(2.0f, 0.50f));
    EXPECT_NEAR(e.chat().x, 0.72f, 1e-4) << "its right side at 1.0";
    EXPECT_TRUE(e.saved.empty());
    EXPECT_TRUE(e.editor.mouseUp());
    ASSERT_EQ(e.saved.size(), 1u);
    EXPECT_NEAR(e.saved[0].chat.x, 0.72f, 1e-4);
    EXPECT_FALSE(e.editor.mouseUp());

    // The featured box (0.14, 0.16, 0.5, 0.5) by its bottom-right corner, shrunk past its minimum.
    ASSERT_TRUE(e.down(0.63f, 0.65f));
    EXPECT_EQ(e.editor.target(), DragTarget::resizeFeatured);
    EXPECT_TRUE(e.move(0.0f, 0.0f));
    // The button went up outside the preview: the next move without it ends the drag and saves.
    EXPECT_FALSE(e.move(0.30f, 0.30f, 0));
    EXPECT_EQ(e.editor.target(), DragTarget::none);
    ASSERT_EQ(e.saved.size(), 2u);
    EXPECT_EQ(std::make_pair(e.saved[1].hero.w, e.saved[1].hero.h), std::make_pair(0.12f, 0.10f));
    EXPECT_FALSE(e.move(0.50f, 0.50f)) << "nothing grabbed any more";

    // A press while a drag still runs ends that one first; so does edit mode going off.
    ASSERT_TRUE(e.down(0.75f, 0.50f));
    ASSERT_TRUE(e.down(0.75f, 0.50f));
    EXPECT_EQ(e.saved.size(), 3u);
    e.settings.change([](WallSettings& s) { s.edit = 0; });
    EXPECT_FALSE(e.move(0.70f, 0.50f));
    EXPECT_EQ(e.saved.size(), 4u);
    EXPECT_NEAR(e.chat().x, 0.72f, 1e-4);
}

TEST(LayoutEdit, TheRenderThreadOnlyEverSeesClampedBoxes) {
    Editing e;
    ASSERT_TRUE(e.down(0.97f, 0.91f));  // the chat box's corner: resize both ways
    std::atomic<bool> done{false};
    std::atomic<int> bad{0}, reads{0};
    std::thread render([&] {
        WallSettings mine;
        std::uint64_t seen = 0;
        for (; !done.load(); ++reads) {
            const BoxRect& b = mine.chat;
            if (e.settings.refresh(mine, seen) &&
                !(b.w >= 0.12f && b.w <= 0.92f && b.h >= 0.10f && b.h <= 0.92f && b.x >= 0 && b.y >= 0 &&
                  b.x + b.w <= 1.0001f && b.y + b.h <= 1.0001f))
                ++bad;
        }
    });
    while (reads.load() == 0) std::this_thread::yield();
    for (int i = 0; i < 3000; ++i) e.move(i % 7 * 0.5f - 1.0f, 1.0f - i % 5 * 0.5f);  // far outside the frame too
    done = true;
    render.join();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace lumvo

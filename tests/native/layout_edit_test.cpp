// Layout editing by mouse: which box a press grabs, moving and resizing with clamping, the drag
// whose button-up was lost, layout.ini written when a drag ends, and the render thread never
// seeing a box outside its limits while a drag runs.
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "overlay/layout_edit.h"

namespace lumvo {
namespace {

constexpr int W = 1000, H = 500;  // handles: 0.028 of the width, 0.056 of the height

struct Editing {
    std::mutex mutex;
    SharedSettings settings{mutex};
    std::vector<WallSettings> saved;
    LayoutEditor editor{settings, [this](const WallSettings& s) { saved.push_back(s); }};
    explicit Editing(int edit = 1) {
        settings.change([&](WallSettings& s) { s.edit = edit; });
    }
    int down(float fx, float fy, int buttons = 1) {
        return editor.mouseDown(static_cast<int>(std::lround(fx * W)), static_cast<int>(std::lround(fy * H)), buttons, W, H);
    }
    bool move(float fx, float fy, int buttons = 1) {
        return editor.mouseMove(static_cast<int>(std::lround(fx * W)), static_cast<int>(std::lround(fy * H)), buttons, W, H);
    }
};

bool within(const BoxRect& b) {
    return b.w >= 0.12f && b.w <= 0.92f && b.h >= 0.10f && b.h <= 0.92f && b.x >= 0 && b.x + b.w <= 1.0001f &&
           b.y >= 0 && b.y + b.h <= 1.0001f;
}

TEST(LayoutEdit, HitTestOrderEdgesHandlesAndTheHiddenQrBox) {
    WallSettings s;  // chat (0.70, 0.08, 0.28, 0.84): right 0.98, bottom 0.92
    EXPECT_EQ(hitTest(s, 0.80f, 0.50f, W, H).target, DragTarget::moveChat);
    EXPECT_EQ(hitTest(s, 0.70f, 0.08f, W, H).target, DragTarget::moveChat);  // the corner is inside
    EXPECT_EQ(hitTest(s, 0.99f, 0.50f, W, H).target, DragTarget::none);
    EXPECT_EQ(hitTest(s, 0.951f, 0.50f, W, H).target, DragTarget::moveChat);  // just outside the band

    BoxHit hit = hitTest(s, 0.953f, 0.50f, W, H);  // within 28 px of the right edge
    EXPECT_EQ(hit.target, DragTarget::resizeChat);
    EXPECT_TRUE(hit.resizeWidth);
    EXPECT_FALSE(hit.resizeHeight);
    hit = hitTest(s, 0.80f, 0.915f, W, H);  // within 28 px of the bottom edge
    EXPECT_EQ(hit.target, DragTarget::resizeChat);
    EXPECT_FALSE(hit.resizeWidth);
    EXPECT_TRUE(hit.resizeHeight);
    hit = hitTest(s, 0.97f, 0.90f, W, H);  // the corner: both
    EXPECT_TRUE(hit.resizeWidth && hit.resizeHeight);

    // The featured box wins where it overlaps the chat box; the QR box only while shown.
    s.hero = {0.60f, 0.10f, 0.30f, 0.30f};
    EXPECT_EQ(hitTest(s, 0.75f, 0.20f, W, H).target, DragTarget::moveFeatured);
    s.qr = {0.65f, 0.50f, 0.20f, 0.30f};
    EXPECT_EQ(hitTest(s, 0.75f, 0.60f, W, H).target, DragTarget::moveQr);
    s.showQr = 0;
    EXPECT_EQ(hitTest(s, 0.75f, 0.60f, W, H).target, DragTarget::moveChat);  // falls through
    EXPECT_EQ(hitTest(s, 0.66f, 0.60f, W, H).target, DragTarget::none);      // nothing beneath
}

TEST(LayoutEdit, PressesThatStartNoDrag) {
    Editing off(0);
    EXPECT_FALSE(off.down(0.80f, 0.50f));
    EXPECT_FALSE(off.move(0.10f, 0.10f));
    EXPECT_FALSE(off.editor.mouseUp());
    Editing on;
    EXPECT_FALSE(on.down(0.80f, 0.50f, 2));                          // not the primary button
    EXPECT_FALSE(on.editor.mouseDown(800, 250, 1, 0, 0));            // no frame seen yet
    EXPECT_FALSE(on.down(0.10f, 0.10f));                             // no box there
    EXPECT_EQ(on.settings.copy().chat.x, WallSettings{}.chat.x);
    EXPECT_TRUE(off.saved.empty() && on.saved.empty());
}

TEST(LayoutEdit, MoveAndResizeAreClampedAndTheReleaseSavesTheBoxes) {
    Editing e;
    // Grab the chat box 0.1 right of its left edge and drag far right: it stops at the edge.
    ASSERT_TRUE(e.down(0.80f, 0.50f));
    EXPECT_EQ(e.editor.target(), DragTarget::moveChat);
    EXPECT_TRUE(e.move(0.70f, 0.40f));
    BoxRect chat = e.settings.copy().chat;
    EXPECT_NEAR(chat.x, 0.60f, 1e-4);
    EXPECT_FLOAT_EQ(chat.y, 0.0f);  // 0.40 - 0.42 stops at the top
    EXPECT_TRUE(e.move(2.0f, 0.50f));
    chat = e.settings.copy().chat;
    EXPECT_NEAR(chat.x, 1.0f - 0.28f, 1e-4);
    EXPECT_TRUE(e.saved.empty());  // nothing written while dragging
    EXPECT_TRUE(e.editor.mouseUp());
    ASSERT_EQ(e.saved.size(), 1u);
    EXPECT_NEAR(e.saved[0].chat.x, 0.72f, 1e-4);
    EXPECT_FALSE(e.editor.mouseUp());  // no drag: nothing ended, nothing saved
    EXPECT_EQ(e.saved.size(), 1u);

    // The featured box by its bottom-right corner: both sides follow, and shrink no further than
    // 12 % x 10 %.
    const BoxRect hero = e.settings.copy().hero;  // (0.14, 0.16, 0.5, 0.5)
    ASSERT_TRUE(e.down(hero.x + hero.w - 0.01f, hero.y + hero.h - 0.01f));
    EXPECT_EQ(e.editor.target(), DragTarget::resizeFeatured);
    EXPECT_TRUE(e.move(0.54f, 0.46f));
    BoxRect now = e.settings.copy().hero;
    EXPECT_NEAR(now.w, 0.40f, 1e-3);
    EXPECT_NEAR(now.h, 0.30f, 1e-3);
    EXPECT_NEAR(now.x, 0.14f, 1e-6);
    EXPECT_TRUE(e.move(0.0f, 0.0f));
    now = e.settings.copy().hero;
    EXPECT_FLOAT_EQ(now.w, 0.12f);
    EXPECT_FLOAT_EQ(now.h, 0.10f);
    EXPECT_TRUE(e.editor.mouseUp());
    ASSERT_EQ(e.saved.size(), 2u);
    EXPECT_FLOAT_EQ(e.saved[1].hero.w, 0.12f);
    EXPECT_NEAR(e.saved[1].chat.x, 0.72f, 1e-4);  // the other boxes as they were
}

TEST(LayoutEdit, ADragWhoseButtonUpWasLostEndsOnTheNextEventWithoutTheButton) {
    Editing e;
    ASSERT_TRUE(e.down(0.80f, 0.50f));
    EXPECT_TRUE(e.move(0.75f, 0.50f));
    // The button went up outside the preview: the next move has no primary button.
    EXPECT_FALSE(e.move(0.30f, 0.30f, 0));
    EXPECT_EQ(e.editor.target(), DragTarget::none);
    ASSERT_EQ(e.saved.size(), 1u);
    EXPECT_NEAR(e.saved[0].chat.x, 0.65f, 1e-4);
    // Later moves with a button held (a press elsewhere in the host) move nothing.
    EXPECT_FALSE(e.move(0.10f, 0.10f));
    EXPECT_NEAR(e.settings.copy().chat.x, 0.65f, 1e-4);

    // A new press while a drag still runs ends (and saves) that one first.
    ASSERT_TRUE(e.down(0.70f, 0.50f));
    EXPECT_TRUE(e.move(0.60f, 0.50f));
    ASSERT_TRUE(e.down(0.30f, 0.30f));  // the featured box
    EXPECT_EQ(e.saved.size(), 2u);
    EXPECT_EQ(e.editor.target(), DragTarget::moveFeatured);

    // Edit mode switched off mid-drag ends it too.
    e.settings.change([](WallSettings& s) { s.edit = 0; });
    EXPECT_FALSE(e.move(0.35f, 0.35f));
    EXPECT_EQ(e.editor.target(), DragTarget::none);
    EXPECT_EQ(e.saved.size(), 3u);
}

TEST(LayoutEdit, TheRenderThreadOnlyEverSeesClampedBoxes) {
    Editing e;
    ASSERT_TRUE(e.down(0.97f, 0.91f));  // the chat box's corner: resize both ways
    std::atomic<bool> done{false};
    std::atomic<int> bad{0}, reads{0};
    std::thread render([&] {
        WallSettings mine;
        std::uint64_t seen = 0;
        while (!done.load()) {
            if (e.settings.refresh(mine, seen) && !(within(mine.chat) && within(mine.hero) && within(mine.qr))) ++bad;
            ++reads;
        }
    });
    while (reads.load() == 0) std::this_thread::yield();
    for (int i = 0; i < 3000; ++i) {
        const float f = static_cast<float>(i % 7) * 0.5f - 1.0f;  // -1 .. 2: far outside the frame too
        e.move(f, 1.0f - f);
    }
    done = true;
    render.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_TRUE(within(e.settings.copy().chat));
}

}  // namespace
}  // namespace lumvo

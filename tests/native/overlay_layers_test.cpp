// The poll panel painted in two parts through the whole overlay: while confetti fly and bars move,
// frames paint the moving part over the kept still part, and the two together are the panel as a
// whole paint draws it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "documents/published_display.h"
#include "overlay/overlay.h"
#include "settings/shared_settings.h"
#include "support/manual_clock.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using Op = RecordingCanvas::Op;

// Keeps the still part of a two-part layer as the renderer does, and records each paint.
struct KeepingTarget final : LayerTarget {
    struct Paint {
        bool still = false;  // the still part was painted in this frame's paint
        RecordingCanvas stillCanvas, movingCanvas;
    };
    std::map<LayerSlot, std::string> keys, stillKeys;
    std::vector<Paint> pollPaints;

    bool beginFrame(int, int) override { return true; }
    bool paintLayer(LayerSlot slot, int, int, std::string_view key, const LayerPainter& paint) override {
        if (keys[slot] == key) return true;
        keys[slot] = key;
        RecordingCanvas canvas;
        paint(canvas);
        return true;
    }
    bool paintLayerOver(LayerSlot slot, int, int, std::string_view stillKey, const LayerPainter& still,
                        std::string_view contentKey, const LayerPainter& moving) override {
        const std::string key = std::string(stillKey) + '\n' + std::string(contentKey);
        if (keys[slot] == key) return true;
        keys[slot] = key;
        Paint paint;
        if (stillKeys[slot] != stillKey) {
            stillKeys[slot] = stillKey;
            paint.still = true;
            still(paint.stillCanvas);
        }
        moving(paint.movingCanvas);
        pollPaints.push_back(std::move(paint));
        return true;
    }
    void drawLayer(LayerSlot, const RectF&, float) override {}
    void endFrame() override {}
};

DisplayDocument poll(int votes) {
    DisplayDocument d;
    d.voteActive = true, d.voteTitle = "Encore or next song?", d.voteRemain = 300, d.voteDuration = 600;
    const char* labels[] = {"Encore", "Next song", "Both", "Neither"};
    for (int i = 0; i < 4; ++i)
        d.voteBars.push_back({"v_1_" + std::to_string(i + 1), labels[i], votes * (i + 1), 0xFF22C55Eu + 0x1000u * i});
    return d;
}

std::vector<std::string> texts(const RecordingCanvas& canvas) {
    std::vector<std::string> out;
    for (const auto& call : canvas.of(Op::text)) out.push_back(call.text);
    return out;
}

TEST(PollLayers, ConfettiFramesPaintOnlyTheMovingPartOverTheKeptStillPart) {
    SharedSettings settings;
    PublishedDisplay display;
    test::ManualClock clock(1'000'000);
    KeepingTarget target;
    Overlay overlay;
    overlay.setClock(&clock);
    overlay.setLayerTarget(&target);
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            clock.advance(33);
            overlay.drawFrame(1280, 720, settings, display);
        }
    };
    display.publish(poll(1));
    frames(90);  // the bars grow and settle
    target.pollPaints.clear();
    frames(10);
    EXPECT_TRUE(target.pollPaints.empty()) << "a settled poll is not painted again";

    // Votes on every bar, three times a display poll apart: confetti fly and the bars shake and
    // grow for about a second after the last.
    for (int votes : {2, 3}) {
        display.publish(poll(votes));
        frames(5);
    }
    display.publish(poll(3));
    frames(60);
    const std::vector<KeepingTarget::Paint>& paints = target.pollPaints;
    ASSERT_GE(paints.size(), 20u);
    int stillPaints = 0, confettiFrames = 0;
    for (const KeepingTarget::Paint& p : paints) {
        stillPaints += p.still;
        confettiFrames += !p.movingCanvas.of(Op::ellipse).empty();
        for (const std::string& text : texts(p.movingCanvas)) {
            EXPECT_TRUE(text != "Encore or next song?" && text.find(':') == std::string::npos)
                << "the question or the countdown painted with the moving part: " << text;
        }
    }
    EXPECT_GE(confettiFrames, 8);
    EXPECT_LE(stillPaints, 2) << "the still part once when the bars start moving, once when they settle, "
                                 "not for each vote";
    // Settled again: the bars went back into the still part, and the moving part has nothing on it.
    EXPECT_TRUE(paints.back().still);
    EXPECT_TRUE(paints.back().movingCanvas.calls.empty());
    EXPECT_EQ(texts(paints.back().stillCanvas),
              (std::vector<std::string>{"Encore or next song?", "5:00", "Encore", "3", "Next song", "6", "Both", "9",
                                        "Neither", "12"}));

    // The two parts of a confetti frame are the whole paint of the same frame.
    const auto busy = std::find_if(paints.begin(), paints.end(), [](const KeepingTarget::Paint& p) {
        return !p.still && !p.movingCanvas.of(Op::ellipse).empty();
    });
    ASSERT_NE(busy, paints.end());
    const auto still = std::find_if(paints.begin(), busy + 1, [](const KeepingTarget::Paint& p) { return p.still; });
    ASSERT_NE(still, busy + 1);
    EXPECT_EQ(texts(still->stillCanvas), (std::vector<std::string>{"Encore or next song?", "5:00"}));
    const std::vector<std::string> moving = texts(busy->movingCanvas);
    EXPECT_EQ(moving, (std::vector<std::string>{"Encore", "2", "Next song", "4", "Both", "6", "Neither", "8"}));
}

}  // namespace
}  // namespace lumvo

// The hero box in whole frames: the stand-in host with a running poll shows the question and the
// bars where the poll panel puts them, and the closed poll's "WINNER" / "NO WINNER"; a featured
// post is shown big in the hero box while its own line in the feed stays empty. The frames are
// kept in test-output/windows/ for a person to look at.
#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "moving_video.h"
#include "overlay/feed.h"
#include "overlay/poll.h"
#include "plugin/win/video_wall_plugin.h"
#include "png_file.h"
#include "standin_support.h"
#include "support/manual_clock.h"
#include "support/recording_canvas.h"
#include "test_support.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;
using lumvo::RectF;

// A frame's pixels as 0xAARRGGBB rows.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // How many pixels of `r` (frame pixels) pass `test`, and how many there are.
    std::pair<int, int> count(const RectF& r, const std::function<bool(std::uint32_t)>& test) const {
        int hits = 0, all = 0;
        for (int y = std::max(static_cast<int>(r.y), 0); y < std::min(static_cast<int>(r.bottom()), height); ++y)
            for (int x = std::max(static_cast<int>(r.x), 0); x < std::min(static_cast<int>(r.right()), width);
                 ++x, ++all)
                hits += test(at(x, y));
        return {hits, all};
    }
};

Frame readPng(const std::string& path) {
    Frame frame;
    if (!lumvo::test::readPicturePixels(path, frame.width, frame.height, frame.pixels)) return Frame{};
    return frame;
}

// Within `tolerance` of `rgb` in every channel.
std::function<bool(std::uint32_t)> closeTo(std::uint32_t rgb, int tolerance = 40) {
    return [=](std::uint32_t p) {
        for (int shift : {16, 8, 0}) {
            if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) > tolerance)
                return false;
        }
        return true;
    };
}
bool dark(std::uint32_t p) { return std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) <= 60; }
bool white(std::uint32_t p) { return std::min({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) >= 200; }

RectF shifted(const RectF& r, float dx, float dy) { return {r.x + dx, r.y + dy, r.w, r.h}; }
RectF shrunk(const RectF& r, float by) { return {r.x + by, r.y + by, r.w - 2 * by, r.h - 2 * by}; }

const char* const kBars =
    R"(v_1_1\tEncore\t%A\t34,197,94\nv_1_2\tNext song\t%B\t59,130,246\nv_1_3\tBoth\t1\t236,72,153)";

std::string pollDocument(bool active, bool closed, int a, int b) {
    std::string bars = kBars;
    bars.replace(bars.find("%A"), 2, std::to_string(a));
    bars.replace(bars.find("%B"), 2, std::to_string(b));
    return std::string(R"({"featuredId":"","theme":"club","joinUrl":"","tipEnabled":false,"voteActive":)") +
           (active ? "true" : "false") + R"(,"voteClosed":)" + (closed ? "true" : "false") +
           R"(,"voteTitle":"Encore or next song?","votePhoto":"","voteRemain":)" + (closed ? "0" : "95") +
           R"(,"voteDuration":120,"voteClosedFor":)" + (closed ? "3" : "0") + R"(,"feedPacked":"","voteBars":")" +
           bars + R"("})";
}

// Frame 80 (8 s in) of the stand-in host at 1920 x 1080 against the fixture server serving
// `document`; kept as test-output/windows/<keep>.png.
Frame hostFrame(const std::string& document, const std::string& keep) {
    TempFolder data, out;
    stageFixtureWall(data, "feed-server.js");
    writeBytes(wallFolderUnder(data) + "\\display.json", document);
    const RunResult run = runStandinHost(
        "--hidden --fps 10 --seconds 8 --png-frames 80 --data \"" + data.path() + "\" --out \"" + out.path() + "\"",
        out);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::string picture = out / "frame-00080.png";
    if (!keep.empty()) {
        makeFolders(repoPath("test-output\\windows"));
        CopyFileA(picture.c_str(), repoPath("test-output\\windows\\" + keep + ".png").c_str(), FALSE);
    }
    return readPng(picture);
}

TEST(OverlayHero, AStandinHostFrameShowsTheRunningPollInTheHeroBoxAndItsResultWhenClosed) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    GdiplusSession gdiplus;
    const Frame empty = hostFrame(pollDocument(false, false, 7, 3), "");
    const Frame running = hostFrame(pollDocument(true, false, 7, 3), "poll-running");
    ASSERT_EQ(running.width, 1920);
    ASSERT_EQ(empty.width, 1920);

    // Where the panel puts things (the recording canvas, the bars settled) in the hero box, by
    // default (0.14, 0.16, 0.50, 0.50) of the frame: a 960 x 540 texture drawn 1:1 at (268.8, 172.8).
    lumvo::FrameState state;
    state.voteActive = true, state.voteTitle = "Encore or next song?", state.voteRemain = 95;
    state.voteBars = {
        {"v_1_1", "Encore", 7, 0xFF22C55E}, {"v_1_2", "Next song", 3, 0xFF3B82F6}, {"v_1_3", "Both", 1, 0xFFEC4899}};
    lumvo::PollAnimation animation;
    for (int i = 0; i < 120; ++i) lumvo::stepPoll(animation, 1.0 / 60, 1 + i / 60.0, state, false);
    RecordingCanvas canvas;
    lumvo::PollPicture picture;
    ASSERT_TRUE(lumvo::paintPoll(canvas, animation, state,
                                 lumvo::layoutPoll(canvas, animation, picture, state, 960, 540, {}, 0)));
    const float hx = 1920 * 0.14f, hy = 1080 * 0.16f;

    const RectF title = shifted(canvas.textCall("Encore or next song?")->rect, hx, hy);
    const int titleWhite = running.count(title, white).first, emptyWhite = empty.count(title, white).first;
    EXPECT_GT(titleWhite, emptyWhite + 150) << "no question at " << rectText(title);
    // Each bar's fill in its colour, where the empty frame has none of it.
    for (const lumvo::VoteBar& bar : state.voteBars) {
        const auto fill = std::find_if(canvas.calls.begin(), canvas.calls.end(), [&](const RecordingCanvas::Call& c) {
            return c.op == RecordingCanvas::Op::fillRounded && c.colour == bar.colour;
        });
        ASSERT_NE(fill, canvas.calls.end()) << bar.label;
        // The middle of the fill, away from its round ends and from the label on its left.
        const RectF r = shifted(fill->rect, hx, hy);
        const RectF middle{r.x + std::min(r.w * 0.5f, 220.0f), r.y + r.h * 0.3f, std::max(r.w * 0.5f - 220, 8.0f) + 8,
                           r.h * 0.4f};
        const auto [hits, all] = running.count(middle, closeTo(bar.colour & 0xFFFFFF));
        EXPECT_GT(hits, all * 6 / 10) << bar.label << " at " << rectText(middle);
        EXPECT_LT(empty.count(middle, closeTo(bar.colour & 0xFFFFFF)).first, all / 10) << bar.label;
    }
    // The panel is dark across the hero box, not just somewhere.
    const RectF hero{hx + 20, hy + 20, 920, 500};
    EXPECT_GT(running.count(hero, dark).first, running.count(hero, dark).second / 2);
    EXPECT_LT(empty.count(hero, dark).first, empty.count(hero, dark).second / 4);

    // Closed: "WINNER" in yellow over a clear winner; "NO WINNER" in red over a tie.
    const Frame won = hostFrame(pollDocument(true, true, 7, 3), "poll-winner");
    const Frame tie = hostFrame(pollDocument(true, true, 4, 4), "poll-no-winner");
    const RectF status{hx + 30, title.bottom() + 8, 900, 80};
    EXPECT_GT(won.count(status, closeTo(0xFACC15)).first, 300) << "no WINNER at " << rectText(status);
    EXPECT_LT(tie.count(status, closeTo(0xFACC15)).first, 50);
    EXPECT_GT(tie.count(status, closeTo(0xEF4444)).first, 300) << "no NO WINNER at " << rectText(status);
    EXPECT_GT(tie.count({hx, hy, 960, 540}, closeTo(0xFFCC4D, 24)).first, 200) << "no thumbs-down";
}

TEST(OverlayHero, AFeaturedPostIsShownInTheHeroBoxAndNotAlsoInTheFeed) {
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    GdiplusSession gdiplus;
    standin::TestVideo video;
    std::string error;
    ASSERT_TRUE(video.create(1280, 720, error)) << error;
    FakeHost host;
    host.device = video.device();
    void* object = nullptr;
    ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
    auto* plugin = static_cast<lumvo::VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
    plugin->hostCallbacks = &host;
    plugin->videoCallbacks = &host;
    plugin->frameWidth = 1280;
    plugin->frameHeight = 720;
    ManualClock clock(1'000'000);
    plugin->overlay().setClock(&clock);
    ASSERT_EQ(plugin->load(), 0);
    ASSERT_EQ(plugin->deviceInit(), 0);

    lumvo::FrameState shown;
    for (const auto& [id, name, text] :
         {std::tuple{"p1", "Ana", "Happy birthday Jo!"}, std::tuple{"p2", "Ben", "Play something to dance to"},
          std::tuple{"p3", "Cem", "Greetings from table 7"}})
        shown.feed.push_back({.id = id, .type = "shoutout", .name = name, .text = text});
    lumvo::showFeatured(shown, shown.feed[1]);
    plugin->display().publish(shown);
    auto frameAt = [&](std::uint64_t ms) {
        clock.advance(ms);
        video.drawFrame(static_cast<double>(clock.nowMs()) / 1000);
        EXPECT_EQ(plugin->draw(), 0);
        video.finishGpuWork();
        std::vector<std::uint8_t> bgra;
        Frame frame;
        if (!video.readPixels(bgra)) return frame;
        frame.width = 1280, frame.height = 720;
        frame.pixels.resize(bgra.size() / 4);
        std::memcpy(frame.pixels.data(), bgra.data(), bgra.size());
        return frame;
    };
    frameAt(0);                           // the featured clock starts
    const Frame staying = frameAt(3000);  // in the hero box
    // Where the feed put its lines, for this frame's state.
    RecordingCanvas canvas;
    const lumvo::FeedPaint paint = lumvo::paintFeed(canvas, plugin->overlay().preparedState(), 358, 604,
                                                    [](std::string_view) { return std::nullopt; });
    ASSERT_EQ(paint.records.size(), 3u);
    const float chatX = 1280 * 0.70f, chatY = 720 * 0.08f, sx = 1280 * 0.28f / 358, sy = 720 * 0.84f / 604;
    for (const lumvo::FeedRecord& record : paint.records) {
        const RectF line{chatX + (record.rect.x + 20) * sx, chatY + record.rect.y * sy + 3, (record.rect.w - 40) * sx,
                         record.rect.h * sy - 6};
        const auto [panel, all] = staying.count(line, dark);
        if (record.id == "p2")
            EXPECT_LT(panel, all * 3 / 10) << "the featured post's own line is empty while it is out";
        else EXPECT_GT(panel, all * 6 / 10) << record.id;
    }
    // The card fills the hero box (0.14, 0.16, 0.50, 0.50): a dark bubble with the text on it.
    const RectF card = shrunk({1280 * 0.14f, 720 * 0.16f, 640, 360}, 30);
    EXPECT_GT(staying.count(card, dark).first, staying.count(card, dark).second * 6 / 10);
    EXPECT_GT(staying.count(card, white).first, 500) << "no text on the card";

    // Kept for a person to look at: the card flying back into its line.
    const Frame flying = frameAt(3500);  // 6.5 s of 7: halfway back
    ASSERT_EQ(flying.width, 1280);
    std::vector<std::uint8_t> bgra(flying.pixels.size() * 4);
    std::memcpy(bgra.data(), flying.pixels.data(), bgra.size());
    makeFolders(repoPath("test-output\\windows"));
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_TRUE(standin::writePng(lumvo::utf8ToWide(repoPath("test-output\\windows\\featured-mid-flight.png")),
                                  bgra.data(), 1280, 720, 1280 * 4));
    EXPECT_LT(flying.count(card, dark).first, staying.count(card, dark).first * 8 / 10) << "it left the hero box";

    EXPECT_EQ(plugin->deviceClose(), 0);
    plugin->release();
}

}  // namespace

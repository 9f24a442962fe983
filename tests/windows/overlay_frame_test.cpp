// The overlay in whole frames of the plug-in object: a card is repainted only when what it shows
// changed; a running poll shows the question and the bars where the poll panel puts them (what a
// closed one shows is tested natively); a featured post is shown big in the hero box while its own
// line in the feed stays empty (scripts/run.sh keeps such frames for a person to look at). Then
// half a minute of the stand-in host with a feed that changes every second leaves the host's GDI
// objects, handles and private bytes where they were, and its last frame shows a QR code that
// decodes to the join address. (The draw slot's times per kind of frame are bench/overlay-draw.sh's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "base/json.h"
#include "drawing_plugin.h"
#include "overlay/feed.h"
#include "overlay/poll.h"
#include "plugin/win/video_wall_plugin.h"
#include "support/manual_clock.h"
#include "support/recording_canvas.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;

using lumvo::LayerSlot;

lumvo::FeedItem post(const std::string& id, const std::string& name, const std::string& text) {
    return {.id = id, .type = "shoutout", .name = name, .text = text};
}

TEST(OverlayFrame, ACardIsRepaintedOnlyWhenWhatItShowsChangedOrAPhotoArrived) {
    DrawingPlugin wall;
    wall.start(1280, 720);
    if (::testing::Test::HasFatalFailure()) return;
    lumvo::VideoWallPlugin& plugin = *wall.plugin;
    auto frames = [&](int n) {
        wall.draw(n);
        return plugin.renderer().uploads(LayerSlot::chatFeed);
    };

    lumvo::DisplayDocument shown;
    shown.feed = {post("p1", "Ana", "Happy birthday Jo!"), post("p2", "Ben", "Play something to dance to")};
    plugin.display().publish(shown);
    EXPECT_EQ(frames(10), 1u) << "painted once, then drawn from its texture";
    plugin.display().publish(shown);  // a new document with the same posts
    EXPECT_EQ(frames(5), 1u);
    shown.feed.push_back(post("p3", "Cem", "Greetings from table 7"));
    plugin.display().publish(shown);
    EXPECT_EQ(frames(5), 2u) << "one upload per change";
    plugin.overlay().photos().storePhoto("/uploads/new.jpg", fakePicture(8, 8));
    EXPECT_EQ(frames(5), 3u) << "a photo arriving repaints the feed on the render thread";
    EXPECT_EQ(plugin.renderer().uploads(LayerSlot::qrCard), 0u) << "no join address, no QR card";

    EXPECT_EQ(plugin.deviceClose(), 0);
    EXPECT_FALSE(plugin.renderer().ready());
}

// The Linux path of a file (Wine's wine_get_unix_file_name); empty elsewhere.
std::string unixPath(const std::string& path) {
    using Convert = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(lumvo::utf8ToWide(path).c_str()) : nullptr;
    if (!unix) return {};
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// What zbarimg (the Linux program) reads from a picture; empty when nothing. Wine runs a Linux
// program without tying it to the process handle it gives back (that one ends at once), and a
// Windows handle does not become its output: so the Linux shell runs it and moves its output into
// place when it is done, and the test waits for that file. Wine's start.exe starts the shell: a
// Linux program started from this process leaves it unable to make another Direct3D device.
std::string decodeQr(const TempFolder& scratch, const std::string& picture) {
    const std::string done = scratch / "zbarimg.txt";
    const std::string target = unixPath(done);
    std::string command = "start.exe /unix /bin/sh -c \"zbarimg --raw -q '" + unixPath(picture) + "' > '" + target +
                          ".part' 2>/dev/null; mv '" + target + ".part' '" + target + "'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return {};
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 300 && !fileExists(done); ++i) Sleep(100);
    std::string text = readBytes(done);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

struct ResourceSample {
    int frame = 0;
    long gdi = -1, handles = -1;
    double privateMiB = 0;
};

// The stand-in host's "resources: frame N: G GDI objects, H handles, P private bytes" lines.
std::vector<ResourceSample> resourceSamples(const std::string& output) {
    std::vector<ResourceSample> samples;
    for (size_t at = output.find("resources: frame "); at != std::string::npos;
         at = output.find("resources: frame ", at + 1)) {
        ResourceSample s;
        unsigned long long bytes = 0;
        if (std::sscanf(output.c_str() + at, "resources: frame %d: %ld GDI objects, %ld handles, %llu private bytes",
                        &s.frame, &s.gdi, &s.handles, &bytes) == 4) {
            s.privateMiB = static_cast<double>(bytes) / (1 << 20);
            samples.push_back(s);
        }
    }
    return samples;
}

TEST(OverlaySoak, HalfAMinuteOfAFeedChangingEverySecondLeavesGdiObjectsHandlesAndPrivateBytesFlat) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    // 600 frames each, sampled every 50 from frame 200 on (the soak's first 10 s warm up).
    constexpr int kFps = 20, kWarmUpFrame = 200;
    const std::string sampling = " --frames 600 --resources-every 50 --print-state" + testVariantDll();

    // The same host, plug-in and server with the wall switched off: what Wine and the host grow by
    // themselves (Wine's Direct3D keeps a little for every frame, so it is the frames that count).
    TempFolder baselineData, baselineOut;
    stageRollingFeed(baselineData, true);
    const RunResult baseline = runStandinHost(
        "--hidden --fps 60" + sampling + " --data \"" + baselineData.path() + "\" --out \"" + baselineOut.path() + "\"",
        baselineOut, 300000);
    ASSERT_EQ(baseline.exitCode, 0u) << baseline.output;

    TempFolder data, out;
    stageRollingFeed(data, false);
    const RunResult soak = runStandinHost("--hidden --png-frames 600 --fps " + std::to_string(kFps) + sampling +
                                              " --data \"" + data.path() + "\" --out \"" + out.path() + "\"",
                                          out, 600000);
    ASSERT_EQ(soak.exitCode, 0u) << soak.output;
    // The last frame, kept for a person to look at: the rolling feed, its QR card with the join address.
    const std::string picture = out / "frame-00600.png";
    makeFolders(repoPath("test-output\\windows"));
    CopyFileA(picture.c_str(), repoPath("test-output\\windows\\overlay-frame.png").c_str(), FALSE);
    EXPECT_EQ(decodeQr(out, picture), "http://192.168.1.50:8787")
        << "zbarimg read nothing from test-output/windows/overlay-frame.png";
    const std::string state = outputLine(soak.output, "mirrored state: ");
    const double chatRepaints = lumvo::jsonGetNumber(state.substr(state.find("\"repaints\"")), "chat", -1);
    EXPECT_GE(chatRepaints, 20) << "the feed should have changed every second: " << state;

    auto fromWarmUp = [&](const std::string& output) {
        std::vector<ResourceSample> all = resourceSamples(output), kept;
        for (const ResourceSample& s : all) {
            if (s.frame >= kWarmUpFrame) kept.push_back(s);
        }
        return kept;
    };
    const std::vector<ResourceSample> base = fromWarmUp(baseline.output), run = fromWarmUp(soak.output);
    ASSERT_GE(base.size(), 2u) << baseline.output;
    ASSERT_GE(run.size(), 8u) << soak.output;
    const double basePerFrame =
        (base.back().privateMiB - base.front().privateMiB) / (base.back().frame - base.front().frame);
    const double grew = run.back().privateMiB - run.front().privateMiB;
    const double wineShare = std::max(basePerFrame, 0.0) * (run.back().frame - run.front().frame);
    long maxHandles = 0;
    for (const ResourceSample& s : run) {
        EXPECT_EQ(s.gdi, run.front().gdi) << "GDI objects at frame " << s.frame;
        maxHandles = std::max(maxHandles, s.handles);
    }
    EXPECT_LE(maxHandles, run.front().handles + 4) << "handles (a poll's connection may be open at a sample)";
    EXPECT_LT(grew, wineShare + 8.0) << "private bytes grew by " << grew << " MiB";
    std::printf(
        "measured: overlay soak under Wine, %d to %d frames at %d fps, a new post every second (%.0f feed "
        "repaints): GDI objects %ld -> %ld, handles %ld -> %ld (max %ld), private bytes %.1f -> %.1f MiB "
        "(+%.1f; the host with the wall off grows %.1f MiB in as many frames)\n",
        run.front().frame, run.back().frame, kFps, chatRepaints, run.front().gdi, run.back().gdi, run.front().handles,
        run.back().handles, maxHandles, run.front().privateMiB, run.back().privateMiB, grew, wineShare);
}

using lumvo::RectF;

RectF shifted(const RectF& r, float dx, float dy) { return {r.x + dx, r.y + dy, r.w, r.h}; }
RectF shrunk(const RectF& r, float by) { return {r.x + by, r.y + by, r.w - 2 * by, r.h - 2 * by}; }

// A running poll of three bars (or, not `active`, none shown).
lumvo::DisplayDocument poll(bool active) {
    lumvo::DisplayDocument d;
    d.voteActive = active, d.voteTitle = "Encore or next song?", d.voteRemain = 95, d.voteDuration = 120;
    d.voteBars = {
        {"v_1_1", "Encore", 7, 0xFF22C55E}, {"v_1_2", "Next song", 3, 0xFF3B82F6}, {"v_1_3", "Both", 1, 0xFFEC4899}};
    return d;
}

// A 1920 x 1080 frame of the plug-in showing `document`, 1 s in (the bars settled).
Frame heroFrame(const lumvo::DisplayDocument& document) {
    DrawingPlugin wall;
    wall.start(1920, 1080);
    if (::testing::Test::HasFatalFailure()) return {};
    wall.plugin->display().publish(document);
    wall.draw(20);
    return wall.pixels();
}

TEST(OverlayHero, TheRunningPollShowsItsQuestionAndBarsInTheHeroBox) {
    const Frame empty = heroFrame(poll(false));
    const Frame running = heroFrame(poll(true));
    ASSERT_EQ(running.width, 1920);
    ASSERT_EQ(empty.width, 1920);

    // Where the panel puts things (the recording canvas, the bars settled) in the hero box, by
    // default (0.14, 0.16, 0.50, 0.50) of the frame: a 960 x 540 texture drawn 1:1 at (268.8, 172.8).
    lumvo::FrameState state(poll(true));
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
}

TEST(OverlayHero, AFeaturedPostIsShownInTheHeroBoxAndNotAlsoInTheFeed) {
    DrawingPlugin wall;
    wall.start(1280, 720);
    if (::testing::Test::HasFatalFailure()) return;
    lumvo::FrameState shown;
    for (const auto& [id, name, text] :
         {std::tuple{"p1", "Ana", "Happy birthday Jo!"}, std::tuple{"p2", "Ben", "Play something to dance to"},
          std::tuple{"p3", "Cem", "Greetings from table 7"}})
        shown.feed.push_back({.id = id, .type = "shoutout", .name = name, .text = text});
    lumvo::showFeatured(shown, shown.feed[1]);
    wall.plugin->display().publish(shown);
    wall.draw(1, 0);  // the featured clock starts
    wall.draw(1, 3000);
    const Frame staying = wall.pixels();  // in the hero box
    // Where the feed put its lines, for this frame's state.
    RecordingCanvas canvas;
    const lumvo::FeedPaint paint = lumvo::paintFeed(canvas, wall.plugin->overlay().preparedState(), 358, 604,
                                                    [](std::string_view) { return lumvo::PictureRef(); });
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

    // The card flying back into its line, 6.5 s of 7: halfway back.
    wall.draw(1, 3500);
    const Frame flying = wall.pixels();
    EXPECT_LT(flying.count(card, dark).first, staying.count(card, dark).first * 8 / 10) << "it left the hero box";
}

// The longest text the wall server takes, in its worst form (a letter may carry up to fifteen marks,
// four code points per character over a field), on the big card and in every line of the feed: the
// frame that paints all of it anew, against the same frame with plain text of the same length.
double msToPaintEveryCard(const std::string& text) {
    DrawingPlugin wall;
    wall.start(1280, 720);
    if (::testing::Test::HasFatalFailure()) return -1;
    lumvo::FrameState shown;
    for (int i = 0; i < 8; ++i) shown.feed.push_back(post("p" + std::to_string(i), "Guest", text));
    lumvo::showFeatured(shown, shown.feed[0]);
    wall.plugin->display().publish(shown);
    wall.draw(1, 0);  // the cards' resources made once
    shown.feed.front().text += " ";
    for (auto& line : shown.feed) line.text += ".";  // every card has something new to paint
    wall.plugin->display().publish(shown);
    LARGE_INTEGER before, after, frequency;
    QueryPerformanceCounter(&before);
    wall.draw(1, 50);
    QueryPerformanceCounter(&after);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
}

TEST(OverlayHero, TheWorstTextAGuestCanSendPaintsLikePlainText) {
    std::string stacked, plain;
    for (int letter = 0; letter < 45; ++letter) {
        stacked += 'a';
        plain += 'a';
        for (int mark = 0; mark < 15; ++mark) {
            stacked += "\xCC\x81";  // U+0301, a combining acute accent
            plain += 'b';
        }
    }
    // The first frames of a process pay for the fonts: one frame to warm up, then each text's best of two.
    msToPaintEveryCard(plain);
    const double worst = std::min(msToPaintEveryCard(stacked), msToPaintEveryCard(stacked));
    const double ordinary = std::min(msToPaintEveryCard(plain), msToPaintEveryCard(plain));
    std::printf(
        "measured: a frame repainting the big card and 8 feed lines under Wine (the best of two): 720 code "
        "points of stacked marks %.1f ms, of plain letters %.1f ms\n",
        worst, ordinary);
    ASSERT_GT(worst, 0);
    EXPECT_LT(worst, std::max(2 * ordinary, 33.0)) << "stacked marks cost far more than plain text";
}

}  // namespace

// The overlay in whole frames: the plug-in repaints a card only when what it shows changed; a frame
// from the stand-in host shows the feed where the chat box is and a QR code that decodes to the
// join address; about a minute of a feed that changes every second leaves the host's GDI objects,
// handles and private bytes where they were (and measures the draw slot per kind of frame).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "moving_video.h"
#include "overlay/feed.h"
#include "plugin/win/video_wall_plugin.h"
#include "standin_support.h"
#include "support/recording_canvas.h"
#include "test_support.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;
using lumvo::LayerSlot;

lumvo::FeedItem post(const std::string& id, const std::string& name, const std::string& text) {
    return {.id = id, .type = "shoutout", .name = name, .text = text};
}

TEST(OverlayFrame, ACardIsRepaintedOnlyWhenWhatItShowsChangedOrAPhotoArrived) {
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
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
    ASSERT_EQ(plugin->load(), 0);  // starts GDI+
    ASSERT_EQ(plugin->deviceInit(), 0);
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) EXPECT_EQ(plugin->draw(), 0);
        return plugin->renderer().uploads(LayerSlot::chatFeed);
    };

    lumvo::DisplayDocument shown;
    shown.feed = {post("p1", "Ana", "Happy birthday Jo!"), post("p2", "Ben", "Play something to dance to")};
    plugin->display().publish(shown);
    EXPECT_EQ(frames(10), 1u) << "painted once, then drawn from its texture";
    plugin->display().publish(shown);  // a new document with the same posts
    EXPECT_EQ(frames(5), 1u);
    shown.feed.push_back(post("p3", "Cem", "Greetings from table 7"));
    plugin->display().publish(shown);
    EXPECT_EQ(frames(5), 2u) << "one upload per change";
    plugin->overlay().photos().storePhoto("/uploads/new.jpg", std::string(64, 'x'));
    EXPECT_EQ(frames(5), 3u) << "a photo arriving repaints the feed on the render thread";
    EXPECT_EQ(plugin->renderer().uploads(LayerSlot::qrCard), 0u) << "no join address, no QR card";

    EXPECT_EQ(plugin->deviceClose(), 0);
    EXPECT_FALSE(plugin->renderer().ready());
    plugin->release();
}

// The frame's pixels as 0xAARRGGBB rows.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Frame readFrame(const std::string& path) {
    Frame frame;
    if (!lumvo::test::readPicturePixels(path, frame.width, frame.height, frame.pixels)) return Frame{};
    return frame;
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
// place when it is done, and the test waits for that file.
std::string decodeQr(const TempFolder& scratch, const std::string& picture) {
    const std::string done = scratch / "zbarimg.txt";
    const std::string target = unixPath(done);
    std::string command = "Z:\\bin\\sh -c \"zbarimg --raw -q '" + unixPath(picture) + "' > '" + target +
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

TEST(OverlayFrame, AStandinHostFrameShowsTheFeedInTheChatBoxAndAQrCodeOfTheJoinAddress) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    GdiplusSession gdiplus;
    TempFolder data, out;
    stageFixtureWall(data, "feed-server.js");
    const std::string joinUrl = "http://192.168.1.77:8787/?v=K7Q2M";
    writeBytes(wallFolderUnder(data) + "\\display.json",
               R"({"featuredId":"","theme":"club","joinUrl":")" + joinUrl +
                   R"(","tipEnabled":false,"voteActive":false,"feedPacked":")"
                   R"(p1\tshoutout\tAna\tHappy birthday Jo!\t\t\t\t0\n)"
                   R"(p2\trequest\tBen\tPlay something to dance to\t\t\t\t0\n)"
                   R"(p3\tshoutout\tCem\tGreetings from table 7\t\t\t#22d3ee\t0","voteBars":""})");
    const RunResult run =
        runStandinHost("--hidden --fps 10 --seconds 10 --png-frames 100 --print-state" + testVariantDll() +
                           "--data \"" + data.path() + "\" --out \"" + out.path() + "\"",
                       out);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    ASSERT_EQ(lumvo::jsonGetNumber(outputLine(run.output, "mirrored state: "), "feed", -1), 3) << run.output;

    const std::string picture = out / "frame-00100.png";
    // Kept for a person to look at.
    makeFolders(repoPath("test-output\\windows"));
    CopyFileA(picture.c_str(), repoPath("test-output\\windows\\overlay-frame.png").c_str(), FALSE);
    EXPECT_EQ(decodeQr(out, picture), joinUrl) << "zbarimg read nothing from test-output/windows/overlay-frame.png";

    // Where the feed card puts its posts (worked out on the recording canvas) in the 1920 x 1080
    // frame's chat box, (0.70, 0.08, 0.28, 0.84) by default: a 537 x 907 card drawn over
    // 537.6 x 907.2 pixels.
    lumvo::FrameState state;
    state.feed = {post("p1", "Ana", "Happy birthday Jo!"), post("p2", "Ben", "Play something to dance to"),
                  post("p3", "Cem", "Greetings from table 7")};
    RecordingCanvas canvas;
    const lumvo::FeedPaint paint =
        lumvo::paintFeed(canvas, state, 537, 907, [](std::string_view) { return std::nullopt; });
    ASSERT_EQ(paint.records.size(), 3u);
    const float chatX = 1920 * 0.70f, chatY = 1080 * 0.08f, sx = 1920 * 0.28f / 537, sy = 1080 * 0.84f / 907;

    const Frame frame = readFrame(picture);
    ASSERT_EQ(frame.width, 1920);
    auto dark = [](std::uint32_t p) { return std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) <= 60; };
    auto white = [](std::uint32_t p) { return std::min({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) >= 200; };
    for (const lumvo::FeedRecord& record : paint.records) {
        // The bubble's panel is near-black over whatever video is behind it, with white text on it.
        const int left = static_cast<int>(chatX + (record.rect.x + 20) * sx);
        const int right = static_cast<int>(chatX + (record.rect.right() - 20) * sx);
        const int top = static_cast<int>(chatY + record.rect.y * sy) + 3;
        const int bottom = static_cast<int>(chatY + record.rect.bottom() * sy) - 3;
        int panel = 0, text = 0, all = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x, ++all) {
                panel += dark(frame.at(x, y));
                text += white(frame.at(x, y));
            }
        }
        EXPECT_GT(panel, all * 6 / 10) << record.id << ": no panel at " << rectText(record.rect);
        EXPECT_GT(text, 50) << record.id << ": no text";
    }
    // Above the oldest post the chat box shows the video.
    const lumvo::RectF oldest = paint.records.back().rect;
    const int y = static_cast<int>(chatY + (oldest.y - 40) * sy);
    int video = 0;
    for (int x = static_cast<int>(chatX + 30); x < static_cast<int>(chatX + 500); ++x) video += !dark(frame.at(x, y));
    EXPECT_GT(video, 200);
}

}  // namespace

namespace {

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

// The wall files as the feed fixture with a guest photo, in `data`; `switchedOff` writes a
// layout.ini that switches the wall off.
void stageRollingFeed(const TempFolder& data, bool switchedOff) {
    stageFixtureWall(data, "feed-server.js");
    makeFolders(wallFolderUnder(data) + "\\photos");
    writeBytes(wallFolderUnder(data) + "\\photos\\guest.png", readBytes(repoPath("wall/web/brand/lumvo-mark.png")));
    if (switchedOff) writeBytes(wallFolderUnder(data) + "\\layout.ini", "enable=0\n");
}

TEST(OverlaySoak, AMinuteOfAFeedChangingEverySecondLeavesGdiObjectsHandlesAndPrivateBytesFlat) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    constexpr int kFps = 20, kWarmUpFrame = 200;  // samples every 100 frames (5 s); from 10 s on
    const std::string sampling =
        " --fps " + std::to_string(kFps) + " --resources-every 100 --print-state" + testVariantDll();

    // The same host, plug-in and server with the wall switched off: what Wine and the host grow by
    // themselves (Wine's Direct3D keeps a little for every frame).
    TempFolder baselineData, baselineOut;
    stageRollingFeed(baselineData, true);
    const RunResult baseline = runStandinHost("--hidden --seconds 25" + sampling + " --data \"" + baselineData.path() +
                                                  "\" --out \"" + baselineOut.path() + "\"",
                                              baselineOut, 300000);
    ASSERT_EQ(baseline.exitCode, 0u) << baseline.output;

    TempFolder data, out;
    stageRollingFeed(data, false);
    const RunResult soak = runStandinHost("--hidden --seconds 60 --by-repaint" + sampling + " --data \"" + data.path() +
                                              "\" --out \"" + out.path() + "\"",
                                          out, 600000);
    ASSERT_EQ(soak.exitCode, 0u) << soak.output;
    const std::string state = outputLine(soak.output, "mirrored state: ");
    const double chatRepaints = lumvo::jsonGetNumber(state.substr(state.find("\"repaints\"")), "chat", -1);
    EXPECT_GE(chatRepaints, 40) << "the feed should have changed every second: " << state;

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

    // The same run's draw times by what each frame repainted (the benchmark's figures).
    const std::string stats = readBytes(out / "draw-stats.json");
    const double emptyP50 = statsNumber(stats, "emptyDrawMs", "p50"),
                 emptyP95 = statsNumber(stats, "emptyDrawMs", "p95");
    std::printf(
        "measured: overlay draw slot at 1920x1080 under Wine (software rasteriser; %s): empty draw p50 %.3f "
        "ms, p95 %.3f ms\n",
        outputLine(soak.output, "machine: ").c_str(), emptyP50, emptyP95);
    for (const char* kind : {"none", "chat", "qr"}) {
        std::printf("measured: overlay frames that repainted %s: %.0f, p50 %.3f ms (x%.1f), p95 %.3f ms (x%.1f)\n",
                    kind, statsNumber(stats, kind, "count"), statsNumber(stats, kind, "p50"),
                    statsNumber(stats, kind, "toEmptyP50"), statsNumber(stats, kind, "p95"),
                    statsNumber(stats, kind, "toEmptyP95"));
    }
}

}  // namespace

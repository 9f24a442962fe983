// A guest's photo in the feed, in whole frames of the plug-in object at 1920 x 1080: the post's
// reactions change every 2 s, so the feed is painted again and again with the photo in it. A huge
// picture (12000 x 12000 PNG, 8000 x 6000 JPEG) must cost the draw slot and the process's memory
// about what a phone's photo costs; a frame with the phone photo is kept for a person to look at.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "drawing_plugin.h"
#include "png_file.h"
#include "test_pictures.h"

namespace {

using namespace lumvo::test;
using lumvo::LayerSlot;

std::uint64_t commitBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

// The most the process's commit charge (its private bytes) rose above where it was at the start,
// sampled every 2 ms on a thread of its own.
class PeakSampler {
public:
    PeakSampler() : start_(commitBytes()), peak_(start_), thread_([this] {
        while (!stop_.load()) {
            peak_.store(std::max(peak_.load(), commitBytes()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }) {}
    ~PeakSampler() { stop(); }
    double riseMiB() {
        stop();
        return static_cast<double>(peak_.load() - start_) / (1 << 20);
    }

private:
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
        peak_.store(std::max(peak_.load(), commitBytes()));
    }
    std::uint64_t start_;
    std::atomic<std::uint64_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct RepaintRun {
    double worstRepaintMs = 0;  // the slowest draw slot call that painted the feed again
    int repaints = 0;
    double peakRiseMiB = 0;
};

// The photo as the worker puts it in the plug-in's cache.
void storePhoto(lumvo::VideoWallPlugin& plugin, const std::string& reference, const std::string& bytes) {
    plugin.overlay().photos().storePhoto(reference, bytes);
}

lumvo::DisplayDocument feedWithPhoto(int reactionCount) {
    lumvo::DisplayDocument shown;
    shown.joinUrl = "http://192.168.1.50:8787";
    shown.feed = {{.id = "p1", .type = "shoutout", .name = "Ana", .text = "Happy birthday Jo!"},
                  {.id = "p2", .type = "request", .name = "Ben", .text = "Play something to dance to"},
                  {.id = "p3",
                   .type = "photo",
                   .name = "Cem",
                   .text = "Table 7 says hi",
                   .photo = "/uploads/guest.jpg",
                   .reactions = "\xF0\x9F\x94\xA5:" + std::to_string(reactionCount)}};
    return shown;
}

// Five reaction changes, 2 s apart at 20 frames a second, with `photo` in the cache from the start.
RepaintRun runWithPhoto(const std::string& photo, const std::string& keepFrameAs = {}) {
    RepaintRun run;
    DrawingPlugin wall;
    wall.start(1920, 1080);
    if (::testing::Test::HasFatalFailure()) return run;
    lumvo::VideoWallPlugin& plugin = *wall.plugin;
    plugin.display().publish(feedWithPhoto(1));
    wall.draw(5);  // the text engine and the textures are made before anything is measured

    PeakSampler memory;
    storePhoto(plugin, "/uploads/guest.jpg", photo);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    for (int change = 2; change <= 6; ++change) {
        plugin.display().publish(feedWithPhoto(change));
        for (int frame = 0; frame < 40; ++frame) {
            const std::uint64_t before = plugin.renderer().uploads(LayerSlot::chatFeed);
            LARGE_INTEGER t0{}, t1{};
            QueryPerformanceCounter(&t0);
            wall.draw(1);
            QueryPerformanceCounter(&t1);
            if (plugin.renderer().uploads(LayerSlot::chatFeed) != before) {
                ++run.repaints;
                run.worstRepaintMs = std::max(
                    run.worstRepaintMs, 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart);
            }
        }
    }
    run.peakRiseMiB = memory.riseMiB();
    if (!keepFrameAs.empty()) {
        const Frame frame = wall.pixels();
        makeFolders(repoPath("test-output\\windows"));
        EXPECT_TRUE(standin::writePng(lumvo::utf8ToWide(repoPath("test-output\\windows\\" + keepFrameAs)),
                                      reinterpret_cast<const std::uint8_t*>(frame.pixels.data()), frame.width,
                                      frame.height, frame.width * 4));
    }
    return run;
}

TEST(PhotoRepaint, AHugePhotoCostsTheDrawSlotAndMemoryAboutWhatAPhonePhotoDoes) {
    GdiplusSession gdiplus;
    const std::string phone = quartersJpeg(1600, 1200);
    ASSERT_FALSE(phone.empty());
    const std::string largePng = quartersPng(12000, 12000);
    std::string largeJpeg = quartersJpeg(8000, 6000);
    ASSERT_FALSE(largeJpeg.empty());

    const RepaintRun base = runWithPhoto(phone, "photo-post-frame.png");
    ASSERT_EQ(base.repaints, 5) << "one feed repaint per reaction change";
    const RepaintRun png = runWithPhoto(largePng);
    const RepaintRun jpeg = runWithPhoto(largeJpeg);
    std::printf(
        "measured: feed repaint with a photo post, reactions changing every 2 s, 1920x1080 under Wine: worst "
        "draw %.1f ms with a 1600x1200 JPEG (peak +%.0f MiB), %.1f ms with a 12000x12000 PNG of %zu KB (peak "
        "+%.0f MiB), %.1f ms with an 8000x6000 JPEG of %zu KB (peak +%.0f MiB)\n",
        base.worstRepaintMs, base.peakRiseMiB, png.worstRepaintMs, largePng.size() / 1024, png.peakRiseMiB,
        jpeg.worstRepaintMs, largeJpeg.size() / 1024, jpeg.peakRiseMiB);
    for (const RepaintRun* large : {&png, &jpeg}) {
        EXPECT_EQ(large->repaints, 5);
        EXPECT_LE(large->worstRepaintMs, 3 * base.worstRepaintMs);
        EXPECT_LE(large->peakRiseMiB, base.peakRiseMiB + 200);
    }
}

}  // namespace

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
#include <vector>

#include "drawing_plugin.h"
#include "media/win/picture_decoder.h"
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
    PeakSampler()
        : start_(commitBytes()), peak_(start_), thread_([this] {
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
    std::vector<double> repaintMs;  // each draw slot call that painted the feed again
    double peakRiseMiB = 0;
    double worst() const { return repaintMs.empty() ? 0 : *std::max_element(repaintMs.begin(), repaintMs.end()); }
    double median() const {
        std::vector<double> sorted = repaintMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
};

// The photo as the worker puts it in the plug-in's cache: decoded within the feed's side.
void storePhoto(lumvo::VideoWallPlugin& plugin, const std::string& reference, const std::string& bytes) {
    plugin.overlay().photos().storePhoto(reference, lumvo::decodePicture(bytes, lumvo::kFeedPhotoSide));
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
            if (plugin.renderer().uploads(LayerSlot::chatFeed) != before)
                run.repaintMs.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart);
        }
    }
    run.peakRiseMiB = memory.riseMiB();
    if (!keepFrameAs.empty()) {
        const Frame frame = wall.pixels();
        makeFolders(repoPath("test-output\\windows"));
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // the PNG writer's WIC
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
    ASSERT_EQ(base.repaintMs.size(), 5u) << "one feed repaint per reaction change";
    const RepaintRun png = runWithPhoto(largePng);
    const RepaintRun jpeg = runWithPhoto(largeJpeg);
    std::printf(
        "measured: feed repaint with a photo post, reactions changing every 2 s, 1920x1080 under Wine (worst / "
        "median of 5 repaints, peak commit rise): 1600x1200 JPEG %.0f / %.0f ms, +%.0f MiB; 12000x12000 PNG of %zu "
        "KB %.0f / %.0f ms, +%.0f MiB; 8000x6000 JPEG of %zu KB %.0f / %.0f ms, +%.0f MiB\n",
        base.worst(), base.median(), base.peakRiseMiB, largePng.size() / 1024, png.worst(), png.median(),
        png.peakRiseMiB, largeJpeg.size() / 1024, jpeg.worst(), jpeg.median(), jpeg.peakRiseMiB);
    for (const RepaintRun* large : {&png, &jpeg}) {
        EXPECT_EQ(large->repaintMs.size(), 5u);
        EXPECT_LE(large->worst(), 3 * base.worst());
        EXPECT_LE(large->peakRiseMiB, base.peakRiseMiB + 200);
    }
}

// The colour at (x, y) of a decoded picture, 0xRRGGBB (opaque pictures: premultiplied is straight).
std::uint32_t colourAt(const lumvo::DecodedPicture& picture, int x, int y) {
    const std::uint8_t* p = picture.pixels.data() + (static_cast<std::size_t>(y) * picture.width + x) * 4;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

TEST(PhotoDecode, BoundedTheRightWayUpAndNothingForBrokenOrTooLargePictures) {
    GdiplusSession gdiplus;
    // Wide and tall, JPEG and PNG: within the side, the aspect kept, each quarter where it was.
    const std::pair<std::string, std::pair<int, int>> pictures[] = {{quartersJpeg(1600, 1200), {160, 120}},
                                                                    {quartersPng(3000, 200), {2048, 137}},
                                                                    {quartersPng(90, 4000), {4, 160}}};
    for (const auto& [bytes, size] : pictures) {
        const int side = std::max(size.first, size.second);
        const lumvo::PictureRef picture = lumvo::decodePicture(bytes, side);
        ASSERT_TRUE(picture) << side;
        EXPECT_EQ(std::make_pair(picture->width, picture->height), size);
        const int w = picture->width, h = picture->height;
        // A point in each quarter, clear of the JPEG's diagonal band.
        const std::pair<int, int> centres[] = {
            {w / 8, 3 * h / 8}, {5 * w / 8, h / 8}, {w / 8, 5 * h / 8}, {7 * w / 8, 5 * h / 8}};
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t c = colourAt(*picture, centres[i].first, centres[i].second);
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(static_cast<int>(c >> shift & 0xFF), static_cast<int>(kQuarterColours[i] >> shift & 0xFF),
                            24)
                    << "quarter " << i << " of a " << w << " x " << h << " picture: " << std::hex << c;
        }
    }
    // A small picture is not enlarged.
    const lumvo::PictureRef small = lumvo::decodePicture(quartersPng(40, 30), lumvo::kLargePhotoSide);
    ASSERT_TRUE(small);
    EXPECT_EQ(std::make_pair(small->width, small->height), std::make_pair(40, 30));

    // More pixels than the decoders may hold (12000 x 12000, 9000 x 6000), whatever the side asked.
    EXPECT_FALSE(lumvo::decodePicture(quartersPng(12000, 12000), lumvo::kFeedPhotoSide));
    EXPECT_FALSE(lumvo::decodePicture(quartersPng(9000, 6000), lumvo::kFeedPhotoSide));
    EXPECT_TRUE(lumvo::decodePicture(quartersPng(8000, 6000), lumvo::kFeedPhotoSide)) << "48 megapixels decode";
    // Words, nothing, and a JPEG whose first segment claims more bytes than there are (Wine's decoder
    // would read past the data and take the host down).
    EXPECT_FALSE(lumvo::decodePicture("not a picture at all, just words", lumvo::kFeedPhotoSide));
    EXPECT_FALSE(lumvo::decodePicture("", lumvo::kFeedPhotoSide));
    EXPECT_FALSE(
        lumvo::decodePicture(std::string("\xFF\xD8\xFF\xE0", 4) + std::string(4000, 'a'), lumvo::kFeedPhotoSide));
    // A PNG whose header is whole but whose data is not.
    std::string cut = quartersPng(400, 300);
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(lumvo::decodePicture(cut, lumvo::kFeedPhotoSide));
}

}  // namespace

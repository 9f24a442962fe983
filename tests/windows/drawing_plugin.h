#pragma once
// The plug-in object drawing whole frames in the test program: made the way the factory makes it,
// loaded (GDI+) and given a Direct3D device by a fake host, its animations on a manual clock; and
// the frame's pixels read back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "moving_video.h"
#include "plugin/win/video_wall_plugin.h"
#include "support/manual_clock.h"
#include "wall_support.h"

namespace lumvo::test {

// A frame's pixels as 0xAARRGGBB rows.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // How many pixels of `r` (frame pixels) pass `test`, and how many there are.
    std::pair<int, int> count(const lumvo::RectF& r, const std::function<bool(std::uint32_t)>& test) const {
        int hits = 0, all = 0;
        for (int y = std::max(static_cast<int>(r.y), 0); y < std::min(static_cast<int>(r.bottom()), height); ++y)
            for (int x = std::max(static_cast<int>(r.x), 0); x < std::min(static_cast<int>(r.right()), width);
                 ++x, ++all)
                hits += test(at(x, y));
        return {hits, all};
    }
};

inline bool dark(std::uint32_t p) { return std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) <= 60; }
inline bool white(std::uint32_t p) { return std::min({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}) >= 200; }
// Within `tolerance` of `rgb` in every channel.
inline std::function<bool(std::uint32_t)> closeTo(std::uint32_t rgb, int tolerance = 40) {
    return [=](std::uint32_t p) {
        for (int shift : {16, 8, 0}) {
            if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) > tolerance)
                return false;
        }
        return true;
    };
}

// The plug-in object made the way the factory makes it, loaded (GDI+) and given a Direct3D device by
// a fake host, drawing frames of the test video's size; its animations run on `clock`. Call start()
// and stop the test when it fails (HasFatalFailure).
struct DrawingPlugin {
    TempFolder data;
    ScopedEnvironment localAppData{"LOCALAPPDATA", data.path().c_str()};
    GdiplusSession gdiplus;
    standin::TestVideo video;
    FakeHost host;
    ManualClock clock{1'000'000};
    lumvo::VideoWallPlugin* plugin = nullptr;

    ~DrawingPlugin() {
        if (plugin) plugin->release();
    }
    void start(int width, int height) {
        std::string error;
        ASSERT_TRUE(video.create(width, height, error)) << error;
        host.device = video.device();
        void* object = nullptr;
        ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
        plugin = static_cast<lumvo::VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
        plugin->hostCallbacks = &host;
        plugin->videoCallbacks = &host;
        plugin->frameWidth = width;
        plugin->frameHeight = height;
        plugin->overlay().setClock(&clock);
        ASSERT_EQ(plugin->load(), 0);
        ASSERT_EQ(plugin->deviceInit(), 0);
    }
    // `frames` frames, `stepMs` apart on the clock: the test video, then the draw slot.
    void draw(int frames = 1, std::uint64_t stepMs = 50) {
        for (int i = 0; i < frames; ++i) {
            clock.advance(stepMs);
            video.drawFrame(static_cast<double>(clock.nowMs()) / 1000);
            EXPECT_EQ(plugin->draw(), 0);
        }
    }
    // What the last frame shows.
    Frame pixels() {
        video.finishGpuWork();
        std::vector<std::uint8_t> bgra;
        Frame frame;
        if (!video.readPixels(bgra)) return frame;
        frame.width = video.width(), frame.height = video.height();
        frame.pixels.resize(bgra.size() / 4);
        std::memcpy(frame.pixels.data(), bgra.data(), bgra.size());
        return frame;
    }
};

}  // namespace lumvo::test

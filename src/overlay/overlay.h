#pragma once
// The TV overlay as the render thread sees it: per frame a private copy of the settings and of the
// display state to draw from, so that the other threads may change both while a frame is drawn,
// and the layers drawn from them through a LayerTarget (on Windows the Direct3D 11 renderer, which
// the plug-in object owns).
#include <atomic>
#include <cstdint>

#include "overlay/layer_target.h"
#include "overlay/photo_cache.h"
#include "plugin/shared_settings.h"
#include "serverlink/display_state.h"
#include "serverlink/wall_link.h"

namespace lumvo {

struct FrameSize {
    std::int32_t width = 1920;
    std::int32_t height = 1080;
};

class Overlay {
public:
    // Where the layers go; not owned. Without one, frames are only prepared.
    void setLayerTarget(LayerTarget* target) { target_ = target; }

    // One video frame of `width` x `height`: nothing at all while the wall is switched off;
    // otherwise the frame size is kept for the mouse, the display state copied for the frame
    // (only when the worker published a new one since the last frame), and the layers drawn: each
    // card repainted only when its content key changed, the cards that show photos also when the
    // photo cache took a new photo. Render thread only.
    void drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings, const WallLink& link);

    // What the last frame was drawn from (render thread).
    const DisplayState& frameState() const { return frame_; }
    const WallSettings& frameSettings() const { return settings_; }
    // The last frame's size; any thread (the mouse callbacks map positions with it).
    FrameSize lastFrameSize() const { return {lastWidth_.load(), lastHeight_.load()}; }

    // The photos the cards paint: filled by the worker's display poll, read by the render thread
    // (the cache has its own lock).
    PhotoCache& photos() { return photos_; }

private:
    void compose(std::int32_t width, std::int32_t height);

    LayerTarget* target_ = nullptr;
    WallSettings settings_;
    std::uint64_t settingsSeen_ = 0;
    DisplayState frame_;
    std::uint64_t displaySeen_ = 0;
    std::atomic<std::int32_t> lastWidth_{1920};
    std::atomic<std::int32_t> lastHeight_{1080};
    PhotoCache photos_;
    std::uint64_t photosSeen_ = 0;
};

}  // namespace lumvo

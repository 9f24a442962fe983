#pragma once
// The TV overlay as the render thread sees it: the host's Direct3D 11 device while one is set up,
// and per frame a private copy of the settings and of the display state to draw from, so that the
// other threads may change both while a frame is drawn. Drawing itself joins here next.
#include <atomic>
#include <cstdint>

#include "plugin/shared_settings.h"
#include "serverlink/display_state.h"
#include "serverlink/wall_link.h"

struct ID3D11Device;

namespace lumvo {

struct FrameSize {
    std::int32_t width = 1920;
    std::int32_t height = 1080;
};

class Overlay {
public:
    // The host's device, not owned; null when there is none.
    void attachDevice(ID3D11Device* device) { device_ = device; }
    void detachDevice() { device_ = nullptr; }
    ID3D11Device* device() const { return device_; }

    // One video frame of `width` x `height`: nothing at all while the wall is switched off;
    // otherwise the frame size is kept for the mouse and the display state copied for the frame
    // (only when the worker published a new one since the last frame).
    // Render thread only.
    void drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings, const WallLink& link);

    // What the last frame was drawn from (render thread).
    const DisplayState& frameState() const { return frame_; }
    const WallSettings& frameSettings() const { return settings_; }
    // The last frame's size; any thread (the mouse callbacks map positions with it).
    FrameSize lastFrameSize() const { return {lastWidth_.load(), lastHeight_.load()}; }

private:
    ID3D11Device* device_ = nullptr;
    WallSettings settings_;
    std::uint64_t settingsSeen_ = 0;
    DisplayState frame_;
    std::uint64_t displaySeen_ = 0;
    std::atomic<std::int32_t> lastWidth_{1920};
    std::atomic<std::int32_t> lastHeight_{1080};
};

}  // namespace lumvo

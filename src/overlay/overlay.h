#pragma once
// The TV overlay as the render thread sees it: per frame a private copy of the settings and of the
// published display document to draw from, so that the other threads may change both while a frame is drawn,
// and the frame composed from them through a LayerTarget (on Windows the Direct3D 11 renderer,
// which the plug-in object owns): the frame driver's preparation, the cards repainted when their
// content keys change, the layers drawn in order.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "documents/published_display.h"
#include "media/photo_cache.h"
#include "overlay/backdrops/backdrop_layer.h"
#include "overlay/compose.h"
#include "overlay/flames.h"
#include "overlay/frame_driver.h"
#include "overlay/frame_state.h"
#include "overlay/layer_target.h"
#include "overlay/poll.h"
#include "overlay/qr_card.h"
#include "settings/shared_settings.h"

namespace lumvo {

struct FrameSize {
    std::int32_t width = 1920;
    std::int32_t height = 1080;
};

// The logo files the QR card shows, as found on disk: the venue's own logo and the product
// wordmark (empty when missing). UTF-8, but the venue's logo also in UTF-16 for the frame's state.
struct LogoFiles {
    std::wstring brandLogo;
    std::string brandLogoUtf8;
    std::string wordmark;
    bool operator==(const LogoFiles&) const = default;
};

class Overlay {
public:
    // Where the layers go; not owned. Without one, frames are only prepared.
    void setLayerTarget(LayerTarget* target) { target_ = target; }
    // The clock animations run on (not owned); a steady clock of its own until set.
    void setClock(const Clock* clock) { clock_ = clock ? clock : &steady_; }
    // Looks for the logo files; asked at most once a second while frames are drawn.
    void setLogoFinder(std::function<LogoFiles()> finder) { findLogos_ = std::move(finder); }

    // One video frame of `width` x `height` at the host's `beatPosition`: nothing at all while the
    // wall is switched off; otherwise the frame size is kept for the mouse, the display document
    // copied (only when the worker published a new one since the last frame), and the frame
    // composed. Render thread only.
    void drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings,
                   const PublishedDisplay& display, double beatPosition = 0.0);

    // What the last frame was drawn from (render thread): the document as the server sent it, and
    // the frame as prepared for drawing (featured clock and draw-time fields applied).
    const DisplayDocument& frameState() const { return frame_; }
    const FrameState& preparedState() const { return prepared_; }
    const WallSettings& frameSettings() const { return settings_; }
    // The last frame's size; any thread (the mouse callbacks map positions with it).
    FrameSize lastFrameSize() const { return {lastWidth_.load(), lastHeight_.load()}; }

    // The photos the cards paint: filled by the worker's display poll, read by the render thread
    // (the cache has its own lock). A stored photo moves its generation, which is part of the
    // feed's content key: the render thread repaints, the worker never touches the keys.
    PhotoCache& photos() { return photos_; }
    // The poll panel's animation as the last frame left it (render thread).
    const PollAnimation& pollAnimation() const { return poll_; }
    // Particles painted so far: the poll's confetti, the flames' sprites and the word backdrops'
    // particles (render thread).
    std::uint64_t particlesPainted() const { return confettiPainted_ + flames_.spritesPainted() + backdropPaintedSum_; }
    // The word backdrops as the last frame left them (render thread); particles painted by it.
    const WordBackdropLayer& backdrops() const { return backdrops_; }
    int backdropParticlesPainted() const { return backdropPainted_; }
    // Forgets the running backdrop and its particles (the renderer's release); the generator runs on.
    void resetBackdrops() { backdrops_.reset(); }

private:
    void compose(std::int32_t width, std::int32_t height, double beatPosition);
    // Paints the flame slot for a flame layer about to be drawn; false when it is not to be drawn.
    // True for every other layer.
    bool paintFlamesFor(Layer layer, const ComposeGeometry& geometry, SizeI card, double now);
    // Paints the word-backdrop slot from the pool; false when nothing is to be drawn.
    bool paintBackdrops(SizeI canvas, float pulse);

    LayerTarget* target_ = nullptr;
    SteadyClock steady_;
    const Clock* clock_ = &steady_;
    std::function<LogoFiles()> findLogos_;
    WallSettings settings_;
    std::uint64_t settingsSeen_ = 0;
    DisplayDocument frame_;
    std::uint64_t displaySeen_ = 0;
    std::atomic<std::int32_t> lastWidth_{1920};
    std::atomic<std::int32_t> lastHeight_{1080};
    PhotoCache photos_;

    // Kept from frame to frame by the render thread.
    FrameState prepared_;  // this frame's copy, prepared (its buffers reused frame to frame)
    FeaturedClock featured_;
    CaptionState caption_;
    std::vector<FeedRecord> feedRecords_;  // where the last feed paint put each post
    std::vector<RectF> hotRects_;
    LogoFiles logos_;
    double logosCheckedAt_ = -1e9;
    bool logoStale_ = true;
    std::unique_ptr<CanvasImage> qrLogo_;
    FrameTimer timer_;
    PollAnimation poll_;
    PollPicture pollPicture_;
    std::uint64_t frames_ = 0;
    std::uint64_t confettiPainted_ = 0;
    FlameLayer flames_;
    WordBackdropLayer backdrops_;
    std::uint64_t backdropPaints_ = 0;
    int backdropPainted_ = 0;
    std::uint64_t backdropPaintedSum_ = 0;
};

}  // namespace lumvo

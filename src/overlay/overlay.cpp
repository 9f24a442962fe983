#include "overlay/overlay.h"

namespace lumvo {

void Overlay::drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings, const WallLink& link) {
    settings.refresh(settings_, settingsSeen_);
    if (!settings_.enable) return;
    lastWidth_.store(width);
    lastHeight_.store(height);
    // Read before the copy: a state published meanwhile is copied again on the next frame.
    const std::uint64_t published = link.displayGeneration();
    if (published != displaySeen_) {
        link.copyDisplay(frame_);
        displaySeen_ = published;
    }
    if (target_) compose(width, height);
}

void Overlay::compose(std::int32_t width, std::int32_t height) {
    // The frame is ended on every path, so the host's pipeline state is always put back.
    struct EndFrame {
        LayerTarget& target;
        ~EndFrame() { target.endFrame(); }
    } end{*target_};
    if (!target_->beginFrame(width, height)) return;
    // The worker only counts the photos it stores; the keys are the render thread's to clear.
    if (const std::uint64_t photos = photos_.generation(); photos != photosSeen_) {
        photosSeen_ = photos;
        target_->forgetContent(LayerSlot::chatFeed);
        target_->forgetContent(LayerSlot::featuredCard);
    }
}

}  // namespace lumvo

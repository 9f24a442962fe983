#include "overlay/overlay.h"

namespace lumvo {

void Overlay::drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings, const WallLink& link) {
    settings.refresh(settings_, settingsSeen_);
    if (!settings_.enable) return;
    lastWidth_.store(width);
    lastHeight_.store(height);
    // Read before the copy: a state published meanwhile is copied again on the next frame.
    const std::uint64_t published = link.displayGeneration();
    if (published == displaySeen_) return;
    link.copyDisplay(frame_);
    displaySeen_ = published;
}

}  // namespace lumvo

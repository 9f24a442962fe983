#include "overlay/overlay.h"

namespace lumvo {

void Overlay::drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings, const WallLink& link) {
    settings.refresh(settings_, settingsSeen_);
    if (!settings_.enable) return;
    lastWidth_.store(width);
    lastHeight_.store(height);
    link.copyDisplay(frame_);
}

}  // namespace lumvo

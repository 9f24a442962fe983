#include "overlay/frame_state.h"

#include <utility>

namespace lumvo {

FrameState::FrameState() { takeSettings(WallSettings{}); }

FrameState::FrameState(DisplayDocument document) : DisplayDocument(std::move(document)) {
    takeSettings(WallSettings{});
}

void FrameState::takeSettings(const WallSettings& s) {
    showQr = s.showQr != 0;
    allowMessages = s.allowMessages != 0;
    allowRequests = s.allowRequests != 0;
    allowPhotos = s.allowPhotos != 0;
    wordFx = s.allowWordFx != 0;
    tipFx = s.allowTipFx != 0;
    venueFx = s.allowVenueFx != 0;
    calmFx = s.calmFx != 0;
    editMode = s.edit != 0;
    brandText = s.brandUrl.empty() ? std::string{} : brandLabel(normalizeUrl(s.brandUrl));
    opacity = s.opacity;
    theme = s.theme;
    chatBox = s.chat;
    qrBox = s.qr;
    heroBox = s.hero;
    palette[0] = s.colorShoutout;
    palette[1] = s.colorRequest;
    palette[2] = s.colorPhoto;
    palette[3] = s.colorVenue;
}

}  // namespace lumvo

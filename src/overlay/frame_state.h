#pragma once
// What one frame is drawn from: the display document as the wall server sent it, plus the fields
// the render thread works out for the frame (overlay/frame_driver.h): the DJ's settings as the
// cards use them, the beat's pulse, the featured post's clock. The overlay keeps its own copy and
// prepares it anew every frame; nothing outside the overlay sees it.
#include <string>

#include "base/argb.h"
#include "documents/display_document.h"
#include "settings/settings.h"

namespace lumvo {

struct FrameState : DisplayDocument {
    // Settings fields as WallSettings' defaults have them.
    FrameState();
    // The document, with the settings fields as WallSettings' defaults have them.
    explicit FrameState(DisplayDocument document);

    // Sets every field that comes from the DJ's settings alone (the switches, edit mode, the theme,
    // the brand label, opacity, the boxes and the palette).
    void takeSettings(const WallSettings& settings);

    // From the settings (takeSettings).
    bool showQr;
    bool allowMessages;
    bool allowRequests;
    bool allowPhotos;
    bool wordFx;
    bool tipFx;
    bool venueFx;
    bool calmFx;  // no strobe-like change: no bolts or shock rings, no shaking poll bars
    bool editMode;
    std::string brandText;  // the brand address's short label; empty for none
    float opacity;          // 0.2..1
    std::string theme;
    BoxRect chatBox, qrBox, heroBox;
    // Accent colours in the order shout-out, request, photo, venue.
    Argb palette[4];

    // Worked out for the frame.
    std::wstring brandLogoPath;  // the venue's logo file when it exists, else empty
    double heroElapsed = 0.0;    // seconds since the featured post appeared
    float pulse = 1.0f;          // the beat's scale, about 0.97..1.03
};

}  // namespace lumvo

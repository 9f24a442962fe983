#pragma once
// The DJ's settings: the in-memory model, its defaults and the normalisers. The settings table
// (settings_table.h) describes each setting over this model; layout.ini and the push to the wall
// server are written and read in settings_file.h. Pure logic: file locations and folder creation
// are the Windows side's business (settings/win/settings_store.cpp).
#include <cstdint>
#include <string>
#include <string_view>

#include "base/argb.h"
#include "settings/themes.h"

namespace lumvo {

// A layout box as fractions of the video frame; x, y is the top-left corner.
struct BoxRect {
    float x = 0, y = 0, w = 0, h = 0;
};

// The highlight length: the duration setting runs from 0 to 1 and stands for kHighlightMinSeconds
// to kHighlightMaxSeconds, linearly. Exported with the settings table for the wall server's tests.
inline constexpr float kHighlightMinSeconds = 3.0f;
inline constexpr float kHighlightMaxSeconds = 60.0f;
// The seconds a duration setting stands for; the setting is clamped to 0..1 (NaN counts as 0).
constexpr float highlightSecondsOf(float duration) {
    const float d = duration > 0.0f ? (duration < 1.0f ? duration : 1.0f) : 0.0f;
    return kHighlightMinSeconds + d * (kHighlightMaxSeconds - kHighlightMinSeconds);
}
// The duration setting for a length in seconds, clamped to the range.
constexpr float durationOfSeconds(float seconds) {
    const float s = seconds > kHighlightMinSeconds ? (seconds < kHighlightMaxSeconds ? seconds : kHighlightMaxSeconds)
                                                   : kHighlightMinSeconds;
    return (s - kHighlightMinSeconds) / (kHighlightMaxSeconds - kHighlightMinSeconds);
}

struct WallSettings {
    // Switches are 32-bit ints holding 0 or 1, so a reader on another thread sees either value.
    std::int32_t enable = 1;
    std::int32_t showQr = 1;
    std::int32_t autoApprove = 0;
    std::int32_t autoApproveDelay = 0;  // seconds a guest's post waits before auto approve, 0..120
    std::int32_t beat = 1;
    // Calm effects: no strobe-like change on the TV (no lightning bolts or shock rings among the
    // backdrops, no shaking poll bars). The TV's own choice, not the wall server's.
    std::int32_t calmFx = 0;
    std::int32_t edit = 0;
    std::int32_t repeat = 1;
    std::int32_t notify = 1;
    std::int32_t allowMessages = 1;
    std::int32_t allowRequests = 1;
    std::int32_t allowPhotos = 1;
    std::int32_t allowAllEmojis = 0;
    std::int32_t allowMultipleEmojis = 0;
    std::int32_t allowUnlimitedVoting = 0;
    std::int32_t allowGuestColors = 1;
    std::int32_t allowReactions = 1;
    std::int32_t allowWordFx = 1;
    std::int32_t allowTipFx = 1;
    std::int32_t allowVenueFx = 1;
    std::int32_t allowHotFx = 1;
    std::int32_t hotNeed = 8;     // 3..30
    std::int32_t hotWindow = 60;  // seconds, 10..180
    std::int32_t showTips = 1;
    std::string tipLink, tipLink2, tipLink3;
    std::string brandUrl;
    std::string theme{kThemeNames[0]};
    float duration = durationOfSeconds(7.0f);  // 0..1, see highlightSecondsOf
    float opacity = 1.0f;                      // 0.2..1.0
    BoxRect chat{0.70f, 0.08f, 0.28f, 0.84f};
    BoxRect qr{0.03f, 0.62f, 0.28f, 0.32f};
    BoxRect hero{0.14f, 0.16f, 0.50f, 0.50f};
    Argb colorShoutout = 0xFFFF7A18;
    Argb colorRequest = 0xFFA855F7;
    Argb colorPhoto = 0xFFF472B6;
    Argb colorVenue = 0xFFFF4B1F;
    std::string mediaDir;  // UTF-8; empty until the default media folder is filled in
    // The DJ's own words for the wall's word filter, separated by commas (UTF-8).
    std::string filterWords;
};

// The name of the theme the value stands for (see themeIndex): one of kThemeNames.
std::string normalizeTheme(std::string_view theme);
// Trims blanks, turns back-slashes into slashes, adds "https://" when no scheme is given and
// returns "" for any scheme but http/https; at most 200 bytes, cut between UTF-8 characters.
std::string normalizeUrl(std::string_view url);
// Keeps a box inside the frame with sane minimum and maximum sizes.
void clampBox(BoxRect& box);
// The short host name shown for the brand address; "Lumvo" for none or for our own site.
std::string brandLabel(std::string_view normalizedUrl);

// The highlight length in whole seconds as written to layout.ini and shown to the DJ.
int highlightSeconds(const WallSettings& s);

}  // namespace lumvo

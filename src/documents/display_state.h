#pragma once
// What the TV shows, as last read from the wall server's display document, plus the fields the
// frame driver fills in its own copy on every frame. The plug-in keeps one shared instance under
// its displayMutex; the draw slot works on a copy.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace lumvo {

// One post of the chat feed (one line of "feedPacked").
struct FeedItem {
    std::string id, type, name, text, photo, reactions, color;
    bool hot = false;
    // Not filled from the feed line.
    std::string extra1, extra2;
};

// One bar of the live poll (one line of "voteBars").
struct VoteBar {
    std::string key;
    std::string label;
    std::int32_t count = 0;   // >= 0
    Argb colour = 0xFFFF7A18;
};

struct DisplayState {
    // From the display document.
    std::vector<FeedItem> feed;
    std::string featuredId;
    std::string type;
    std::string name;
    std::string text;
    std::string photo;
    std::string joinUrl;
    std::string reactions;
    std::string color;
    bool hot = false;
    float duration = 7.0f;  // seconds
    bool tipEnabled = false;
    bool voteActive = false;
    bool voteClosed = false;
    std::string voteTitle;
    std::string votePhoto;
    float voteRemain = 0.0f;      // seconds
    float voteDuration = 60.0f;   // seconds
    float voteClosedFor = 0.0f;   // seconds
    std::vector<VoteBar> voteBars;

    // Filled by the frame driver in its copy; the poll never sets them.
    bool showQr = true;
    bool allowMessages = true;
    bool allowRequests = true;
    bool allowPhotos = true;
    bool wordFx = false;
    bool tipFx = true;
    bool venueFx = true;
    bool editMode = false;
    std::string brandText;
    std::wstring brandLogoPath;
    double heroElapsed = 0.0;  // seconds since the featured post appeared
    float opacity = 1.0f;
    float pulse = 1.0f;
    std::string theme = "club";
    BoxRect chatBox{0.70f, 0.08f, 0.28f, 0.84f};
    BoxRect qrBox{0.03f, 0.62f, 0.28f, 0.32f};
    BoxRect heroBox{0.14f, 0.16f, 0.50f, 0.50f};
    // Accent colours in the order shout-out, request, photo, venue.
    Argb palette[4] = {0xFFFF7A18, 0xFFA855F7, 0xFFF472B6, 0xFFFF4B1F};
};

}  // namespace lumvo

#pragma once
// The wall server's display document (GET /api/display) as the plug-in reads it: what the TV
// shows, the packed feed and poll bars, and the few settings the server decides. Every key the
// plug-in reads is one row of one table (displayDocumentKeys), which the readers below walk and the
// native tests export to tests/contract/plugin-reads.json for the wall server's tests.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/argb.h"
#include "settings/settings.h"
#include "settings/settings_table.h"

namespace lumvo {

// One post of the chat feed (one line of "feedPacked").
struct FeedItem {
    std::string id, type, name, text, photo, reactions, color;
    bool hot = false;
};

// One bar of the live poll (one line of "voteBars").
struct VoteBar {
    std::string key;
    std::string label;
    std::int32_t count = 0;  // >= 0
    Argb colour = 0xFFFF7A18;
};

// What the TV shows, as the wall server last said it. A member's default is its value when the
// document lacks its key.
struct DisplayDocument {
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
    float voteRemain = 0.0f;     // seconds
    float voteDuration = 60.0f;  // seconds
    float voteClosedFor = 0.0f;  // seconds
    std::vector<VoteBar> voteBars;
};

enum class DocumentKind : std::uint8_t {
    text,      // a string
    flag,      // true or 1 (quoted or not) is true
    number,    // a number (a float member)
    feed,      // the packed feed, a string decoded by decodeFeed
    voteBars,  // the packed poll bars, a string decoded by decodeVoteBars
    setting,   // a setting the server decides: its settings row says the member, kind and range
};

using DocumentMember =
    std::variant<std::monostate, std::string DisplayDocument::*, bool DisplayDocument::*, float DisplayDocument::*,
                 std::vector<FeedItem> DisplayDocument::*, std::vector<VoteBar> DisplayDocument::*>;

struct DocumentKey {
    const char* key;  // top-level key of the display document
    DocumentKind kind;
    DocumentMember target;                // the DisplayDocument member; none for a setting
    const SettingRow* setting = nullptr;  // kind setting: the settings table's row
};

// Every key the plug-in reads: the document's own fields, then the settings table's server-driven
// rows (keyed by their push key, which the server's document echoes).
std::span<const DocumentKey> displayDocumentKeys();

// "feedPacked": one post a line (LF), up to eight TAB fields: id, type, name, text, photo,
// reactions, color, hot ("1"). Missing fields stay empty; lines without an id are dropped.
std::vector<FeedItem> decodeFeed(std::string_view packed);
// "voteBars": one bar a line, up to four TAB fields: key, label, count (decimal; below 1 or
// unreadable is 0), colour "r,g,b" (each number that reads replaces 255,122,24 in turn). Lines
// without a label are dropped.
std::vector<VoteBar> decodeVoteBars(std::string_view packed);

// Every DisplayDocument field the document carries, with their defaults for absent keys; a number
// beyond the float range is the largest float of its sign.
DisplayDocument readDisplayDocument(std::string_view document);

// The settings the wall server decides (the table's setting keys: backdrop, hot and reaction
// switches, the hot numbers, the theme), as read from a display document: absent switches are on,
// absent numbers keep the current value, numbers are truncated and clamped, an absent theme is
// "club". Read without any lock held; applied under the settings' lock.
class ServerSettings {
public:
    void applyTo(WallSettings& settings) const;

private:
    friend ServerSettings readServerSettings(std::string_view document);
    struct Value {
        const SettingRow* row = nullptr;
        std::optional<std::int32_t> whole;  // a switch or a number; none: keep the current value
        std::string theme;
    };
    std::vector<Value> values_;
};

ServerSettings readServerSettings(std::string_view document);
// Both at once.
void applyServerSettings(std::string_view document, WallSettings& settings);

// Whether downloaded bytes start like a JPEG, a PNG or a WebP picture (and hold at least 12 bytes).
bool looksLikePicture(std::string_view bytes);

}  // namespace lumvo

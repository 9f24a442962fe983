#include "documents/display_document.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "base/json.h"

namespace lumvo {
namespace {

// Calls `line` for every non-empty LF-separated line of `text`.
template <class Line>
void forEachLine(std::string_view text, Line&& line) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view current = text.substr(0, end);
        if (!current.empty()) line(current);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// The next TAB-separated field of `rest` (the whole rest when it holds no TAB), removed from it.
std::string_view nextField(std::string_view& rest) {
    const std::size_t tab = rest.find('\t');
    const std::string_view field = rest.substr(0, tab);
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    return field;
}

// scanf's %d: leading white space, an optional sign, decimal digits; false when none read. Values
// beyond 32 bits saturate.
bool scanDecimal(std::string_view& text, long long& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (n < (1LL << 40)) n = n * 10 + (text[i] - '0');
    }
    if (i == digits) return false;
    value = negative ? -n : n;
    text.remove_prefix(i);
    return true;
}

// A number of the document as a float; beyond the float range, the largest float of its sign
// rather than an infinity.
float floatNumber(std::string_view d, std::string_view key, float dflt) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(jsonGetNumber(d, key, dflt), -kLargest, kLargest));
}

}  // namespace

std::vector<FeedItem> decodeFeed(std::string_view packed) {
    std::vector<FeedItem> feed;
    forEachLine(packed, [&](std::string_view line) {
        FeedItem item;
        for (std::string* field :
             {&item.id, &item.type, &item.name, &item.text, &item.photo, &item.reactions, &item.color}) {
            *field = std::string(nextField(line));
        }
        item.hot = nextField(line) == "1";
        if (!item.id.empty()) feed.push_back(std::move(item));
    });
    return feed;
}

std::vector<VoteBar> decodeVoteBars(std::string_view packed) {
    std::vector<VoteBar> bars;
    forEachLine(packed, [&](std::string_view line) {
        VoteBar bar;
        bar.key = std::string(nextField(line));
        bar.label = std::string(nextField(line));
        std::string_view count = nextField(line);
        long long n = 0;
        bar.count = scanDecimal(count, n) && n >= 1 && n <= std::numeric_limits<std::int32_t>::max()
                        ? static_cast<std::int32_t>(n)
                        : 0;
        std::string_view colour = nextField(line);
        long long rgb[3] = {255, 122, 24};
        for (int k = 0; k < 3; ++k) {
            if (k > 0) {
                if (colour.empty() || colour.front() != ',') break;
                colour.remove_prefix(1);
            }
            if (!scanDecimal(colour, rgb[k])) break;
        }
        bar.colour = 0xFF000000u | (static_cast<Argb>(rgb[0]) & 0xFF) << 16 | (static_cast<Argb>(rgb[1]) & 0xFF) << 8 |
                     (static_cast<Argb>(rgb[2]) & 0xFF);
        if (!bar.label.empty()) bars.push_back(std::move(bar));
    });
    return bars;
}

namespace {

using D = DisplayDocument;
using K = DocumentKind;

constexpr DocumentKey kDocumentKeys[] = {
    {"featuredId", K::text, &D::featuredId},
    {"type", K::text, &D::type},
    {"name", K::text, &D::name},
    {"text", K::text, &D::text},
    {"photo", K::text, &D::photo},
    {"color", K::text, &D::color},
    {"hot", K::flag, &D::hot},
    {"reactions", K::text, &D::reactions},
    {"joinUrl", K::text, &D::joinUrl},
    {"duration", K::number, &D::duration},
    {"voteActive", K::flag, &D::voteActive},
    {"voteClosed", K::flag, &D::voteClosed},
    {"voteTitle", K::text, &D::voteTitle},
    {"votePhoto", K::text, &D::votePhoto},
    {"voteRemain", K::number, &D::voteRemain},
    {"voteDuration", K::number, &D::voteDuration},
    {"voteClosedFor", K::number, &D::voteClosedFor},
    {"tipEnabled", K::flag, &D::tipEnabled},
    {"feedPacked", K::feed, &D::feed},
    {"voteBars", K::voteBars, &D::voteBars},
};

std::vector<DocumentKey> allDocumentKeys() {
    std::vector<DocumentKey> keys(std::begin(kDocumentKeys), std::end(kDocumentKeys));
    for (const SettingRow& row : settingsTable()) {
        if (row.serverDriven) keys.push_back({row.json, K::setting, {}, &row});
    }
    return keys;
}

template <class T>
T& member(const DocumentKey& key, DisplayDocument& d) {
    return d.*std::get<T DisplayDocument::*>(key.target);
}

}  // namespace

std::span<const DocumentKey> displayDocumentKeys() {
    static const std::vector<DocumentKey> keys = allDocumentKeys();
    return keys;
}

DisplayDocument readDisplayDocument(std::string_view d) {
    DisplayDocument doc;  // an absent key keeps the member's default
    for (const DocumentKey& key : displayDocumentKeys()) {
        switch (key.kind) {
            case K::text: member<std::string>(key, doc) = jsonGetString(d, key.key); break;
            case K::flag: member<bool>(key, doc) = jsonGetBool(d, key.key, member<bool>(key, doc)); break;
            case K::number: member<float>(key, doc) = floatNumber(d, key.key, member<float>(key, doc)); break;
            case K::feed: member<std::vector<FeedItem>>(key, doc) = decodeFeed(jsonGetString(d, key.key)); break;
            case K::voteBars: member<std::vector<VoteBar>>(key, doc) = decodeVoteBars(jsonGetString(d, key.key)); break;
            case K::setting: break;  // applyServerSettings
        }
    }
    return doc;
}

ServerSettings readServerSettings(std::string_view d) {
    ServerSettings decided;
    for (const DocumentKey& key : displayDocumentKeys()) {
        if (key.kind != K::setting) continue;
        const SettingRow& row = *key.setting;
        ServerSettings::Value value{&row};
        switch (row.kind) {
            case SettingKind::toggle: value.whole = jsonGetBool(d, key.key, true) ? 1 : 0; break;
            case SettingKind::wholeNumber: {
                // Truncated toward zero, then clamped (in double, so that no huge value overflows).
                const double n = std::trunc(jsonGetNumber(d, key.key, std::nan("")));
                if (!std::isnan(n))
                    value.whole = static_cast<std::int32_t>(n < row.min ? row.min : (n > row.max ? row.max : n));
                break;
            }
            case SettingKind::theme: value.theme = normalizeTheme(jsonGetString(d, key.key)); break;
            default: continue;  // no other kind is decided by the server
        }
        decided.values_.push_back(std::move(value));
    }
    return decided;
}

void ServerSettings::applyTo(WallSettings& settings) const {
    for (const Value& value : values_) {
        const SettingRow& row = *value.row;
        if (row.kind == SettingKind::theme) {
            settings.*std::get<std::string WallSettings::*>(row.target) = value.theme;
        } else {
            std::int32_t& current = settings.*std::get<std::int32_t WallSettings::*>(row.target);
            current = value.whole ? *value.whole : std::clamp<std::int32_t>(current, row.min, row.max);
        }
    }
}

void applyServerSettings(std::string_view d, WallSettings& settings) { readServerSettings(d).applyTo(settings); }

bool looksLikePicture(std::string_view b) {
    if (b.size() < 12) return false;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
    if (byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF) return true;
    if (byte(0) == 0x89 && b.substr(1, 3) == "PNG") return true;
    return b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP";
}

}  // namespace lumvo

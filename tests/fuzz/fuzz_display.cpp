// The display document on arbitrary bytes, and everything the plug-in takes out of it:
//  - readDisplayDocument: every number finite; written back in the server's form (escaped strings,
//    packed feed and poll bars) and read again, it gives the same state;
//  - the server-driven settings: switches 0 or 1, numbers within their rows' ranges, a known theme,
//    no other setting touched; applying twice changes nothing, and what the settings push writes
//    applies back to the same values;
//  - feedPacked and voteBars on raw bytes: no field holds a TAB or LF, no feed line without an id,
//    no bar without a label or with a negative count; packed again, they decode to the same;
//  - the reactions text of every post: counts of at least 1, highest first, stable when written
//    back, and its chips never reach past the bubble's right edge.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "documents/display_document.h"
#include "overlay/feed.h"
#include "settings/settings_table.h"
#include "settings/settings_file.h"
#include "support/recording_canvas.h"
#include "fuzz_check.h"

using namespace lumvo;

namespace {

// A JSON string as the server writes it: quotes and back-slashes escaped, control bytes as \u00XX.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            out += escape;
        } else {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
    }
    return out + '"';
}

std::string number(float v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(v));
    return text;
}

bool hasLineBreak(std::string_view field) { return field.find_first_of("\t\n") != std::string_view::npos; }

std::string packFeed(const std::vector<FeedItem>& feed) {
    std::string out;
    for (const FeedItem& f : feed) {
        CHECK(!f.id.empty());
        for (const std::string* field : {&f.id, &f.type, &f.name, &f.text, &f.photo, &f.reactions, &f.color}) {
            CHECK(!hasLineBreak(*field));
            out += *field + '\t';
        }
        out += f.hot ? "1\n" : "0\n";
    }
    return out;
}

std::string packBars(const std::vector<VoteBar>& bars) {
    std::string out;
    for (const VoteBar& b : bars) {
        CHECK(!b.label.empty() && !hasLineBreak(b.key) && !hasLineBreak(b.label) && b.count >= 0);
        CHECK((b.colour >> 24) == 0xFF);
        out += b.key + '\t' + b.label + '\t' + std::to_string(b.count) + '\t' + std::to_string(b.colour >> 16 & 0xFF) +
               ',' + std::to_string(b.colour >> 8 & 0xFF) + ',' + std::to_string(b.colour & 0xFF) + '\n';
    }
    return out;
}

// The document as the server would write it for this state (the fields the reader fills).
std::string writeDocument(const DisplayDocument& s) {
    std::string d = "{";
    const auto text = [&](const char* key, std::string_view value) { d += quoted(key) + ':' + quoted(value) + ','; };
    const auto raw = [&](const char* key, const std::string& value) { d += quoted(key) + ':' + value + ','; };
    const auto flag = [&](const char* key, bool value) { raw(key, value ? "true" : "false"); };
    text("featuredId", s.featuredId), text("type", s.type), text("name", s.name), text("text", s.text);
    text("photo", s.photo), text("color", s.color), flag("hot", s.hot), text("reactions", s.reactions);
    text("joinUrl", s.joinUrl), raw("duration", number(s.duration)), text("feedPacked", packFeed(s.feed));
    flag("voteActive", s.voteActive), flag("voteClosed", s.voteClosed), text("voteTitle", s.voteTitle);
    text("votePhoto", s.votePhoto), raw("voteRemain", number(s.voteRemain));
    raw("voteDuration", number(s.voteDuration)), raw("voteClosedFor", number(s.voteClosedFor));
    text("voteBars", packBars(s.voteBars)), flag("tipEnabled", s.tipEnabled);
    d.back() = '}';
    return d;
}

void checkDocument(std::string_view document) {
    const DisplayDocument s = readDisplayDocument(document);
    for (const float v : {s.duration, s.voteRemain, s.voteDuration, s.voteClosedFor}) CHECK(std::isfinite(v));
    const std::string written = writeDocument(s);
    CHECK(writeDocument(readDisplayDocument(written)) == written);
}

// The values layout.ini holds for the server-driven rows, or for every other row (older keys that
// are only read stand for members of the written ones).
std::string rowValues(const WallSettings& s, bool serverDriven) {
    std::string out;
    for (const SettingRow& row : settingsTable())
        if (row.written && row.serverDriven == serverDriven) out += settingFileValue(row, s) + '\n';
    return out;
}

void checkServerSettings(std::string_view document) {
    // The defaults, and every server-driven value away from its default with texts that look like
    // the keys that follow them in the settings push.
    WallSettings starts[2];
    WallSettings& flipped = starts[1];
    flipped.allowReactions = flipped.allowWordFx = flipped.allowTipFx = flipped.allowVenueFx = flipped.allowHotFx = 0;
    flipped.hotNeed = 30, flipped.hotWindow = 10, flipped.theme = "wedding", flipped.autoApprove = 1;
    flipped.tipLink = "\"theme\":\"lounge\",", flipped.brandUrl = "\"theme\":1";
    for (int i = 0; i < 2; ++i) {
        const WallSettings& start = starts[i];
        WallSettings s = start;
        applyServerSettings(document, s);
        CHECK(rowValues(s, false) == rowValues(start, false));
        for (const SettingRow& row : settingsTable()) {
            if (!row.serverDriven) continue;
            if (row.kind == SettingKind::toggle) {
                const std::int32_t v = s.*std::get<std::int32_t WallSettings::*>(row.target);
                CHECK(v == 0 || v == 1);
            } else if (row.kind == SettingKind::wholeNumber) {
                const std::int32_t v = s.*std::get<std::int32_t WallSettings::*>(row.target);
                CHECK(v >= row.min && v <= row.max);
            }
        }
        CHECK(normalizeTheme(s.theme) == s.theme);
        WallSettings again = s;
        applyServerSettings(document, again);
        CHECK(rowValues(again, true) == rowValues(s, true));
        // What the plug-in pushes, the display document may hand back.
        WallSettings other = starts[1 - i];
        applyServerSettings(settingsPushBody(s, "D:\\media"), other);
        CHECK(rowValues(other, true) == rowValues(s, true));
    }
}

void checkReactions(std::string_view text) {
    const std::vector<Reaction> reactions = parseReactions(text);
    std::string written;
    for (std::size_t i = 0; i < reactions.size(); ++i) {
        CHECK(reactions[i].count >= 1 && reactions[i].emoji.find(',') == std::string::npos);
        CHECK(i == 0 || reactions[i - 1].count >= reactions[i].count);
        written += (i ? "," : "") + reactions[i].emoji + ':' + std::to_string(reactions[i].count);
    }
    const std::vector<Reaction> again = parseReactions(written);
    CHECK(again.size() == reactions.size());
    for (std::size_t i = 0; i < again.size(); ++i)
        CHECK(again[i].emoji == reactions[i].emoji && again[i].count == reactions[i].count);

    for (const bool isFeedItem : {true, false}) {
        test::RecordingCanvas canvas;
        const RectF bubble{40, 30, isFeedItem ? 220.0f : 520.0f, 90};
        drawReactionChips(canvas, reactions, bubble, isFeedItem);
        const auto pills = canvas.of(test::RecordingCanvas::Op::fillRounded);
        CHECK(pills.size() <= reactions.size());
        for (const auto& pill : pills) CHECK(pill.rect.x >= bubble.x - 7 && pill.rect.right() <= bubble.right() - 7.5f);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkDocument(input);
    checkServerSettings(input);

    // The packed lines and the reactions text straight from the bytes, as if the document held them.
    const std::vector<FeedItem> feed = decodeFeed(input);
    const std::string packed = packFeed(feed);
    CHECK(packFeed(decodeFeed(packed)) == packed);
    const std::string bars = packBars(decodeVoteBars(input));
    CHECK(packBars(decodeVoteBars(bars)) == bars);

    checkReactions(input);
    for (const FeedItem& item : feed) checkReactions(item.reactions);
    checkReactions(readDisplayDocument(input).reactions);
    return 0;
}

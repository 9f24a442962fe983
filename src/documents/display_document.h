#pragma once
// Reading the wall server's display document (GET /api/display): the packed feed and poll bars,
// the fields of a new DisplayState, and the few settings the server decides.
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"
#include "documents/display_state.h"

namespace lumvo {

// "feedPacked": one post a line (LF), up to eight TAB fields: id, type, name, text, photo,
// reactions, color, hot ("1"). Missing fields stay empty; lines without an id are dropped.
std::vector<FeedItem> decodeFeed(std::string_view packed);
// "voteBars": one bar a line, up to four TAB fields: key, label, count (decimal; below 1 or
// unreadable is 0), colour "r,g,b" (each number that reads replaces 255,122,24 in turn). Lines
// without a label are dropped.
std::vector<VoteBar> decodeVoteBars(std::string_view packed);

// Every DisplayState field the document carries, with their defaults for absent keys; a number
// beyond the float range is the largest float of its sign.
DisplayState readDisplayDocument(std::string_view document);

// The settings the wall server decides (the table's server-driven rows: backdrop, hot and
// reaction switches, the hot numbers, the theme), read from the document into `settings`: absent
// switches are on, absent numbers keep the current value, numbers are truncated and clamped, an
// absent theme is "club".
void applyServerSettings(std::string_view document, WallSettings& settings);

// Whether downloaded bytes start like a JPEG, a PNG or a WebP picture (and hold at least 12 bytes).
bool looksLikePicture(std::string_view bytes);

}  // namespace lumvo

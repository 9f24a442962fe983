#pragma once
// Song searches in the host's own browser: a guest's request text cleaned into something the
// host's script can carry between apostrophes.
#include <string>
#include <string_view>

namespace lumvo {

// Dashes (en, em) and the bytes a script could trip over (control bytes and DEL, " ' \ `) become
// spaces, blanks collapse, and the text is cut to at most 80 bytes, never inside a UTF-8 character;
// no blank is left at either end.
std::string cleanSongSearch(std::string_view text);
// The host script that opens the song browser and searches for `text`; empty when nothing is left
// to search for after cleaning.
std::string songSearchScript(std::string_view text);

}  // namespace lumvo

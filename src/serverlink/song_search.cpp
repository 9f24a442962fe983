#include "serverlink/song_search.h"

#include "base/utf8_text.h"

namespace lumvo {

std::string cleanSongSearch(std::string_view text) {
    std::string spaced;
    spaced.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // U+2013 and U+2014, the dashes between title and artist.
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0x93 || static_cast<unsigned char>(text[i + 2]) == 0x94)) {
            spaced += ' ';
            i += 2;
        } else if (c < 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '\\' || c == '`') {
            spaced += ' ';
        } else {
            spaced += static_cast<char>(c);
        }
    }
    std::string out;
    for (const char c : spaced) {
        const bool blank = c == ' ' || c == '\t';
        if (!blank) {
            out += c;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    cutUtf8(out, 80);
    // Neither a quote at the end nor the cut leaves a blank behind.
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string songSearchScript(std::string_view text) {
    const std::string cleaned = cleanSongSearch(text);
    if (cleaned.empty()) return {};
    return "browser_window 'songs' & search '" + cleaned + "'";
}

}  // namespace lumvo

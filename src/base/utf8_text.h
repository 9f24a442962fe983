#pragma once
// Byte-length limits on UTF-8 text that never leave half a character behind.
#include <cstddef>
#include <string>

namespace lumvo {

// Cuts `text` to at most `maxBytes` bytes, before the first character that would not fit whole.
inline void cutUtf8(std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}

}  // namespace lumvo

#pragma once
// Byte-length limits on UTF-8 text that never leave half a character behind, and reading it one
// character at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumvo {

// Cuts `text` to at most `maxBytes` bytes, before the first character that would not fit whole.
inline void cutUtf8(std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}

// The character of `text` that starts at `at`, moving `at` past it. A byte that starts no whole,
// shortest-form sequence of a character (a stray continuation byte, an overlong form, a surrogate,
// a value past U+10FFFF, a sequence cut off) is U+FFFD and one byte long.
inline char32_t nextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    std::uint32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length > 0 && at + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        valid = (next & 0xC0) == 0x80;
        cp = cp << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && cp >= kSmallest[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (!valid) {
        ++at;
        return 0xFFFD;
    }
    at += static_cast<std::size_t>(length);
    return static_cast<char32_t>(cp);
}

}  // namespace lumvo

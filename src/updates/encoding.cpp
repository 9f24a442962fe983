#include "updates/encoding.h"

namespace lumvo {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string toHex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::optional<Bytes> decodeHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

bool isSha256Hex(std::string_view text) { return text.size() == 64 && decodeHex(text).has_value(); }

std::optional<Bytes> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    Bytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        const std::size_t digits = last ? 4 - padding : 4;
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            int value = 0;
            if (i < digits) {
                value = base64Digit(text[at + i]);
                if (value < 0) return std::nullopt;  // '=' before the end lands here too
            }
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        // The bits past the last whole byte must be zero, or two texts would give the same bytes.
        if (padding == 1 && last && (group & 0xFF) != 0) return std::nullopt;
        if (padding == 2 && last && (group & 0xFFFF) != 0) return std::nullopt;
        const std::size_t whole = last ? 3 - padding : 3;
        for (std::size_t i = 0; i < whole; ++i) bytes.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * i)));
    }
    return bytes;
}

}  // namespace lumvo

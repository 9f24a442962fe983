#include "media/image_check.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumvo {
namespace {

std::uint32_t bigEndian(std::string_view b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

bool sideOk(std::uint32_t side) { return side >= 1 && side <= static_cast<std::uint32_t>(kMaxPictureSide); }

using Sides = std::optional<PictureSize>;

Sides sides(std::uint32_t width, std::uint32_t height) {
    if (!sideOk(width) || !sideOk(height)) return std::nullopt;
    return PictureSize{static_cast<int>(width), static_cast<int>(height)};
}

Sides pngSides(std::string_view b) {
    // Signature, then the IHDR chunk: length 13, width and height.
    if (b.size() < 33 || b.substr(0, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8) || bigEndian(b, 8, 4) != 13 ||
        b.substr(12, 4) != "IHDR")
        return std::nullopt;
    return sides(bigEndian(b, 16, 4), bigEndian(b, 20, 4));
}

Sides jpegSides(std::string_view b) {
    if (b.size() < 4 || static_cast<unsigned char>(b[0]) != 0xFF || static_cast<unsigned char>(b[1]) != 0xD8)
        return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[at]) != 0xFF) return std::nullopt;
        const unsigned marker = static_cast<unsigned char>(b[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image end or scan before a frame header
        const std::uint32_t length = bigEndian(b, at + 2, 2);
        if (length < 2 || at + 2 + length > b.size()) return std::nullopt;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        // The frame header: precision, height, width.
        if (frame) return length >= 8 ? sides(bigEndian(b, at + 7, 2), bigEndian(b, at + 5, 2)) : std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

std::uint32_t littleEndian(std::string_view b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

Sides webpSides(std::string_view b) {
    if (b.size() < 20 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WEBP") return std::nullopt;
    const std::uint32_t riff = littleEndian(b, 4, 4);
    if (riff < 12 || riff > b.size() - 8) return std::nullopt;
    // The first chunk says the sides: lossy ("VP8 ": frame tag, start code, 14-bit sides and 2 bits of
    // scale each), lossless ("VP8L": signature, sides less one in 14 bits each) or extended ("VP8X":
    // flags, canvas sides less one in 24 bits each).
    const std::string_view chunk = b.substr(12, 4);
    if (chunk == "VP8 ") {
        if (b.size() < 30 || b.substr(23, 3) != "\x9D\x01\x2A") return std::nullopt;
        return sides(littleEndian(b, 26, 2) & 0x3FFF, littleEndian(b, 28, 2) & 0x3FFF);
    }
    if (chunk == "VP8L") {
        if (b.size() < 25 || static_cast<unsigned char>(b[20]) != 0x2F) return std::nullopt;
        const std::uint32_t packed = littleEndian(b, 21, 4);
        return sides((packed & 0x3FFF) + 1, (packed >> 14 & 0x3FFF) + 1);
    }
    if (chunk == "VP8X" && b.size() >= 30) return sides(littleEndian(b, 24, 3) + 1, littleEndian(b, 27, 3) + 1);
    return std::nullopt;
}

}  // namespace

std::optional<PictureSize> pictureSides(std::string_view bytes) {
    if (Sides s = pngSides(bytes)) return s;
    if (Sides s = jpegSides(bytes)) return s;
    return webpSides(bytes);
}

bool plausiblePicture(std::string_view bytes) { return pictureSides(bytes).has_value(); }

}  // namespace lumvo

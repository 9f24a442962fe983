// The look at picture bytes before a system decoder gets them: whole headers of a plausible size
// pass, broken structure and huge sizes do not.
#include <gtest/gtest.h>

#include <string>

#include "media/image_check.h"

namespace lumvo {
namespace {

std::string be(unsigned value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string le(unsigned value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// A WebP whose first chunk holds `header` and a few more bytes, its RIFF size counting them all.
std::string webp(const char* chunk, const std::string& header) {
    const std::string body = chunk + le(static_cast<unsigned>(header.size() + 16), 4) + header + std::string(16, '\0');
    return "RIFF" + le(static_cast<unsigned>(body.size() + 4), 4) + "WEBP" + body;
}

std::string png(unsigned w, unsigned h) {
    return std::string("\x89PNG\r\n\x1a\n", 8) + be(13, 4) + "IHDR" + be(w, 4) + be(h, 4) + std::string(5, '\x08') +
           be(0, 4) + std::string(40, '\0');
}

std::string segment(unsigned marker, const std::string& payload) {
    return "\xFF" + std::string(1, static_cast<char>(marker)) + be(static_cast<unsigned>(payload.size() + 2), 2) +
           payload;
}

std::string jpeg(unsigned w, unsigned h, const std::string& before = segment(0xE0, "JFIF" + std::string(10, '\0'))) {
    return "\xFF\xD8" + before + segment(0xC2, "\x08" + be(h, 2) + be(w, 2) + "\x03" + std::string(9, '\x11')) +
           segment(0xDA, std::string(10, '\0')) + std::string(100, '\x55') + "\xFF\xD9";
}

// That what any built picture passes follows its sides alone, and that no copy cut before its
// header's end passes, is the picture fuzz target's property; here, one picture per header kind at
// its limits, and broken structure the fuzz target does not build.
TEST(PictureCheck, WholeHeadersOfAPlausibleSizePassAndBrokenOrHugeOnesDoNot) {
    const std::string keyFrame("\x10\x02\x00\x9D\x01\x2A", 6);  // a lossy WebP's frame tag and start code
    for (const std::string& picture :
         {png(640, 480), jpeg(4032, 3024), jpeg(640, 480, "\xFF\xFF" + segment(0xE1, std::string(300, 'x'))),
          webp("VP8 ", keyFrame + le(640, 2) + le(480, 2)), webp("VP8L", "\x2F" + le(639 | 11999 << 14, 4)),
          webp("VP8X", std::string(4, '\x10') + le(11999, 3) + le(0, 3))})
        EXPECT_TRUE(plausiblePicture(picture)) << picture.substr(0, 16);

    const std::pair<const char*, std::string> refused[] = {
        {"no picture", "just some words, not a picture at all"},
        {"too wide to decode", png(20000, 480)},
        {"no height", jpeg(640, 0)},
        {"JPEG too wide", jpeg(64000, 480)},
        // A segment that claims more bytes than there are (what made Wine's decoder read past the data).
        {"segment past the end", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(4000, 'a')},
        {"scan before frame", "\xFF\xD8" + segment(0xDA, std::string(10, '\0')) + "\xFF\xD9"},
        {"RIFF size past the end", "RIFF" + std::string("\xFF\x00\x00\x00", 4) + "WEBPVP8 " + std::string(28, '\0')},
        // A WebP's sides count as a PNG's and a JPEG's do: a 16000-pixel canvas would take a gigabyte.
        {"VP8X too large", webp("VP8X", std::string(4, '\0') + le(15999, 3) + le(15999, 3))},
        {"VP8L too wide", webp("VP8L", "\x2F" + le(639 | 12000 << 14, 4))},
        {"VP8 no width", webp("VP8 ", keyFrame + le(0, 2) + le(480, 2))},
        {"VP8 no start code", webp("VP8 ", std::string(10, '\0'))},
    };
    for (const auto& [why, bytes] : refused) EXPECT_FALSE(plausiblePicture(bytes)) << why;
}

}  // namespace
}  // namespace lumvo

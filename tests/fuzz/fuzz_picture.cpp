// The picture checks on arbitrary bytes and on pictures built from them.
//  - Raw bytes: no read past the end (the sanitizer watches the fuzzer's exact-size buffer); what
//    plausiblePicture lets through to a decoder, the display poll's looksLikePicture keeps too; and
//    bytes after a plausible picture do not make it implausible.
//  - A PNG, JPEG (with segments and fill bytes before its frame header) or WebP (lossy, lossless,
//    extended) built from the bytes with the sides they pick: it passes exactly when the sides its
//    header reports are from 1 to kMaxPictureSide, pictureSides then gives exactly those sides (width
//    first), and never when it is cut before its header ends.
//  - A small decoded picture from the bytes, shrunk within a side they pick: no side above it or
//    below 1, and every channel of every pixel within the range that channel has in the source.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "documents/display_document.h"
#include "media/decoded_picture.h"
#include "media/image_check.h"
#include "fuzz_check.h"

using namespace lumvo;

namespace {

std::string be(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}
std::string le(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

struct Built {
    std::string bytes;
    std::size_t headerEnd = 0;   // every shorter prefix must be refused
    std::uint32_t w = 0, h = 0;  // as the header reports them
};

Built png(FuzzedDataProvider& in) {
    Built b;
    b.w = in.ConsumeIntegral<std::uint32_t>(), b.h = in.ConsumeIntegral<std::uint32_t>();
    b.bytes = std::string("\x89PNG\r\n\x1a\n", 8) + be(13, 4) + "IHDR" + be(b.w, 4) + be(b.h, 4) +
              std::string("\x08\x06\0\0\0", 5) + be(in.ConsumeIntegral<std::uint32_t>(), 4);  // and the CRC
    b.headerEnd = b.bytes.size();
    return b;
}

std::string segment(std::uint8_t marker, std::string_view payload) {
    return std::string("\xFF") + static_cast<char>(marker) + be(static_cast<std::uint32_t>(payload.size() + 2), 2) +
           std::string(payload);
}

Built jpeg(FuzzedDataProvider& in) {
    static constexpr std::uint8_t kBefore[] = {0xE0, 0xE1, 0xE2, 0xED, 0xEE, 0xFE, 0xDB, 0xC4, 0xDD, 0xCC};
    static constexpr std::uint8_t kFrames[] = {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7,
                                               0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF};
    Built b;
    b.bytes = "\xFF\xD8";
    for (int n = in.ConsumeIntegralInRange(0, 5); n > 0; --n) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: b.bytes += "\xFF"; break;                                                 // a fill byte
            case 1: b.bytes += std::string("\xFF") + static_cast<char>(0xD0 + n % 8); break;  // restart marker
            default:
                b.bytes += segment(in.PickValueInArray(kBefore),
                                   std::string(in.ConsumeIntegralInRange<std::size_t>(0, 120), 'x'));
        }
    }
    b.h = in.ConsumeIntegral<std::uint16_t>(), b.w = in.ConsumeIntegral<std::uint16_t>();
    const std::string components(in.ConsumeIntegralInRange<std::size_t>(1, 10), '\x11');
    b.bytes += segment(in.PickValueInArray(kFrames), "\x08" + be(b.h, 2) + be(b.w, 2) + components);
    b.headerEnd = b.bytes.size();
    b.bytes += segment(0xDA, std::string(10, '\0')) + std::string(20, '\x55') + "\xFF\xD9";
    return b;
}

Built webp(FuzzedDataProvider& in) {
    Built b;
    std::string chunk;
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: {  // lossy: frame tag, start code, 14-bit sides (the top two bits are a scale hint)
            const auto w = in.ConsumeIntegral<std::uint16_t>(), h = in.ConsumeIntegral<std::uint16_t>();
            b.w = w & 0x3FFF, b.h = h & 0x3FFF;
            chunk = "VP8 " + le(30, 4) + std::string("\x10\x02\x00\x9D\x01\x2A", 6) + le(w, 2) + le(h, 2);
            break;
        }
        case 1: {  // lossless: signature, then width - 1 and height - 1 in 14 bits each
            b.w = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 14),
            b.h = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 14);
            chunk = "VP8L" + le(30, 4) + "\x2F" +
                    le((b.w - 1) | (b.h - 1) << 14 | in.ConsumeIntegralInRange(0, 15) << 28, 4);
            break;
        }
        default:  // extended: flags, then the canvas's width - 1 and height - 1 in 24 bits each
            b.w = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 24),
            b.h = in.ConsumeIntegralInRange<std::uint32_t>(1, 1 << 24);
            chunk = "VP8X" + le(10, 4) + std::string(1, static_cast<char>(in.ConsumeIntegral<std::uint8_t>() & 0x3E)) +
                    std::string(3, '\0') + le(b.w - 1, 3) + le(b.h - 1, 3);
    }
    chunk += std::string(in.ConsumeIntegralInRange<std::size_t>(0, 40), '\0');
    b.bytes = "RIFF" + le(static_cast<std::uint32_t>(4 + chunk.size()), 4) + "WEBP" + chunk;
    b.headerEnd = b.bytes.size();  // the RIFF size counts every byte
    return b;
}

bool sideOk(std::uint32_t side) { return side >= 1 && side <= static_cast<std::uint32_t>(kMaxPictureSide); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    if (plausiblePicture(raw)) {
        CHECK(looksLikePicture(raw));
        CHECK(plausiblePicture(std::string(raw) + std::string(64, '\xFF')));
    }

    FuzzedDataProvider in(data, size);
    const int format = in.ConsumeIntegralInRange(0, 2);
    const Built b = format == 0 ? png(in) : format == 1 ? jpeg(in) : webp(in);
    CHECK(plausiblePicture(b.bytes) == (sideOk(b.w) && sideOk(b.h)));
    if (const std::optional<PictureSize> sides = pictureSides(b.bytes)) {
        CHECK(sides->width == static_cast<int>(b.w) && sides->height == static_cast<int>(b.h));
    }
    for (std::size_t cut = 0; cut < b.headerEnd; ++cut) {
        // A heap block of exactly `cut` bytes, so that a read past it is caught.
        const std::unique_ptr<char[]> prefix(new char[cut]);
        std::memcpy(prefix.get(), b.bytes.data(), cut);
        CHECK(!plausiblePicture(std::string_view(prefix.get(), cut)));
    }

    auto source = std::make_shared<DecodedPicture>();
    source->width = in.ConsumeIntegralInRange(1, 48), source->height = in.ConsumeIntegralInRange(1, 48);
    const int side = in.ConsumeIntegralInRange(1, 48);
    std::uint8_t low[4] = {255, 255, 255, 255}, high[4] = {0, 0, 0, 0};
    for (int i = 0; i < source->width * source->height * 4; ++i) {
        const auto v = in.ConsumeIntegral<std::uint8_t>();
        source->pixels.push_back(v);
        low[i % 4] = std::min(low[i % 4], v), high[i % 4] = std::max(high[i % 4], v);
    }
    const PictureRef shrunk = shrinkPicture(source, side);
    CHECK(shrunk && shrunk->width >= 1 && shrunk->height >= 1 && shrunk->width <= side && shrunk->height <= side);
    CHECK(shrunk->bytes() == static_cast<std::size_t>(shrunk->width) * shrunk->height * 4);
    for (std::size_t i = 0; i < shrunk->bytes(); ++i)
        CHECK(shrunk->pixels[i] >= low[i % 4] && shrunk->pixels[i] <= high[i % 4]);
    return 0;
}

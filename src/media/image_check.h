#pragma once
// A look at encoded picture bytes before a decoder gets them: photos come from guests' phones, and
// a system decoder must not meet a file whose structure is broken (Wine's JPEG decoder reads past
// the data of a segment longer than the file) or whose size would take gigabytes to decode.
#include <optional>
#include <string_view>

namespace lumvo {

// Pictures wider or higher than this are not decoded (phones send at most a few thousand pixels).
inline constexpr int kMaxPictureSide = 12000;

// True for a PNG whose header chunk is whole, a JPEG whose segments up to the frame header lie
// within the bytes and whose frame header has a size, or a WebP whose RIFF size fits and whose
// first chunk (lossy, lossless or extended) is whole up to its sides; each with both sides from 1
// to kMaxPictureSide.
bool plausiblePicture(std::string_view bytes);

struct PictureSize {
    int width = 0, height = 0;
};
// The sides the header of a plausible picture gives (as plausiblePicture checks it); nothing for
// bytes it refuses.
std::optional<PictureSize> pictureSides(std::string_view bytes);

}  // namespace lumvo

#pragma once
// A photo decoded once, bounded, ready to draw: the worker decodes each guest photo into one of
// these (through a decoder the plug-in wires to the system's codecs) and the render thread only
// wraps its pixels for the canvas. Shared read-only between threads (shared_ptr to const), so the
// cache can let a picture go while a paint still draws it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "media/image_check.h"

namespace lumvo {

struct DecodedPicture {
    int width = 0, height = 0;
    // Premultiplied B, G, R, A bytes, rows top first, 4 x width bytes each.
    std::vector<std::uint8_t> pixels;
    std::size_t bytes() const { return pixels.size(); }
};
using PictureRef = std::shared_ptr<const DecodedPicture>;

// The bounds a photo is decoded to, from the largest size it is drawn at. A feed line shows its photo
// at most 140 pixels square (a line is at most 160 high), whatever the frame's size. The featured card
// and the poll panel show one photo each: with the boxes at their largest (92 % of a 3840 x 2160
// frame) the featured photo is about 1620 pixels and the poll picture about 1830; 2048 covers both.
// The moderator's preview shows a picture at most 420 pixels a side (moderator/photo_fit.h).
inline constexpr int kFeedPhotoSide = 160;
inline constexpr int kLargePhotoSide = 2048;
// No picture is decoded whose full-size pixels pass this: the system's decoders hold the whole
// picture while they decode (3 to 4 bytes a pixel, up to 190 MiB here). 50 million pixels take
// every phone camera's largest default photo (48 and 50 megapixels); a 12000 x 12000 picture is
// refused.
inline constexpr std::uint64_t kMaxDecodePixels = 50'000'000;

// The size a width x height picture is drawn from when no side may pass `maxSide`: the same aspect,
// never enlarged, each side at least 1. Zero for a side below 1.
PictureSize boundedSize(int width, int height, int maxSide);

// Shrinks a picture as its rows arrive, top to bottom, each output pixel the mean of the input pixels
// that fall into it (an area average: no aliasing however large the reduction). Holds one output
// row of sums at a time.
class RowScaler {
public:
    RowScaler(int sourceWidth, int sourceHeight, PictureSize target);
    // The next source row: sourceWidth premultiplied B, G, R, A pixels.
    void addRow(const std::uint8_t* bgra);
    // The picture, once every source row was added; null before.
    PictureRef finish();

private:
    void emitRow();
    int sourceWidth_, sourceHeight_;
    DecodedPicture out_;
    std::vector<int> column_;  // the output column of each source column
    std::vector<std::uint64_t> sums_;
    std::vector<std::uint32_t> counts_;
    int sourceRow_ = 0, outputRow_ = 0;
};

// A smaller copy of `picture` within `maxSide`, or the picture itself when it already fits.
PictureRef shrinkPicture(const PictureRef& picture, int maxSide);

// Decodes encoded photo bytes (JPEG, PNG, WebP) into a picture within `maxSide`; null when they do
// not decode or are too large. The plug-in wires it to the system's codecs; tests script it.
using PictureDecoder = std::function<PictureRef(std::string_view bytes, int maxSide)>;

}  // namespace lumvo

#pragma once
// Geometry of the effect-list bitmap: the visible part of the brand mark, fitted into the host's
// 64 x 64 list square. The pixels themselves are GDI+'s business (plugin/win/brand_bitmap.cpp).
#include <cstdint>

namespace lumvo {

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
};

inline constexpr int kBrandBitmapSize = 64;
inline constexpr int kBrandAlphaThreshold = 16;

// The smallest rectangle holding every pixel whose alpha exceeds `alphaThreshold`, in an image of
// 32-bit 0xAARRGGBB words with `stride` words per row. The whole image when no pixel qualifies.
PixelRect visibleBounds(const std::uint32_t* pixels, int width, int height, int stride,
                        int alphaThreshold = kBrandAlphaThreshold);

// The rectangle that shows a w x h image scaled to fit inside a box x box square, aspect kept,
// sizes rounded and at least 1, centred. Empty (all 0) for an empty image.
PixelRect fitCentred(int w, int h, int box = kBrandBitmapSize);

}  // namespace lumvo

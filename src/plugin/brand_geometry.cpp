#include "plugin/brand_geometry.h"

#include <algorithm>
#include <cmath>

namespace lumvo {

PixelRect visibleBounds(const std::uint32_t* pixels, int width, int height, int stride, int alphaThreshold) {
    if (!pixels || width <= 0 || height <= 0 || stride < width) return {0, 0, std::max(width, 0), std::max(height, 0)};
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            if (static_cast<int>(row[x] >> 24) > alphaThreshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) return {0, 0, width, height};
    return {left, top, right - left + 1, bottom - top + 1};
}

PixelRect fitCentred(int w, int h, int box) {
    if (w <= 0 || h <= 0 || box <= 0) return {};
    const double scale = std::min(static_cast<double>(box) / w, static_cast<double>(box) / h);
    const int fw = std::clamp(static_cast<int>(std::lround(w * scale)), 1, box);
    const int fh = std::clamp(static_cast<int>(std::lround(h * scale)), 1, box);
    return {(box - fw) / 2, (box - fh) / 2, fw, fh};
}

}  // namespace lumvo

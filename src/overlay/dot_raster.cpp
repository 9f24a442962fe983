#include "overlay/dot_raster.h"

#include <algorithm>
#include <cmath>

namespace lumvo {
namespace {

// `colour` with alpha `a` (0..255) over the straight-alpha pixel `under`.
std::uint32_t over(std::uint32_t under, Argb colour, std::uint32_t a) {
    const std::uint32_t ua = under >> 24;
    // Out alpha, times 255: a + ua (1 - a), both in 0..255.
    const std::uint32_t oa = a * 255 + ua * (255 - a);
    if (oa == 0) return 0;
    auto channel = [&](int shift) {
        const std::uint32_t s = (colour >> shift) & 0xFF, u = (under >> shift) & 0xFF;
        return ((s * a * 255 + u * ua * (255 - a)) + oa / 2) / oa << shift;
    };
    return ((oa + 127) / 255) << 24 | channel(16) | channel(8) | channel(0);
}

}  // namespace

void blendDots(std::uint32_t* pixels, int width, int height, int stride, std::span<const Dot> dots) {
    if (!pixels || width < 1 || height < 1 || stride < width) return;
    for (const Dot& d : dots) {
        const std::uint32_t alpha = d.colour >> 24;
        if (!(d.radius > 0) || !std::isfinite(d.x) || !std::isfinite(d.y) || !std::isfinite(d.radius) || alpha == 0)
            continue;
        const float r = d.radius;
        const int x0 = static_cast<int>(std::max(std::floor(d.x - r - 1), 0.0f));
        const int y0 = static_cast<int>(std::max(std::floor(d.y - r - 1), 0.0f));
        const int x1 = static_cast<int>(std::min(std::ceil(d.x + r + 1), static_cast<float>(width)));
        const int y1 = static_cast<int>(std::min(std::ceil(d.y + r + 1), static_cast<float>(height)));
        for (int y = y0; y < y1; ++y) {
            std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = x0; x < x1; ++x) {
                // Four by four samples of the pixel: inside the disc or not.
                int inside = 0;
                for (int sy = 0; sy < 4; ++sy) {
                    const float py = static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / 4 - d.y;
                    for (int sx = 0; sx < 4; ++sx) {
                        const float px = static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / 4 - d.x;
                        inside += px * px + py * py <= r * r;
                    }
                }
                if (inside) row[x] = over(row[x], d.colour, (alpha * static_cast<std::uint32_t>(inside) + 8) / 16);
            }
        }
    }
}

}  // namespace lumvo

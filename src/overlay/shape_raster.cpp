#include "overlay/shape_raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

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

// Blends `colour` into the target's pixels of `box` (canvas pixels) by how many of each pixel's
// 4 x 4 samples `inside` (canvas coordinates) takes.
template <class Inside>
void blendCovered(const PixelTarget& t, PixelBox box, Argb colour, Inside inside) {
    const std::uint32_t alpha = colour >> 24;
    if (!t.pixels || alpha == 0) return;
    const int x0 = std::max(box.x, t.left), y0 = std::max(box.y, t.top);
    const int x1 = std::min(box.x + box.w, t.left + t.width), y1 = std::min(box.y + box.h, t.top + t.height);
    for (int y = y0; y < y1; ++y) {
        std::uint32_t* row = t.pixels + static_cast<std::ptrdiff_t>(y - t.top) * t.stride - t.left;
        for (int x = x0; x < x1; ++x) {
            int covered = 0;
            for (int sy = 0; sy < 4; ++sy) {
                const float py = static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / 4;
                for (int sx = 0; sx < 4; ++sx) {
                    covered += inside(static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / 4, py);
                }
            }
            if (covered) row[x] = over(row[x], colour, (alpha * static_cast<std::uint32_t>(covered) + 8) / 16);
        }
    }
}

bool finite(float v) { return std::isfinite(v); }

PixelBox boxOf(std::span<const PointF> points) {
    float minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
    for (const PointF& p : points) {
        if (!finite(p.x) || !finite(p.y)) return {};
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    // Past the picture by far: nothing of it is drawn anyway.
    if (maxX < -1e6f || minX > 1e6f || maxY < -1e6f || minY > 1e6f) return {};
    const int x = static_cast<int>(std::floor(std::max(minX, -1e6f)));
    const int y = static_cast<int>(std::floor(std::max(minY, -1e6f)));
    return {x, y, static_cast<int>(std::ceil(std::min(maxX, 1e6f))) - x + 1,
            static_cast<int>(std::ceil(std::min(maxY, 1e6f))) - y + 1};
}

// The inverse of `m`, false when it has none worth the name.
bool inverted(const Affine& m, Affine& inverse) {
    const float det = m.a * m.d - m.b * m.c;
    if (!finite(det) || std::fabs(det) < 1e-6f) return false;
    inverse = {
        m.d / det, -m.b / det, -m.c / det, m.a / det, (m.c * m.f - m.d * m.e) / det, (m.b * m.e - m.a * m.f) / det};
    return true;
}

}  // namespace

Affine Affine::movedAndTurned(float dx, float dy, float degrees) const {
    const double turn = static_cast<double>(degrees) * 3.14159265358979323846 / 180.0;
    const auto cosine = static_cast<float>(std::cos(turn)), sine = static_cast<float>(std::sin(turn));
    // Local (x, y) -> (x cos - y sin + dx, x sin + y cos + dy), then this transform.
    const PointF origin = apply({dx, dy});
    return {a * cosine + c * sine,
            b * cosine + d * sine,
            -a * sine + c * cosine,
            -b * sine + d * cosine,
            origin.x,
            origin.y};
}

PixelBox deviceBox(const RectF& r, const Affine& m) {
    const std::array<PointF, 4> corners{m.apply({r.x, r.y}), m.apply({r.right(), r.y}), m.apply({r.x, r.bottom()}),
                                        m.apply({r.right(), r.bottom()})};
    return boxOf(corners);
}

PixelBox deviceBox(std::span<const PointF> points, const Affine& m) {
    if (points.empty()) return {};
    std::vector<PointF> device;
    device.reserve(points.size());
    for (const PointF& p : points) device.push_back(m.apply(p));
    return boxOf(device);
}

bool blendRect(const PixelTarget& target, const RectF& r, const Affine& toDevice, Argb colour) {
    Affine back;
    if (!inverted(toDevice, back) || !(r.w > 0) || !(r.h > 0)) return false;
    blendCovered(target, deviceBox(r, toDevice), colour, [&](float x, float y) {
        const PointF p = back.apply({x, y});
        return p.x >= r.x && p.x <= r.right() && p.y >= r.y && p.y <= r.bottom();
    });
    return true;
}

bool blendEllipse(const PixelTarget& target, const RectF& b, const Affine& toDevice, Argb colour) {
    Affine back;
    if (!inverted(toDevice, back) || !(b.w > 0) || !(b.h > 0)) return false;
    const float cx = b.x + b.w / 2, cy = b.y + b.h / 2, kx = 2 / b.w, ky = 2 / b.h;
    blendCovered(target, deviceBox(b, toDevice), colour, [&](float x, float y) {
        const PointF p = back.apply({x, y});
        const float u = (p.x - cx) * kx, v = (p.y - cy) * ky;
        return u * u + v * v <= 1;
    });
    return true;
}

bool blendConvexPolygon(const PixelTarget& target, std::span<const PointF> points, const Affine& toDevice,
                        Argb colour) {
    if (points.size() < 3) return false;
    std::vector<PointF> device;
    device.reserve(points.size());
    for (const PointF& p : points) device.push_back(toDevice.apply(p));
    const std::size_t n = device.size();
    auto cross = [&](std::size_t i, float x, float y) {
        const PointF& from = device[i];
        const PointF& to = device[(i + 1) % n];
        return (to.x - from.x) * (y - from.y) - (to.y - from.y) * (x - from.x);
    };
    // Convex: every corner turns the same way (straight ones aside).
    float turn = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const PointF& next = device[(i + 2) % n];
        const float c = cross(i, next.x, next.y);
        if (!finite(c)) return false;
        if (c == 0) continue;
        if (turn == 0) turn = c > 0 ? 1.0f : -1.0f;
        else if ((c > 0) != (turn > 0)) return false;
    }
    if (turn == 0) return false;  // all on one line
    blendCovered(target, boxOf(device), colour, [&](float x, float y) {
        for (std::size_t i = 0; i < n; ++i) {
            if (cross(i, x, y) * turn < 0) return false;
        }
        return true;
    });
    return true;
}

void blendDots(const PixelTarget& target, std::span<const Dot> dots) {
    for (const Dot& d : dots) {
        if (!(d.radius > 0) || !finite(d.x) || !finite(d.y) || !finite(d.radius)) continue;
        const float r = d.radius;
        const PixelBox box = deviceBox({d.x - r, d.y - r, 2 * r, 2 * r}, Affine{});
        blendCovered(target, box, d.colour, [&](float x, float y) {
            const float u = x - d.x, v = y - d.y;
            return u * u + v * v <= r * r;
        });
    }
}

}  // namespace lumvo

#pragma once
// Small filled shapes blended straight into a picture's pixels: a word backdrop paints hundreds of
// small turned rectangles, diamonds and ellipses a frame, and a general-purpose path filler pays
// more for each than the shape itself costs. Also the round dots of the poll's confetti.
#include <cstdint>
#include <span>

#include "overlay/canvas.h"

namespace lumvo {

// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    // This transform after moving by (dx, dy) and turning by `degrees` clockwise about that point
    // (what Canvas::pushTransform does inside the transform in force).
    Affine movedAndTurned(float dx, float dy, float degrees) const;
    PointF apply(PointF p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
};

// A straight-alpha picture: width x height pixels, each 0xAARRGGBB, rows `stride` pixels apart;
// pixel (0, 0) is at (left, top) of the canvas the shapes are given in.
struct PixelTarget {
    std::uint32_t* pixels = nullptr;
    int left = 0, top = 0, width = 0, height = 0, stride = 0;
};

// The part of the canvas (whole pixels) that a shape with these local bounds covers once placed by
// `toDevice`; empty (w or h 0) for bounds that are no numbers.
struct PixelBox {
    int x = 0, y = 0, w = 0, h = 0;
};
PixelBox deviceBox(const RectF& local, const Affine& toDevice);
// The same for the polygon through `points`.
PixelBox deviceBox(std::span<const PointF> points, const Affine& toDevice);

// Blends a filled shape, given in local coordinates and placed by `toDevice`, source-over into the
// target, clipped to it. A pixel is covered by how much of it lies inside the shape (its centre at
// x + 0.5, y + 0.5), to a sixteenth; the colour's alpha multiplies that. False, with nothing drawn,
// for a shape this cannot draw: a polygon that is not convex or has fewer than three points, a
// transform that flattens everything.
bool blendRect(const PixelTarget& target, const RectF& r, const Affine& toDevice, Argb colour);
bool blendEllipse(const PixelTarget& target, const RectF& bounds, const Affine& toDevice, Argb colour);
bool blendConvexPolygon(const PixelTarget& target, std::span<const PointF> points, const Affine& toDevice, Argb colour);

// Each dot in turn, round, at canvas coordinates (no transform); dots off the picture, or with a
// radius or position that is no number, are skipped.
void blendDots(const PixelTarget& target, std::span<const Dot> dots);

}  // namespace lumvo

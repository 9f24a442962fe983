#pragma once
// Round dots blended straight into a picture's pixels: the poll's confetti are hundreds of small
// discs a frame, and a general-purpose path filler pays more for each than the disc itself costs.
#include <cstdint>
#include <span>

#include "overlay/canvas.h"

namespace lumvo {

// Blends each dot, in turn, source-over into `pixels`: width x height pixels, `stride` pixels
// from one row to the next, each 0xAARRGGBB with straight (not premultiplied) alpha. A pixel is
// covered by how much of it lies inside the disc (its centre at x + 0.5, y + 0.5), to a
// sixteenth; the dot's colour's alpha multiplies that. Dots off the picture, or with a radius or
// position that is no number, are skipped.
void blendDots(std::uint32_t* pixels, int width, int height, int stride, std::span<const Dot> dots);

}  // namespace lumvo

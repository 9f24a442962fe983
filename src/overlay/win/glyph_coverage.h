#pragma once
// Text drawn on the CPU: a DirectWrite layout's glyphs as coverage masks, blended into a picture.
// No graphics driver is involved, so a text costs what its glyphs cost; colour glyphs (emoji) are
// left to Direct2D, which draws them in colour.
#include <windows.h>
#include <dwrite.h>

#include <cstdint>

#include "overlay/canvas.h"

namespace lumvo {

// Draws `layout` with its origin at (x, y) of `pixels` (width x height, premultiplied BGRA, rows
// of `width` pixels) in `colour`, clipped to the picture, source-over. False, with the picture
// possibly half drawn, when a run is in a colour font or DirectWrite failed: the caller clears the
// picture and draws the text another way.
bool drawLayoutCoverage(IDWriteFactory& factory, IDWriteTextLayout& layout, float x, float y, Argb colour,
                        std::uint32_t* pixels, int width, int height);

}  // namespace lumvo

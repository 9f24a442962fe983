#pragma once
// Text on the cards through DirectWrite: laid out by it, drawn on the CPU from its glyphs'
// coverage masks (glyph_coverage.h), and through Direct2D where a text has colour glyphs (emoji).
// One engine serves the whole process behind one lock: the Direct2D factory (multithreaded), the
// DirectWrite factory (shared), the WIC imaging factory, and what they make once and keep: a text
// format per family and weight, the family each requested name resolves to, one WIC bitmap with
// its Direct2D render target and brush (grown when a larger drawing comes), the texts laid out
// lately and the texts drawn lately, as pictures (a text drawn again in the same style, colour
// and box is copied from its picture). releaseTextEngine lets go of all of it; the next use makes
// it again.
//
// A family that is not installed makes DirectWrite draw nothing although creating the text format
// succeeds. So every family is looked up in the system font collection first and, when missing,
// replaced by "Georgia", then "Segoe UI", then the system's message font.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "overlay/canvas.h"

namespace lumvo {

// The laid-out size of `text` in a box `box.w` wide (as high as it needs; width includes trailing
// blanks). 0 x 0 when the engine cannot lay it out.
SizeF measureText(std::wstring_view text, SizeF box, const TextStyle& style);
// Draws `text` into `box` of `graphics` (clipped to the box and to the graphics' clip), source-over.
// Nothing for an empty text or a box below 2 x 2.
void drawText(Gdiplus::Graphics& graphics, std::wstring_view text, const RectF& box, const TextStyle& style);
// One text of a batch.
struct TextDraw {
    std::wstring text;
    RectF box;
    TextStyle style;
};
// Draws the texts in turn as drawText would, through one Direct2D drawing: a drawing is a round
// trip to the graphics driver, which costs far more than the text in it.
void drawTexts(Gdiplus::Graphics& graphics, std::span<const TextDraw> texts);
// An 80 x 80 picture (32bpp ARGB) of one emoji, centred; null when it cannot be made.
std::unique_ptr<Gdiplus::Bitmap> renderEmoji(std::wstring_view emoji);
// The installed family that text asked in `family` is drawn with (see above); empty stands for
// "Segoe UI".
std::wstring resolvedFontFamily(std::string_view family);
// Releases every object of the engine (before GDI+ shuts down: it holds a GDI+ bitmap).
void releaseTextEngine();
// How many texts the engine laid out (DirectWrite text layouts made) and drew so far in this
// process; any thread. The draw benchmark counts them per frame.
std::uint64_t textLayoutsMade();
std::uint64_t textsDrawn();

}  // namespace lumvo

#pragma once
// What a card paints on: a small 2D canvas. The cards (feed, featured card, QR card, poll panel,
// flames, backdrops) are portable code that paints through this interface; on Windows it is GDI+
// with DirectWrite text (overlay/win/), in native tests a recording canvas with fixed text metrics
// (tests/support/), so every card's geometry is checked against numbers, without pixels.
//
// Coordinates are pixels of the card's bitmap, origin top left, y downwards, floats (not rounded).
// Colours are 0xAARRGGBB, straight alpha. Text is UTF-8.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/argb.h"
#include "media/decoded_picture.h"

namespace lumvo {

struct PointF {
    float x = 0, y = 0;
};

struct RectF {
    float x = 0, y = 0, w = 0, h = 0;
    float right() const { return x + w; }
    float bottom() const { return y + h; }
};

// A rectangle with round corners of `radius` (already the radius to draw: see roundedRadius).
struct RoundedRect {
    RectF rect;
    float radius = 0;
};

struct TextStyle {
    float size = 16;           // pixels
    float lineSpacing = 1.2f;  // line height as a multiple of size; 0.5 or less means 1.2
    bool bold = false;         // weight 700, else 600
    bool wrap = false;         // break lines, else one line
    bool centre = false;       // centred horizontally, else from the leading edge
    bool middle = false;       // centred vertically, else from the top
    std::string fontFamily;    // empty: the system's default UI family
    Argb colour = 0xFFFFFFFF;
};

struct SizeF {
    float w = 0, h = 0;
};

// A decoded picture a canvas can draw; made by that canvas. Any canvas of the same kind may draw it
// too (the QR card's logo is loaded once and kept between paints).
class CanvasImage {
public:
    virtual ~CanvasImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // The alpha (0..255) of the pixel at (x, y); 0 outside the picture or where it cannot be read.
    virtual int alphaAt(int x, int y) const { return 0; }
};

// A round dot: its centre, radius and colour.
struct Dot {
    float x = 0, y = 0, radius = 0;
    Argb colour = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void fillRect(const RectF& r, Argb colour) = 0;
    virtual void fillRoundedRect(const RoundedRect& r, Argb colour) = 0;
    virtual void strokeRoundedRect(const RoundedRect& r, float width, Argb colour) = 0;
    virtual void fillPolygon(std::span<const PointF> points, Argb colour) = 0;
    virtual void fillEllipse(const RectF& bounds, Argb colour) = 0;
    // Many round dots, in turn: the same as a fillEllipse for each, which a canvas may do faster.
    virtual void fillDots(std::span<const Dot> dots) {
        for (const Dot& d : dots) fillEllipse({d.x - d.radius, d.y - d.radius, 2 * d.radius, 2 * d.radius}, d.colour);
    }
    // A line with round caps.
    virtual void line(PointF from, PointF to, float width, Argb colour) = 0;
    // The closed cardinal spline (default tension, 0.5) through the points, filled.
    virtual void fillClosedCurve(std::span<const PointF> points, Argb colour) = 0;
    // The outline of the ellipse in `bounds`, centred on it.
    virtual void strokeEllipse(const RectF& bounds, float width, Argb colour) = 0;
    // Connected lines through the points, round joins, flat ends.
    virtual void polyline(std::span<const PointF> points, float width, Argb colour) = 0;

    // Everything drawn until the matching popTransform is moved by (dx, dy) and turned by
    // `degrees` clockwise about that point, inside the transform already in force (transforms nest).
    virtual void pushTransform(float dx, float dy, float degrees) = 0;
    virtual void popTransform() = 0;

    // Everything drawn until the matching popClip stays inside the shape (clips nest).
    virtual void pushClip(const RoundedRect& shape) = 0;
    virtual void popClip() = 0;

    // A photo decoded and bounded by the worker, as an image this canvas draws: the pixels are
    // wrapped (kept alive by the image), never decoded or copied here. Null for a null or empty
    // picture.
    virtual std::unique_ptr<CanvasImage> pictureImage(PictureRef picture) = 0;
    // Loads a picture file (UTF-8 path); null when missing or unreadable.
    virtual std::unique_ptr<CanvasImage> loadImageFile(std::string_view path) = 0;
    // Draws the whole image stretched into `dest`, high-quality interpolation.
    virtual void drawImage(const CanvasImage& image, const RectF& dest, float opacity = 1.0f) = 0;

    // The laid-out size of `text` in a box of `box` width (height: as much as it needs), width
    // including trailing blanks; 0 x 0 when the text engine cannot lay it out.
    virtual SizeF measureText(std::string_view text, SizeF box, const TextStyle& style) = 0;
    // Draws `text` in `box` (colour emoji in colour where the system can); nothing for an empty
    // text or a box below 2 x 2.
    virtual void drawText(std::string_view text, const RectF& box, const TextStyle& style) = 0;

    // An 80 x 80 picture of one emoji (UTF-8), white where it has no colour of its own, centred;
    // null when this canvas cannot make one.
    virtual std::unique_ptr<CanvasImage> renderEmoji(std::string_view emoji) { return nullptr; }
};

}  // namespace lumvo

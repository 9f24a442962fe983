#pragma once
// The cards' canvas on Windows: GDI+ shapes and images, DirectWrite text (text_engine.h), and the
// card surface a layer is painted on before it is uploaded. GDI+ must be running.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "media/win/gdiplus_picture.h"
#include "overlay/canvas.h"
#include "overlay/shape_raster.h"
#include "overlay/win/text_engine.h"

namespace lumvo {

// A decoded picture (media/win/gdiplus_picture.h) as the cards' canvas hands it out.
class GdiplusImage final : public CanvasImage {
public:
    explicit GdiplusImage(std::unique_ptr<GdiplusPicture> picture);
    int width() const override;
    int height() const override;
    int alphaAt(int x, int y) const override;
    Gdiplus::Bitmap& bitmap() const { return picture_->bitmap(); }

private:
    std::unique_ptr<GdiplusPicture> picture_;  // never null
};

// Paints on a GDI+ graphics. Its brush, pens, path and image attributes are made once and reused;
// attach it to a graphics before painting and detach it after (open clips and transforms are
// closed then). Texts drawn one after another are drawn together, when the next shape, image,
// clip or transform comes or at detach.
class GdiplusCanvas final : public Canvas {
public:
    GdiplusCanvas();
    ~GdiplusCanvas() override;
    GdiplusCanvas(const GdiplusCanvas&) = delete;
    GdiplusCanvas& operator=(const GdiplusCanvas&) = delete;

    // `bitmap`, when given, is what `graphics` paints on: dots are then blended into its pixels.
    void attach(Gdiplus::Graphics* graphics, Gdiplus::Bitmap* bitmap = nullptr);
    void detach();

    void fillRect(const RectF& r, Argb colour) override;
    void fillRoundedRect(const RoundedRect& r, Argb colour) override;
    void strokeRoundedRect(const RoundedRect& r, float width, Argb colour) override;
    void fillPolygon(std::span<const PointF> points, Argb colour) override;
    void fillEllipse(const RectF& bounds, Argb colour) override;
    void fillDots(std::span<const Dot> dots) override;
    void line(PointF from, PointF to, float width, Argb colour) override;
    void fillClosedCurve(std::span<const PointF> points, Argb colour) override;
    void strokeEllipse(const RectF& bounds, float width, Argb colour) override;
    void polyline(std::span<const PointF> points, float width, Argb colour) override;
    void pushTransform(float dx, float dy, float degrees) override;
    void popTransform() override;
    void pushClip(const RoundedRect& shape) override;
    void popClip() override;
    std::unique_ptr<CanvasImage> pictureImage(PictureRef picture) override;
    std::unique_ptr<CanvasImage> loadImageFile(std::string_view path) override;
    void drawImage(const CanvasImage& image, const RectF& dest, float opacity = 1.0f) override;
    SizeF measureText(std::string_view text, SizeF box, const TextStyle& style) override;
    void drawText(std::string_view text, const RectF& box, const TextStyle& style) override;

    // An 80 x 80 picture of one emoji (UTF-8), for the flame layer's sprites; null on failure.
    std::unique_ptr<CanvasImage> renderEmoji(std::string_view emoji) override;

private:
    // Draws the texts drawn since the last shape, clip or transform, in one go (text_engine.h):
    // called before anything else is painted, and at detach.
    void flushText();
    // Shapes up to this many pixels wide and high, where nothing clips them, are blended straight
    // into the bitmap's pixels (overlay/shape_raster.h): GDI+ fills a path for each, which costs
    // far more for the small shapes of a backdrop's particles.
    static constexpr int kSmallShape = 96;
    bool smallShape(const PixelBox& box) const;
    PixelBox fullBox() const;
    // Locks `box` of the bitmap (clipped to it) and hands its pixels to `blend`: false when there
    // is no bitmap, the lock failed or `blend` could not draw (nothing drawn then); true for a box
    // off the bitmap.
    bool inPixels(const PixelBox& box, const std::function<bool(const PixelTarget&)>& blend);
    // The points as GDI+ points, in the shared buffer.
    const Gdiplus::PointF* gdiPoints(std::span<const PointF> points);
    // The rounded rectangle as the shared path (reset first).
    Gdiplus::GraphicsPath& roundedPath(const RoundedRect& r);

    Gdiplus::Graphics* graphics_ = nullptr;
    Gdiplus::Bitmap* bitmap_ = nullptr;
    std::unique_ptr<Gdiplus::SolidBrush> brush_;
    std::unique_ptr<Gdiplus::Pen> pen_;      // flat caps: outlines
    std::unique_ptr<Gdiplus::Pen> linePen_;  // round caps: lines
    std::unique_ptr<Gdiplus::GraphicsPath> path_;
    std::unique_ptr<Gdiplus::ImageAttributes> fade_;
    std::vector<Gdiplus::GraphicsState> clips_;
    std::vector<Gdiplus::GraphicsState> transforms_;
    Affine affine_;                // the transform in force, as GDI+ has it
    std::vector<Affine> affines_;  // the ones pushTransform saved
    std::vector<Gdiplus::PointF> points_;
    std::vector<TextDraw> pendingText_;
};

// A layer's picture on the CPU: a 32bpp ARGB (straight alpha) GDI+ bitmap with a canvas, kept
// while its size is unchanged.
class CardSurface {
public:
    CardSurface() = default;
    CardSurface(const CardSurface&) = delete;
    CardSurface& operator=(const CardSurface&) = delete;

    // Clears the bitmap (width x height, made anew only when the size differs) to transparent, or
    // to a copy of `base` when that has the same size, and paints on it with anti-aliasing and
    // high-quality bicubic images. False when GDI+ failed.
    bool paint(int width, int height, const std::function<void(Canvas&)>& painter, CardSurface* base = nullptr);
    // Locks the pixels for reading (B, G, R, A bytes, straight alpha) and hands them to `use`;
    // false when the lock failed or `use` said so.
    bool readPixels(const std::function<bool(const void* pixels, int rowPitch)>& use);
    int width() const { return width_; }
    int height() const { return height_; }

private:
    bool copyFrom(CardSurface& base);

    std::unique_ptr<Gdiplus::Bitmap> bitmap_;
    int width_ = 0, height_ = 0;
    GdiplusCanvas canvas_;
};

}  // namespace lumvo

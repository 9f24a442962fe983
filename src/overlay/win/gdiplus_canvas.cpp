#include "overlay/win/gdiplus_canvas.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/win/wide_text.h"
#include "overlay/win/text_engine.h"

namespace lumvo {
namespace {

Gdiplus::Color gdiColour(Argb c) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(c)); }

std::unique_ptr<CanvasImage> canvasImage(std::unique_ptr<GdiplusPicture> picture) {
    return picture ? std::make_unique<GdiplusImage>(std::move(picture)) : nullptr;
}

}  // namespace

GdiplusImage::GdiplusImage(std::unique_ptr<GdiplusPicture> picture) : picture_(std::move(picture)) {}

int GdiplusImage::width() const { return picture_->width(); }
int GdiplusImage::height() const { return picture_->height(); }
int GdiplusImage::alphaAt(int x, int y) const { return picture_->alphaAt(x, y); }

GdiplusCanvas::GdiplusCanvas()
    : brush_(std::make_unique<Gdiplus::SolidBrush>(Gdiplus::Color(0, 0, 0, 0))),
      pen_(std::make_unique<Gdiplus::Pen>(Gdiplus::Color(0, 0, 0, 0), 1.0f)),
      linePen_(std::make_unique<Gdiplus::Pen>(Gdiplus::Color(0, 0, 0, 0), 1.0f)),
      path_(std::make_unique<Gdiplus::GraphicsPath>()),
      fade_(std::make_unique<Gdiplus::ImageAttributes>()) {
    linePen_->SetStartCap(Gdiplus::LineCapRound);
    linePen_->SetEndCap(Gdiplus::LineCapRound);
    pen_->SetLineJoin(Gdiplus::LineJoinRound);
}

GdiplusCanvas::~GdiplusCanvas() { detach(); }

void GdiplusCanvas::attach(Gdiplus::Graphics* graphics, Gdiplus::Bitmap* bitmap) {
    detach();
    graphics_ = graphics;
    bitmap_ = bitmap;
}

void GdiplusCanvas::detach() {
    try {
        flushText();
    } catch (...) {
        pendingText_.clear();  // the texts are lost with this paint, not the canvas
    }
    while (!transforms_.empty()) popTransform();
    while (!clips_.empty()) popClip();
    graphics_ = nullptr;
    bitmap_ = nullptr;
}

Gdiplus::GraphicsPath& GdiplusCanvas::roundedPath(const RoundedRect& rr) {
    path_->Reset();
    const RectF& r = rr.rect;
    const float radius = std::min(rr.radius, std::min(r.w, r.h) / 2.0f);
    if (radius <= 0.0f) {
        path_->AddRectangle(Gdiplus::RectF(r.x, r.y, r.w, r.h));
        return *path_;
    }
    const float d = 2.0f * radius;
    path_->AddArc(r.x, r.y, d, d, 180.0f, 90.0f);
    path_->AddArc(r.x + r.w - d, r.y, d, d, 270.0f, 90.0f);
    path_->AddArc(r.x + r.w - d, r.y + r.h - d, d, d, 0.0f, 90.0f);
    path_->AddArc(r.x, r.y + r.h - d, d, d, 90.0f, 90.0f);
    path_->CloseFigure();
    return *path_;
}

void GdiplusCanvas::fillRect(const RectF& r, Argb colour) {
    flushText();
    if (!graphics_) return;
    if (const PixelBox box = deviceBox(r, affine_); smallShape(box) && inPixels(box, [&](const PixelTarget& target) {
                                                        return blendRect(target, r, affine_, colour);
                                                    })) {
        return;
    }
    brush_->SetColor(gdiColour(colour));
    graphics_->FillRectangle(brush_.get(), r.x, r.y, r.w, r.h);
}

void GdiplusCanvas::fillRoundedRect(const RoundedRect& r, Argb colour) {
    flushText();
    if (!graphics_) return;
    brush_->SetColor(gdiColour(colour));
    graphics_->FillPath(brush_.get(), &roundedPath(r));
}

void GdiplusCanvas::strokeRoundedRect(const RoundedRect& r, float width, Argb colour) {
    flushText();
    if (!graphics_) return;
    pen_->SetColor(gdiColour(colour));
    pen_->SetWidth(width);
    graphics_->DrawPath(pen_.get(), &roundedPath(r));
}

const Gdiplus::PointF* GdiplusCanvas::gdiPoints(std::span<const PointF> points) {
    points_.clear();
    for (const PointF& p : points) points_.emplace_back(p.x, p.y);
    return points_.data();
}

void GdiplusCanvas::fillPolygon(std::span<const PointF> points, Argb colour) {
    flushText();
    if (!graphics_ || points.size() < 3) return;
    if (const PixelBox box = deviceBox(points, affine_);
        smallShape(box) &&
        inPixels(box, [&](const PixelTarget& target) { return blendConvexPolygon(target, points, affine_, colour); })) {
        return;
    }
    brush_->SetColor(gdiColour(colour));
    graphics_->FillPolygon(brush_.get(), gdiPoints(points), static_cast<INT>(points.size()));
}

void GdiplusCanvas::fillClosedCurve(std::span<const PointF> points, Argb colour) {
    flushText();
    if (!graphics_ || points.size() < 3) return;
    brush_->SetColor(gdiColour(colour));
    graphics_->FillClosedCurve(brush_.get(), gdiPoints(points), static_cast<INT>(points.size()));
}

void GdiplusCanvas::strokeEllipse(const RectF& b, float width, Argb colour) {
    flushText();
    if (!graphics_) return;
    pen_->SetColor(gdiColour(colour));
    pen_->SetWidth(width);
    graphics_->DrawEllipse(pen_.get(), b.x, b.y, b.w, b.h);
}

void GdiplusCanvas::polyline(std::span<const PointF> points, float width, Argb colour) {
    flushText();
    if (!graphics_ || points.size() < 2) return;
    pen_->SetColor(gdiColour(colour));
    pen_->SetWidth(width);
    graphics_->DrawLines(pen_.get(), gdiPoints(points), static_cast<INT>(points.size()));
}

void GdiplusCanvas::pushTransform(float dx, float dy, float degrees) {
    flushText();
    if (!graphics_) return;
    transforms_.push_back(graphics_->Save());
    affines_.push_back(affine_);
    affine_ = affine_.movedAndTurned(dx, dy, degrees);
    graphics_->TranslateTransform(dx, dy, Gdiplus::MatrixOrderPrepend);
    graphics_->RotateTransform(degrees, Gdiplus::MatrixOrderPrepend);
}

void GdiplusCanvas::popTransform() {
    flushText();
    if (transforms_.empty()) return;
    if (graphics_) graphics_->Restore(transforms_.back());
    transforms_.pop_back();
    affine_ = affines_.back();
    affines_.pop_back();
}

void GdiplusCanvas::fillEllipse(const RectF& b, Argb colour) {
    flushText();
    if (!graphics_) return;
    if (const PixelBox box = deviceBox(b, affine_); smallShape(box) && inPixels(box, [&](const PixelTarget& target) {
                                                        return blendEllipse(target, b, affine_, colour);
                                                    })) {
        return;
    }
    brush_->SetColor(gdiColour(colour));
    graphics_->FillEllipse(brush_.get(), b.x, b.y, b.w, b.h);
}

void GdiplusCanvas::fillDots(std::span<const Dot> dots) {
    flushText();
    if (!graphics_ || dots.empty()) return;
    // Straight into the pixels where nothing transforms or clips them; else as ellipses.
    const bool drawn = transforms_.empty() && clips_.empty() && inPixels(fullBox(), [&](const PixelTarget& target) {
                           blendDots(target, dots);
                           return true;
                       });
    if (!drawn) Canvas::fillDots(dots);
}

PixelBox GdiplusCanvas::fullBox() const {
    return bitmap_ ? PixelBox{0, 0, static_cast<int>(bitmap_->GetWidth()), static_cast<int>(bitmap_->GetHeight())}
                   : PixelBox{};
}

bool GdiplusCanvas::smallShape(const PixelBox& box) const {
    return bitmap_ && clips_.empty() && box.w > 0 && box.h > 0 && box.w <= kSmallShape && box.h <= kSmallShape;
}

bool GdiplusCanvas::inPixels(const PixelBox& box, const std::function<bool(const PixelTarget&)>& blend) {
    if (!bitmap_) return false;
    const int width = static_cast<int>(bitmap_->GetWidth()), height = static_cast<int>(bitmap_->GetHeight());
    const int x0 = std::max(box.x, 0), y0 = std::max(box.y, 0);
    const int x1 = std::min(box.x + box.w, width), y1 = std::min(box.y + box.h, height);
    if (x1 <= x0 || y1 <= y0) return true;  // off the picture: nothing to draw
    Gdiplus::Rect rect(x0, y0, x1 - x0, y1 - y0);
    Gdiplus::BitmapData data{};
    graphics_->Flush(Gdiplus::FlushIntentionSync);
    if (bitmap_->LockBits(&rect, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB,
                          &data) != Gdiplus::Ok) {
        return false;
    }
    bool drawn = false;
    if (data.Stride > 0 && data.Stride % 4 == 0) {
        drawn = blend({static_cast<std::uint32_t*>(data.Scan0), x0, y0, rect.Width, rect.Height, data.Stride / 4});
    }
    bitmap_->UnlockBits(&data);
    return drawn;
}

void GdiplusCanvas::line(PointF from, PointF to, float width, Argb colour) {
    flushText();
    if (!graphics_) return;
    linePen_->SetColor(gdiColour(colour));
    linePen_->SetWidth(width);
    graphics_->DrawLine(linePen_.get(), from.x, from.y, to.x, to.y);
}

void GdiplusCanvas::pushClip(const RoundedRect& shape) {
    flushText();
    if (!graphics_) return;
    clips_.push_back(graphics_->Save());
    graphics_->SetClip(&roundedPath(shape), Gdiplus::CombineModeIntersect);
}

void GdiplusCanvas::popClip() {
    flushText();
    if (clips_.empty()) return;
    if (graphics_) graphics_->Restore(clips_.back());
    clips_.pop_back();
}

std::unique_ptr<CanvasImage> GdiplusCanvas::pictureImage(PictureRef picture) {
    return canvasImage(pictureBitmap(std::move(picture)));
}

std::unique_ptr<CanvasImage> GdiplusCanvas::loadImageFile(std::string_view path) {
    return canvasImage(loadPictureFile(path));
}

void GdiplusCanvas::drawImage(const CanvasImage& image, const RectF& dest, float opacity) {
    flushText();
    if (!graphics_ || opacity <= 0.0f) return;
    // Every image a GdiplusCanvas hands out is a GdiplusImage.
    Gdiplus::Bitmap& bitmap = static_cast<const GdiplusImage&>(image).bitmap();
    const Gdiplus::RectF to(dest.x, dest.y, dest.w, dest.h);
    const float w = static_cast<float>(image.width()), h = static_cast<float>(image.height());
    Gdiplus::ImageAttributes* attributes = nullptr;
    if (opacity < 1.0f) {
        Gdiplus::ColorMatrix matrix = {
            {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
        fade_->SetColorMatrix(&matrix);
        attributes = fade_.get();
    }
    // Tile-flip wrapping keeps the picture's edge pixels from blending with nothing.
    fade_->SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    if (!attributes) {
        fade_->ClearColorMatrix();
        attributes = fade_.get();
    }
    graphics_->DrawImage(&bitmap, to, 0.0f, 0.0f, w, h, Gdiplus::UnitPixel, attributes);
}

SizeF GdiplusCanvas::measureText(std::string_view text, SizeF box, const TextStyle& style) {
    return lumvo::measureText(utf8ToWide(text), box, style);
}

void GdiplusCanvas::drawText(std::string_view text, const RectF& box, const TextStyle& style) {
    if (graphics_) pendingText_.push_back({utf8ToWide(text), box, style});
}

void GdiplusCanvas::flushText() {
    if (pendingText_.empty()) return;
    struct Clear {
        std::vector<TextDraw>& texts;
        ~Clear() { texts.clear(); }
    } clear{pendingText_};
    if (graphics_) drawTexts(*graphics_, pendingText_);
}

std::unique_ptr<CanvasImage> GdiplusCanvas::renderEmoji(std::string_view emoji) {
    std::unique_ptr<Gdiplus::Bitmap> bitmap = lumvo::renderEmoji(utf8ToWide(emoji));
    return bitmap ? canvasImage(std::make_unique<GdiplusPicture>(std::move(bitmap))) : nullptr;
}

bool CardSurface::paint(int width, int height, const std::function<void(Canvas&)>& painter, CardSurface* base) {
    if (width < 1 || height < 1) return false;
    if (!bitmap_ || width != width_ || height != height_) {
        bitmap_.reset();
        width_ = height_ = 0;
        auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
        if (bitmap->GetLastStatus() != Gdiplus::Ok) return false;
        bitmap_ = std::move(bitmap);
        width_ = width;
        height_ = height;
    }
    const bool copied = base && base != this && base->width_ == width && base->height_ == height && copyFrom(*base);
    Gdiplus::Graphics graphics(bitmap_.get());
    if (graphics.GetLastStatus() != Gdiplus::Ok) return false;
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    if (!copied) graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
    struct Detach {
        GdiplusCanvas& canvas;
        ~Detach() { canvas.detach(); }
    } detach{canvas_};
    canvas_.attach(&graphics, bitmap_.get());
    painter(canvas_);
    return true;
}

bool CardSurface::copyFrom(CardSurface& base) {
    Gdiplus::Rect all(0, 0, width_, height_);
    Gdiplus::BitmapData data{};
    if (bitmap_->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return false;
    struct Unlock {
        Gdiplus::Bitmap& bitmap;
        Gdiplus::BitmapData& data;
        ~Unlock() { bitmap.UnlockBits(&data); }
    } unlock{*bitmap_, data};
    const auto rowBytes = static_cast<std::size_t>(width_) * 4;
    return base.readPixels([&](const void* pixels, int pitch) {
        for (int y = 0; y < height_; ++y) {
            std::memcpy(static_cast<char*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                        static_cast<const char*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitch, rowBytes);
        }
        return true;
    });
}

bool CardSurface::readPixels(const std::function<bool(const void* pixels, int rowPitch)>& use) {
    if (!bitmap_) return false;
    Gdiplus::Rect all(0, 0, width_, height_);
    Gdiplus::BitmapData data{};
    if (bitmap_->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return false;
    struct Unlock {
        Gdiplus::Bitmap& bitmap;
        Gdiplus::BitmapData& data;
        ~Unlock() { bitmap.UnlockBits(&data); }
    } unlock{*bitmap_, data};
    return use(data.Scan0, data.Stride);
}

}  // namespace lumvo

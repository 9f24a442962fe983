#include "overlay/win/gdiplus_canvas.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>

#include "media/image_check.h"
#include "overlay/win/text_engine.h"
#include "base/win/wide_text.h"

namespace lumvo {
namespace {

using Microsoft::WRL::ComPtr;

// A picture file larger than this is not read (a logo or a photo is far smaller).
constexpr LONGLONG kMaxImageFileBytes = 64LL << 20;

Gdiplus::Color gdiColour(Argb c) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(c)); }

// Encoded bytes in a movable global memory block, wrapped in a stream that owns the block.
ComPtr<IStream> streamOver(std::string_view bytes) {
    ComPtr<IStream> stream;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return stream;
    if (void* memory = GlobalLock(block)) {
        std::memcpy(memory, bytes.data(), bytes.size());
        GlobalUnlock(block);
        if (SUCCEEDED(CreateStreamOnHGlobal(block, TRUE, &stream))) return stream;
    }
    GlobalFree(block);
    return nullptr;
}

// What GDI+ cannot read (WebP) through the system's WIC codecs, copied into a GDI+ bitmap.
std::unique_ptr<Gdiplus::Bitmap> decodeWithWic(IStream* stream) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_ptr<Gdiplus::Bitmap> result;
    {
        ComPtr<IWICImagingFactory> wic;
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICFormatConverter> converter;
        UINT w = 0, h = 0;
        LARGE_INTEGER start{};
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) &&
            SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
            SUCCEEDED(wic->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(wic->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                            0.0, WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&w, &h)) && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
            auto bitmap = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(w), static_cast<INT>(h), PixelFormat32bppARGB);
            Gdiplus::Rect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
            Gdiplus::BitmapData data{};
            if (bitmap->GetLastStatus() == Gdiplus::Ok &&
                bitmap->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
                const HRESULT copied = converter->CopyPixels(nullptr, static_cast<UINT>(data.Stride),
                                                             static_cast<UINT>(data.Stride) * h,
                                                             static_cast<BYTE*>(data.Scan0));
                bitmap->UnlockBits(&data);
                if (SUCCEEDED(copied)) result = std::move(bitmap);
            }
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

}  // namespace

GdiplusImage::GdiplusImage(std::unique_ptr<Gdiplus::Bitmap> bitmap, IStream* source)
    : bitmap_(std::move(bitmap)), source_(source) {
    if (source_) source_->AddRef();
}

GdiplusImage::~GdiplusImage() {
    bitmap_.reset();
    if (source_) source_->Release();
}

int GdiplusImage::width() const { return static_cast<int>(bitmap_->GetWidth()); }
int GdiplusImage::height() const { return static_cast<int>(bitmap_->GetHeight()); }
int GdiplusImage::alphaAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return 0;
    Gdiplus::Color colour;
    return bitmap_->GetPixel(x, y, &colour) == Gdiplus::Ok ? colour.GetA() : 0;
}

std::unique_ptr<GdiplusImage> loadImageFile(std::string_view utf8Path) {
    // Read whole and decoded from memory: a picture GDI+ opens by name stays locked while it is
    // kept, and the DJ could not replace the venue's logo then.
    const std::wstring path = utf8ToWide(utf8Path);
    if (path.empty()) return nullptr;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kMaxImageFileBytes) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
            bytes.clear();
        }
    }
    CloseHandle(file);
    return loadImageBytes(bytes);
}

std::unique_ptr<GdiplusImage> loadImageBytes(std::string_view bytes) {
    if (!plausiblePicture(bytes)) return nullptr;
    ComPtr<IStream> stream = streamOver(bytes);
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok && bitmap->GetWidth() > 0) {
        return std::make_unique<GdiplusImage>(std::move(bitmap), stream.Get());
    }
    bitmap = decodeWithWic(stream.Get());
    return bitmap ? std::make_unique<GdiplusImage>(std::move(bitmap)) : nullptr;
}

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

void GdiplusCanvas::attach(Gdiplus::Graphics* graphics) {
    detach();
    graphics_ = graphics;
}

void GdiplusCanvas::detach() {
    while (!clips_.empty()) popClip();
    graphics_ = nullptr;
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
    if (!graphics_) return;
    brush_->SetColor(gdiColour(colour));
    graphics_->FillRectangle(brush_.get(), r.x, r.y, r.w, r.h);
}

void GdiplusCanvas::fillRoundedRect(const RoundedRect& r, Argb colour) {
    if (!graphics_) return;
    brush_->SetColor(gdiColour(colour));
    graphics_->FillPath(brush_.get(), &roundedPath(r));
}

void GdiplusCanvas::strokeRoundedRect(const RoundedRect& r, float width, Argb colour) {
    if (!graphics_) return;
    pen_->SetColor(gdiColour(colour));
    pen_->SetWidth(width);
    graphics_->DrawPath(pen_.get(), &roundedPath(r));
}

void GdiplusCanvas::fillPolygon(std::span<const PointF> points, Argb colour) {
    if (!graphics_ || points.size() < 3) return;
    points_.clear();
    for (const PointF& p : points) points_.emplace_back(p.x, p.y);
    brush_->SetColor(gdiColour(colour));
    graphics_->FillPolygon(brush_.get(), points_.data(), static_cast<INT>(points_.size()));
}

void GdiplusCanvas::fillEllipse(const RectF& b, Argb colour) {
    if (!graphics_) return;
    brush_->SetColor(gdiColour(colour));
    graphics_->FillEllipse(brush_.get(), b.x, b.y, b.w, b.h);
}

void GdiplusCanvas::line(PointF from, PointF to, float width, Argb colour) {
    if (!graphics_) return;
    linePen_->SetColor(gdiColour(colour));
    linePen_->SetWidth(width);
    graphics_->DrawLine(linePen_.get(), from.x, from.y, to.x, to.y);
}

void GdiplusCanvas::pushClip(const RoundedRect& shape) {
    if (!graphics_) return;
    clips_.push_back(graphics_->Save());
    graphics_->SetClip(&roundedPath(shape), Gdiplus::CombineModeIntersect);
}

void GdiplusCanvas::popClip() {
    if (clips_.empty()) return;
    if (graphics_) graphics_->Restore(clips_.back());
    clips_.pop_back();
}

std::unique_ptr<CanvasImage> GdiplusCanvas::decodeImage(std::string_view bytes) { return loadImageBytes(bytes); }

std::unique_ptr<CanvasImage> GdiplusCanvas::loadImageFile(std::string_view path) { return lumvo::loadImageFile(path); }

void GdiplusCanvas::drawImage(const CanvasImage& image, const RectF& dest, float opacity) {
    if (!graphics_ || opacity <= 0.0f) return;
    // Every image a GdiplusCanvas hands out is a GdiplusImage.
    Gdiplus::Bitmap& bitmap = static_cast<const GdiplusImage&>(image).bitmap();
    const Gdiplus::RectF to(dest.x, dest.y, dest.w, dest.h);
    const float w = static_cast<float>(image.width()), h = static_cast<float>(image.height());
    Gdiplus::ImageAttributes* attributes = nullptr;
    if (opacity < 1.0f) {
        Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
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
    if (graphics_) lumvo::drawText(*graphics_, utf8ToWide(text), box, style);
}

std::unique_ptr<CanvasImage> GdiplusCanvas::renderEmoji(std::string_view emoji) {
    std::unique_ptr<Gdiplus::Bitmap> bitmap = lumvo::renderEmoji(utf8ToWide(emoji));
    return bitmap ? std::make_unique<GdiplusImage>(std::move(bitmap)) : nullptr;
}

bool CardSurface::paint(int width, int height, const std::function<void(Canvas&)>& painter) {
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
    Gdiplus::Graphics graphics(bitmap_.get());
    if (graphics.GetLastStatus() != Gdiplus::Ok) return false;
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
    struct Detach {
        GdiplusCanvas& canvas;
        ~Detach() { canvas.detach(); }
    } detach{canvas_};
    canvas_.attach(&graphics);
    painter(canvas_);
    return true;
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

#include "plugin/win/brand_bitmap.h"

#include <algorithm>
#include <memory>

#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include "plugin/brand_geometry.h"

namespace lumvo {

namespace gp = Gdiplus;

HBITMAP buildBrandBitmap(const std::wstring& imagePath) {
    if (imagePath.empty()) return nullptr;
    auto source = std::make_unique<gp::Bitmap>(imagePath.c_str());
    if (source->GetLastStatus() != gp::Ok) return nullptr;
    const int width = static_cast<int>(source->GetWidth());
    const int height = static_cast<int>(source->GetHeight());
    if (width <= 0 || height <= 0) return nullptr;

    gp::BitmapData pixels{};
    gp::Rect whole(0, 0, width, height);
    if (source->LockBits(&whole, gp::ImageLockModeRead, PixelFormat32bppARGB, &pixels) != gp::Ok) return nullptr;
    const PixelRect crop = pixels.Stride > 0 ? visibleBounds(static_cast<const std::uint32_t*>(pixels.Scan0), width,
                                                             height, pixels.Stride / 4)
                                             : PixelRect{0, 0, width, height};
    source->UnlockBits(&pixels);

    const PixelRect target = fitCentred(crop.w, crop.h);
    if (target.w <= 0 || target.h <= 0) return nullptr;

    gp::Bitmap canvas(kBrandBitmapSize, kBrandBitmapSize, PixelFormat32bppARGB);
    if (canvas.GetLastStatus() != gp::Ok) return nullptr;
    const gp::Color background(255, kBrandBackgroundRed, kBrandBackgroundGreen, kBrandBackgroundBlue);
    {
        gp::Graphics graphics(&canvas);
        if (graphics.GetLastStatus() != gp::Ok) return nullptr;
        graphics.Clear(background);
        graphics.SetInterpolationMode(gp::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(gp::PixelOffsetModeHalf);
        graphics.SetCompositingMode(gp::CompositingModeSourceOver);
        // Mirror at the image's edges so the bicubic filter does not fade the border into the background.
        gp::ImageAttributes attributes;
        attributes.SetWrapMode(gp::WrapModeTileFlipXY);
        const gp::Rect destination(target.x, target.y, target.w, target.h);
        if (graphics.DrawImage(source.get(), destination, crop.x, crop.y, crop.w, crop.h, gp::UnitPixel, &attributes) !=
            gp::Ok) {
            return nullptr;
        }
    }
    HBITMAP bitmap = nullptr;
    if (canvas.GetHBITMAP(background, &bitmap) != gp::Ok) return nullptr;
    return bitmap;
}

}  // namespace lumvo

#pragma once
// The bitmap the host shows for the effect in its list: the brand mark, trimmed to its visible
// part and fitted into 64 x 64 on the wall's dark background.
#include <string>

#include <windows.h>

namespace lumvo {

inline constexpr BYTE kBrandBackgroundRed = 18, kBrandBackgroundGreen = 18, kBrandBackgroundBlue = 26;

// A new 64 x 64 bitmap (the caller owns it) from the image file at `imagePath`; null when the
// path is empty or the file is missing or unreadable. GDI+ must be running.
HBITMAP buildBrandBitmap(const std::wstring& imagePath);

// The effect's list bitmap, built once on first request and deleted with its owner.
class BrandBitmap {
public:
    BrandBitmap() = default;
    ~BrandBitmap() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    BrandBitmap(const BrandBitmap&) = delete;
    BrandBitmap& operator=(const BrandBitmap&) = delete;

    HBITMAP handle() const { return bitmap_; }
    // Builds it from `imagePath` unless it exists; GDI+ must be running.
    void build(const std::wstring& imagePath) {
        if (!bitmap_) bitmap_ = buildBrandBitmap(imagePath);
    }

private:
    HBITMAP bitmap_ = nullptr;
};

}  // namespace lumvo

#pragma once
// Pictures decoded with GDI+ (and, for WebP, the system's WIC codecs): the overlay's canvas paints
// them on the cards, the moderator's photo preview shows them. Bytes are checked for a plausible
// JPEG, PNG or WebP structure (media/image_check.h) before any decoder sees them. GDI+ must be
// running.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>
#include <string_view>

namespace lumvo {

// A decoded picture. Pictures from bytes keep the stream they were decoded from (GDI+ reads it
// lazily).
class GdiplusPicture {
public:
    explicit GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap, IStream* source = nullptr);
    ~GdiplusPicture();
    GdiplusPicture(const GdiplusPicture&) = delete;
    GdiplusPicture& operator=(const GdiplusPicture&) = delete;

    int width() const;
    int height() const;
    // The alpha (0..255) of a pixel; 0 outside the picture.
    int alphaAt(int x, int y) const;
    Gdiplus::Bitmap& bitmap() const { return *bitmap_; }

private:
    std::unique_ptr<Gdiplus::Bitmap> bitmap_;
    IStream* source_;  // owned reference, released after the bitmap
};

// A picture file (UTF-8 path); null when it is missing, larger than 64 MiB or does not decode.
std::unique_ptr<GdiplusPicture> loadPictureFile(std::string_view utf8Path);
// JPEG, PNG (GDI+) or, where Windows has the codec, WebP (WIC) bytes; null when they do not decode.
std::unique_ptr<GdiplusPicture> loadPictureBytes(std::string_view bytes);

}  // namespace lumvo

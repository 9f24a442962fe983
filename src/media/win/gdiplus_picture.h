#pragma once
// Pictures as GDI+ bitmaps, for the overlay's canvas and the moderator's photo preview: guests'
// photos decoded by the worker (media/win/picture_decoder.h) wrapped where their pixels are, and
// picture files (the venue's logo) decoded with GDI+ (and, for WebP, the system's WIC codecs). Bytes
// are checked for a plausible JPEG, PNG or WebP structure (media/image_check.h) before any decoder
// sees them. GDI+ must be running.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>
#include <string_view>

#include "media/decoded_picture.h"

namespace lumvo {

// A decoded picture. Pictures from bytes keep the stream they were decoded from (GDI+ reads it
// lazily); pictures over a decoded picture's pixels keep those.
class GdiplusPicture {
public:
    explicit GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap, IStream* source = nullptr,
                            PictureRef pixels = nullptr);
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
    IStream* source_;    // owned reference, released after the bitmap
    PictureRef pixels_;  // the memory the bitmap draws from, let go after the bitmap
};

// A bitmap over the picture's premultiplied pixels (32bpp PARGB), made without decoding or copying;
// null for a null or empty picture.
std::unique_ptr<GdiplusPicture> pictureBitmap(PictureRef picture);

// A picture file (UTF-8 path); null when it is missing, larger than 64 MiB or does not decode.
std::unique_ptr<GdiplusPicture> loadPictureFile(std::string_view utf8Path);
// JPEG, PNG (GDI+) or, where Windows has the codec, WebP (WIC) bytes; null when they do not decode.
std::unique_ptr<GdiplusPicture> loadPictureBytes(std::string_view bytes);

}  // namespace lumvo

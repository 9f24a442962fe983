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

}  // namespace lumvo

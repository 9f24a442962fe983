// The effect-list bitmap painted by GDI+ from a real PNG: trimmed to the visible mark, fitted and
// centred in 64 x 64 on the dark background.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "plugin/win/brand_bitmap.h"
#include "test_support.h"

namespace {

// The bitmap's pixels as 0x00RRGGBB, top row first.
std::vector<std::uint32_t> pixelsOf(HBITMAP bitmap, int size) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(size) * size);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, size, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != size) pixels.clear();
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

bool closeTo(std::uint32_t rgb, int r, int g, int b, int tolerance = 6) {
    return std::abs(static_cast<int>((rgb >> 16) & 0xFF) - r) <= tolerance &&
           std::abs(static_cast<int>((rgb >> 8) & 0xFF) - g) <= tolerance &&
           std::abs(static_cast<int>(rgb & 0xFF) - b) <= tolerance;
}

TEST(BrandBitmap, TheVisibleMarkFillsTheSquareWidthAndIsCentredOnTheBackground) {
    lumvo::test::GdiplusSession gdiplus;
    lumvo::test::TempFolder folder;
    const std::string path = folder / "mark.png";
    // 200 x 120, transparent, with a 100 x 50 opaque orange block: the block alone is fitted,
    // to 64 x 32, rows 16 to 47.
    ASSERT_TRUE(lumvo::test::writeTestPng(std::wstring(path.begin(), path.end()), 200, 120, 70, 40, 100, 50,
                                          0xFFFF7A18));
    HBITMAP bitmap = lumvo::buildBrandBitmap(std::wstring(path.begin(), path.end()));
    ASSERT_NE(bitmap, nullptr);
    const auto pixels = pixelsOf(bitmap, 64);
    DeleteObject(bitmap);
    ASSERT_EQ(pixels.size(), 64u * 64u);
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * 64 + x]; };

    for (int x : {0, 1, 32, 62, 63}) {
        EXPECT_TRUE(closeTo(at(x, 20), 255, 122, 24)) << "mark at " << x << ",20: " << std::hex << at(x, 20);
        EXPECT_TRUE(closeTo(at(x, 43), 255, 122, 24)) << "mark at " << x << ",43";
    }
    for (int y : {0, 10, 14, 49, 55, 63}) {
        EXPECT_TRUE(closeTo(at(32, y), 18, 18, 26, 2)) << "background at 32," << y << ": " << std::hex << at(32, y);
    }
}

TEST(BrandBitmap, NoFileOrNoImageGivesNoBitmap) {
    lumvo::test::GdiplusSession gdiplus;
    lumvo::test::TempFolder folder;
    EXPECT_EQ(lumvo::buildBrandBitmap(L""), nullptr);
    const std::string missing = folder / "missing.png";
    EXPECT_EQ(lumvo::buildBrandBitmap(std::wstring(missing.begin(), missing.end())), nullptr);
    const std::string text = folder / "not-an-image.png";
    lumvo::test::writeBytes(text, "<html>not found</html>");
    EXPECT_EQ(lumvo::buildBrandBitmap(std::wstring(text.begin(), text.end())), nullptr);
}

}  // namespace

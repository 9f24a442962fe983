// The effect-list bitmap painted by GDI+ from a real PNG: trimmed to the visible mark, fitted and
// centred in 64 x 64 on the dark background.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "plugin/win/brand_bitmap.h"
#include "test_support.h"

namespace {

using namespace lumvo::test;

// The bitmap's pixels as 0x00RRGGBB, top row first; empty when they cannot be read.
std::vector<std::uint32_t> pixelsOf(HBITMAP bitmap, int size) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(size) * size);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, size, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != size) pixels.clear();
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

bool closeTo(std::uint32_t rgb, int r, int g, int b, int tolerance) {
    return std::abs(static_cast<int>((rgb >> 16) & 0xFF) - r) <= tolerance &&
           std::abs(static_cast<int>((rgb >> 8) & 0xFF) - g) <= tolerance &&
           std::abs(static_cast<int>(rgb & 0xFF) - b) <= tolerance;
}

TEST(BrandBitmap, TheVisibleMarkFillsTheSquareWidthAndIsCentredOnTheBackground) {
    GdiplusSession gdiplus;
    TempFolder folder;
    // 200 x 120, transparent, with a 100 x 50 opaque orange block: the block alone is fitted,
    // to 64 x 32, rows 16 to 47.
    ASSERT_TRUE(writeTestPng(folder / "mark.png", 200, 120, {70, 40, 100, 50}, 0xFFFF7A18));
    HBITMAP bitmap = lumvo::buildBrandBitmap(lumvo::utf8ToWide(folder / "mark.png"));
    ASSERT_NE(bitmap, nullptr);
    const auto pixels = pixelsOf(bitmap, 64);
    DeleteObject(bitmap);
    ASSERT_EQ(pixels.size(), 64u * 64u);
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * 64 + x]; };
    for (int x : {0, 1, 32, 62, 63}) {
        EXPECT_TRUE(closeTo(at(x, 20), 255, 122, 24, 6)) << "mark at " << x << ",20: " << std::hex << at(x, 20);
        EXPECT_TRUE(closeTo(at(x, 43), 255, 122, 24, 6)) << "mark at " << x << ",43";
    }
    for (int y : {0, 10, 14, 49, 55, 63}) {
        EXPECT_TRUE(closeTo(at(32, y), 18, 18, 26, 2)) << "background at 32," << y << ": " << std::hex << at(32, y);
    }
}

TEST(BrandBitmap, NoFileOrNoImageGivesNoBitmap) {
    GdiplusSession gdiplus;
    TempFolder folder;
    writeBytes(folder / "not-an-image.png", "<html>not found</html>");
    for (const char* name : {"", "missing.png", "not-an-image.png"}) {
        EXPECT_EQ(lumvo::buildBrandBitmap(*name ? lumvo::utf8ToWide(folder / name) : L""), nullptr) << name;
    }
}

}  // namespace

// Cards painted for real: GDI+ shapes, clips and photos and DirectWrite text on a card surface,
// read back as the pixels that are uploaded (B, G, R, A bytes, straight alpha).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/win/picture_decoder.h"
#include "overlay/flames.h"
#include "overlay/win/gdiplus_canvas.h"
#include "overlay/win/text_engine.h"
#include "test_support.h"

namespace {

using namespace lumvo::test;

// The surface's pixels as 0xAARRGGBB, top row first.
std::vector<std::uint32_t> pixelsOf(lumvo::CardSurface& surface) {
    std::vector<std::uint32_t> out;
    surface.readPixels([&](const void* pixels, int pitch) {
        for (int y = 0; y < surface.height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const char*>(pixels) + y * pitch);
            out.insert(out.end(), row, row + surface.width());
        }
        return true;
    });
    return out;
}

// Pixels with any coverage inside (x, y, w, h).
int litPixels(const std::vector<std::uint32_t>& pixels, int stride, int x, int y, int w, int h) {
    int lit = 0;
    for (int row = y; row < y + h; ++row) {
        for (int column = x; column < x + w; ++column) lit += (pixels[row * stride + column] >> 24) != 0;
    }
    return lit;
}

TEST(CardCanvas, ShapesClipsPhotosAndTextLandWhereTheCardPutsThemInStraightAlpha) {
    GdiplusSession gdiplus;
    TempFolder folder;
    ASSERT_TRUE(writeTestPng(folder / "photo.png", 10, 10, {0, 0, 10, 10}, 0xFF00C000));
    const std::string photo = readBytes(folder / "photo.png");
    {
        lumvo::CardSurface surface;
        const lumvo::RoundedRect panel{{10, 10, 160, 60}, 20};
        ASSERT_TRUE(surface.paint(180, 80, [&](lumvo::Canvas& canvas) {
            canvas.fillRoundedRect(panel, 0xC0102030);
            canvas.pushClip(panel);
            const auto image = canvas.pictureImage(lumvo::decodePicture(photo, lumvo::kLargePhotoSide));
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->width(), 10);
            canvas.drawImage(*image, {0, 0, 40, 40});
            canvas.popClip();
            lumvo::TextStyle style;
            style.size = 20;
            style.bold = true;
            canvas.drawText("Hi there", {60, 30, 100, 30}, style);
        }));
        const std::vector<std::uint32_t> pixels = pixelsOf(surface);
        ASSERT_EQ(pixels.size(), 180u * 80u);
        auto at = [&](int x, int y) { return pixels[y * 180 + x]; };
        EXPECT_EQ(at(100, 65), 0xC0102030u) << "the panel's colour, straight alpha";
        EXPECT_EQ(at(11, 11) >> 24, 0u) << "outside the round corner";
        EXPECT_EQ(at(3, 30), 0u) << "the photo is clipped to the panel";
        EXPECT_EQ(at(30, 30), 0xFF00C000u) << "the photo, stretched over its square";
        EXPECT_GT(litPixels(pixels, 180, 60, 30, 100, 30), 0) << "text was drawn";
        // White text over the panel is whiter than the panel.
        int white = 0;
        for (int x = 60; x < 160; ++x) white += ((at(x, 42) >> 16) & 0xFF) > 0xC0;
        EXPECT_GT(white, 0);
    }
    lumvo::releaseTextEngine();
}

TEST(CardCanvas, AThemeFontMissingFromTheSystemStillDrawsTextInTheFallbackFamilyAndEmojiInTheEmojiFamily) {
    GdiplusSession gdiplus;
    // DirectWrite accepts any family name and then draws nothing for one that is not installed.
    EXPECT_EQ(lumvo::resolvedFontFamily("Lumvo Missing Family"), L"Georgia");
    EXPECT_EQ(lumvo::resolvedFontFamily(""), L"Segoe UI");
    EXPECT_EQ(lumvo::resolvedFontFamily("Candara"), L"Candara") << "an installed family is kept";
    auto drawn = [](const std::string& text, const std::string& family) {
        lumvo::CardSurface surface;
        lumvo::TextStyle style;
        style.size = 24;
        style.fontFamily = family;
        surface.paint(200, 40, [&](lumvo::Canvas& canvas) { canvas.drawText(text, {0, 0, 200, 40}, style); });
        return pixelsOf(surface);
    };
    const std::vector<std::uint32_t> missing = drawn("Happy birthday", "Lumvo Missing Family");
    EXPECT_GT(litPixels(missing, 200, 0, 0, 200, 40), 100);
    EXPECT_EQ(missing, drawn("Happy birthday", "Georgia"));

    // An emoji the card's font lacks comes from the emoji family, not as the font's empty box.
    const std::string fire = "\xF0\x9F\x94\xA5";
    EXPECT_EQ(drawn(fire, "Segoe UI"), drawn(fire, "Segoe UI Emoji"));

    // The flame layer's sprite: one emoji in 80 x 80 that passes the flame layer's check (under
    // Wine in one colour: the test prefix's emoji family is Symbola).
    lumvo::CardSurface surface;
    surface.paint(1, 1, [&](lumvo::Canvas& canvas) {
        const auto emoji = canvas.renderEmoji(fire);
        ASSERT_NE(emoji, nullptr);
        EXPECT_EQ(emoji->width(), 80);
        EXPECT_EQ(emoji->height(), 80);
        EXPECT_TRUE(lumvo::emojiSpriteDrawn(*emoji));
        EXPECT_EQ(emoji->alphaAt(0, 0), 0);  // centred: the corner is clear
    });
    lumvo::releaseTextEngine();
}

}  // namespace

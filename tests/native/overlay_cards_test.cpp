// The cards on a recording canvas with fixed text metrics: accents and text fitting, the chat feed's
// column, slot and photos, and the QR card's layouts, code and caption.
#include <gtest/gtest.h>

#include <utility>

#include "overlay/feed.h"
#include "overlay/qr_card.h"
#include "overlay/toolkit.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using test::rectText;
using test::sameRect;
using Op = RecordingCanvas::Op;

constexpr Argb kPalette[4] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004};

FeedItem post(std::string id, std::string type = "shoutout", std::string text = "", std::string photo = "") {
    FeedItem p;
    p.id = std::move(id), p.type = std::move(type), p.text = std::move(text), p.photo = std::move(photo);
    return p;
}

// Inside `outer` (within a hundredth of a pixel).
bool inside(const RectF& r, const RectF& outer) {
    return r.x >= outer.x - 0.01f && r.y >= outer.y - 0.01f && r.right() <= outer.right() + 0.01f &&
           r.bottom() <= outer.bottom() + 0.01f;
}

TEST(Toolkit, AccentPrecedenceAndTextFitting) {
    // Tips and votes keep theirs, venue posts the palette's; a whole #RRGGBB wins, else the type's.
    const std::tuple<const char*, const char*, Argb> accents[] = {
        {"tip", "#123456", kTipAccent},      {"vote", "#123456", kVoteAccent},   {"venue", "#123456", kPalette[3]},
        {"shoutout", "#12AB9F", 0xFF12AB9F}, {"photo", "#12ab9f", 0xFF12AB9F},   {"request", "#12ab9Z", kPalette[1]},
        {"photo", "#12AB9", kPalette[2]},    {"photo", "#12AB9F0", kPalette[2]}, {"anything", "012AB9F", kPalette[0]},
    };
    for (const auto& [type, colour, expected] : accents) {
        FeedItem p = post("p", type);
        p.color = colour;
        EXPECT_EQ(postAccent(p, kPalette), expected) << type << " " << colour;
    }
    // "abcd" on one line is 2 x size wide: it fits 40 (+0.75) pixels up to size 20.375.
    RecordingCanvas canvas;
    TextStyle style;
    const float fitted = fitTextSize(canvas, "abcd", {40, 100}, style, 6, 30);
    EXPECT_TRUE(fitted <= 20.375f && fitted > 20.375f - 26.0f / 256) << fitted;
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "", {40, 100}, style, 2, 30), 2) << "an empty text keeps the minimum";
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "abcdefghij", {10, 100}, style, 2, 30), 4) << "nothing fits: the floor of 4";
}

TEST(Feed, TheColumnFillsFromTheBottomNewestFirstAndStopsAtTheTop) {
    FrameState state;
    for (int i = 0; i < 8; ++i) state.feed.push_back(post("p" + std::to_string(i)));
    state.feed.back().hot = true;
    RecordingCanvas canvas;
    const FeedPaint paint = paintFeed(canvas, state, 332, 400, nullptr);
    ASSERT_EQ(paint.records.size(), 5u) << "as many as fit (56 high, the hot one 64, 8 apart)";
    for (std::size_t i = 0; i < paint.records.size(); ++i) {
        const RectF& r = paint.records[i].rect;
        EXPECT_EQ(paint.records[i].id, "p" + std::to_string(7 - i));
        EXPECT_TRUE(inside(r, {12, 12, 308, 376})) << rectText(r);
        EXPECT_TRUE(i == 0 || r.bottom() < paint.records[i - 1].rect.y) << i;
    }
    EXPECT_GT(paint.records[0].rect.bottom(), 370) << "the newest sits at the bottom";
    ASSERT_EQ(paint.hotRects.size(), 1u);
    EXPECT_TRUE(sameRect(paint.hotRects[0], inset(paint.records[0].rect, 6))) << "the flames burn on the hot post";
    EXPECT_EQ(canvas.of(Op::fillRounded).size(), 5u) << "one bubble per shown post";

    // An empty feed paints nothing, but in edit mode its box.
    state.feed.clear();
    RecordingCanvas empty;
    paintFeed(empty, state, 332, 400, nullptr);
    EXPECT_TRUE(empty.calls.empty());
    state.editMode = true;
    paintFeed(empty, state, 332, 400, nullptr);
    EXPECT_FALSE(empty.calls.empty());
}

TEST(Feed, TheFeaturedPostFlyingBackGetsAnEmptySlotAtTheBottom) {
    // Duration 7: the flight back is the last 0.95 s.
    const std::tuple<const char*, double, bool, bool, const char*, bool> cases[] = {
        {"flying back", 6.5, false, false, "f1", true},
        {"still on show", 6.0, false, false, "f1", false},
        {"in the feed", 6.5, true, false, "f1", false},
        {"edit mode", 6.5, false, true, "f1", false},
        {"nothing featured", 6.5, false, false, "", false}};
    for (const auto& [why, elapsed, inFeed, edit, featured, reserved] : cases) {
        FrameState state;
        state.featuredId = featured, state.duration = 7, state.heroElapsed = elapsed, state.editMode = edit;
        state.feed = {post("p1"), post(inFeed ? "f1" : "p2")};
        RecordingCanvas canvas;
        const FeedPaint paint = paintFeed(canvas, state, 332, 400, nullptr);
        ASSERT_EQ(paint.records.size(), reserved ? 3u : 2u) << why;
        EXPECT_EQ(paint.records[0].drawn, !reserved) << why;
        // Neither the kept slot nor the featured post's own line (while the card is out) is painted.
        EXPECT_EQ(canvas.of(Op::fillRounded).size(), inFeed && !edit ? 1u : 2u) << why;
        EXPECT_TRUE(!reserved || paint.records[0].id == "f1") << why << ": the slot is the bottom line";
    }
}

// That a chip never reaches past the bubble's right edge is the display fuzz target's property.
TEST(Feed, ReactionsParseHighestFirstLeavingOutBrokenItems) {
    std::vector<std::pair<std::string, int>> parsed;
    for (const Reaction& r : parseReactions("a:1,b,c:x,d:99999999999,e:3:4,f:-2,g:7z,h:0,i:5"))
        parsed.emplace_back(r.emoji, r.count);
    EXPECT_EQ(parsed, (std::vector<std::pair<std::string, int>>{{"i", 5}, {"e:3", 4}, {"a", 1}}));
}

TEST(Feed, ThePhotoIsASquareBesideTheTextAndEmphasisInsetsTheBubble) {
    FrameState state;
    const RectF r{16, 100, 300, 190};
    for (const bool held : {true, false}) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, post("a", "photo", "hello", "ph"), held ? test::fakePicture(640, 480) : nullptr, r,
                       state, true);
        const auto images = canvas.of(Op::image);
        const RectF text = canvas.textCall("hello")->rect;
        ASSERT_EQ(images.size(), held ? 1u : 0u) << "a photo not held (yet) is left out";
        if (held) {
            const RectF& photo = images[0].rect;
            EXPECT_TRUE(photo.w == photo.h && inside(photo, r) && photo.right() < text.x) << rectText(photo);
        } else {
            EXPECT_LT(text.x, r.x + 20) << "the text takes the photo's place";
        }
    }

    // Hot in the feed: a glow around the bubble inset by 6 (where the flames burn); the featured
    // card shows hot with flames instead.
    FeedItem hot = post("h", "shoutout", "hi");
    hot.hot = true;
    for (const bool isFeedItem : {true, false}) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, hot, nullptr, r, state, isFeedItem);
        EXPECT_TRUE(sameRect(canvas.of(Op::fillRounded).at(0).rect, inset(r, isFeedItem ? 6 : 0)));
        EXPECT_EQ(canvas.of(Op::strokeRounded).size() > 1, isFeedItem);
    }
}

TEST(QrCard, TheCodeBesideOrAboveTheTextAndTheCaptionClearOfLogoAndFooter) {
    for (const auto& [w, h, wide] : {std::tuple{500, 300, true}, {300, 400, false}, {255, 150, false}}) {
        const QrCardLayout l = qrCardLayout(w, h);
        const RectF card{0, 0, static_cast<float>(w), static_cast<float>(h)};
        EXPECT_EQ(l.wide, wide) << w << "x" << h << " (under 240 inside is too narrow to be wide)";
        EXPECT_TRUE(l.code.w == l.code.h && inside(l.code, card) && inside(l.text, card) &&
                    (wide ? l.code.right() <= l.text.x : l.code.bottom() <= l.text.y))
            << rectText(l.code) << rectText(l.text);
    }

    RecordingCanvas canvas;
    canvas.files = {{"brand.png", {200, 50}}, {"wordmark.png", {300, 60}}};
    EXPECT_EQ(loadQrLogo(canvas, "missing.png", "wordmark.png")->width(), 300);
    const auto logo = loadQrLogo(canvas, "brand.png", "wordmark.png");
    FrameState state;
    state.joinUrl = "http://192.168.1.50:8787";
    state.brandText = "example.com";
    CaptionState caption;
    stepCaption(caption, state, 2.0);
    paintQrCard(canvas, state, caption, 500, 300, logo.get());
    // In the wide text column: the logo at its top, the footer at its bottom, the caption between.
    const RectF column = qrCardLayout(500, 300).text;
    const RectF logoRect = canvas.of(Op::image).at(0).rect;
    const auto* footer = canvas.textCall("example.com");
    const auto* title = canvas.textCall(caption.title);
    const auto* subline = canvas.textCall(caption.subline);
    ASSERT_TRUE(footer && title && subline);
    EXPECT_TRUE(inside(logoRect, column) && std::abs(logoRect.y - column.y) < 0.01f) << rectText(logoRect);
    EXPECT_NEAR(footer->rect.bottom(), column.bottom(), 0.01) << rectText(footer->rect);
    EXPECT_GE(title->rect.y, logoRect.bottom());
    EXPECT_LT(subline->rect.bottom(), footer->rect.y);
    EXPECT_LE(footer->style.size, std::max(0.5f * title->style.size, 7.0f))
        << "the footer never outgrows half the caption";

    state.brandText.clear();  // without a brand label the caption reaches the bottom of the column
    RecordingCanvas plain;
    paintQrCard(plain, state, caption, 500, 300, logo.get());
    EXPECT_NEAR(plain.textCall(caption.subline)->rect.bottom(), column.bottom(), 0.01);
}

// That the code reads back as the join address is the windows layer's frame test (a real decoder
// on a whole frame); here, when it is drawn at all.
TEST(QrCode, ModulesOnAWhiteSquareOrNothingWhenItCannotBeDrawn) {
    RecordingCanvas canvas;
    const RectF square{10, 20, 100, 100};
    ASSERT_TRUE(drawQrCode(canvas, square, "http://192.168.1.50:8787"));
    EXPECT_TRUE(sameRect(canvas.calls.at(0).rect, square) && canvas.calls[0].colour == 0xFFFFFFFFu);
    for (std::size_t i = 1; i < canvas.calls.size(); ++i) EXPECT_TRUE(inside(canvas.calls[i].rect, square)) << i;

    RecordingCanvas none;
    EXPECT_FALSE(drawQrCode(none, square, std::string(3000, 'a'))) << "beyond any QR code";
    EXPECT_FALSE(drawQrCode(none, {0, 0, 7, 7}, "hello"));
    EXPECT_TRUE(none.calls.empty()) << "no white square either: the panel shows through";
}

TEST(Caption, CyclesTheOfferedRowsOnly) {
    auto rows = [](FrameState s) {
        std::vector<int> out;
        CaptionState c;
        for (int k = 0; k < 8; ++k) {
            stepCaption(c, s, k * kCaptionSeconds + 2.0);
            out.push_back(c.row);
        }
        return out;
    };
    FrameState all, none, tips, photos;
    all.tipEnabled = true;
    none.allowMessages = none.allowRequests = none.allowPhotos = false;
    tips = photos = none;
    tips.tipEnabled = true;
    photos.allowPhotos = true;
    EXPECT_EQ(rows(none), (std::vector<int>{0, 4, 6, 0, 4, 6, 0, 4}));
    EXPECT_EQ(rows(tips), (std::vector<int>{0, 4, 5, 6, 0, 4, 5, 6}));
    EXPECT_EQ(rows(photos), (std::vector<int>{0, 3, 4, 6, 0, 3, 4, 6}));
    EXPECT_EQ(rows(all), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0}));

    CaptionState c;
    stepCaption(c, all, 4 * kCaptionSeconds + 2.0);
    stepCaption(c, all, -3);
    EXPECT_EQ(std::make_pair(c.row, c.alpha), std::make_pair(0, 0.0f)) << "time before the start counts as 0";
}

}  // namespace
}  // namespace lumvo

// The cards' geometry on a recording canvas with fixed text metrics: the toolkit's rules, the chat
// feed's column, slot, photos and chips, and the QR card's layouts, code and caption.
#include <gtest/gtest.h>

#include <set>
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

TEST(Toolkit, AccentPrecedenceAndTheRoundedRule) {
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
    const std::tuple<float, float, float, float> radii[] = {{10, 100, 22, 4.5f}, {200, 100, 22, 22}, {6, 6, 22, 4}};
    for (const auto& [w, h, asked, used] : radii)
        EXPECT_FLOAT_EQ(roundedRect({0, 0, w, h}, asked).radius, used) << w << "x" << h;
}

TEST(Toolkit, ThemeFramesAndTextFitting) {
    // Per theme on a feed bubble: outlines, bracket lines, the accent bar (clipped), the diamond.
    const std::tuple<const char*, std::size_t, std::size_t, float, std::size_t> frames[] = {{"club", 0, 0, 5, 0},
                                                                                            {"wedding", 2, 0, 0, 0},
                                                                                            {"event", 0, 8, 0, 0},
                                                                                            {"lounge", 1, 0, 4, 0},
                                                                                            {"garden", 1, 0, 0, 1}};
    for (const auto& [theme, strokes, lines, bar, diamonds] : frames) {
        RecordingCanvas canvas;
        drawThemeFrame(canvas, {10, 20, 200, 80}, themeFor(theme), kPalette[0], true, false);
        EXPECT_EQ(canvas.of(Op::strokeRounded).size(), strokes) << theme;
        EXPECT_EQ(canvas.of(Op::line).size(), lines) << theme;
        EXPECT_EQ(canvas.of(Op::polygon).size(), diamonds) << theme;
        const auto fills = canvas.of(Op::fillRect);
        ASSERT_EQ(fills.size(), bar > 0 ? 1u : 0u) << theme;
        if (bar > 0) {
            EXPECT_TRUE(sameRect(fills[0].rect, {10, 26, bar, 68}) && fills[0].clipDepth == 1)
                << rectText(fills[0].rect);
        }
    }
    // "abcd" on one line is 2 x size wide: it fits 40 (+0.75) pixels up to size 20.375.
    RecordingCanvas canvas;
    TextStyle style;
    const float fitted = fitTextSize(canvas, "abcd", {40, 100}, style, 6, 30);
    EXPECT_TRUE(fitted <= 20.375f && fitted > 20.375f - 26.0f / 256) << fitted;
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "", {40, 100}, style, 2, 30), 2) << "an empty text keeps the minimum";
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "abcdefghij", {10, 100}, style, 2, 30), 4) << "nothing fits: the floor of 4";
}

TEST(Feed, ItemHeightsByKindCappedByTheColumnWidth) {
    // The floors of plain (56) and hot (64) posts are the column test's heights.
    FeedItem hot = post("h", "shoutout", std::string(40, 'x'));
    hot.hot = true;
    const std::tuple<FeedItem, float, float> cases[] = {
        {post("a", "shoutout", std::string(20, 'x')), 1000, 57},       // 48 + 0.45 x 20
        {post("a", "shoutout", std::string(400, 'x')), 1000, 138},     // text adds at most 90
        {post("a", "shoutout", std::string(400, 'x')), 300, 66},       // 0.22 of the width
        {post("a", "photo", "", "ph"), 1000, 72},                      // a photo: at least 72
        {post("a", "venue", std::string(100, 'x'), "ph"), 1000, 115},  // a photo's rule comes first
        {post("a", "venue", std::string(100, 'x')), 300, 78},          // 0.26 of the width
        {hot, 1000, 76},                                               // hot is sized as a venue post
    };
    for (const auto& [item, width, height] : cases)
        EXPECT_FLOAT_EQ(feedItemHeight(item, width), height) << item.type << " " << item.text.size() << " at " << width;
}

TEST(Feed, TheColumnFillsFromTheBottomAndStopsAtTheTop) {
    FrameState state;
    for (int i = 0; i < 8; ++i) state.feed.push_back(post("p" + std::to_string(i)));
    state.feed.back().hot = true;  // 64 high; the others 56
    RecordingCanvas canvas;
    const FeedPaint paint = paintFeed(canvas, state, 332, 400, nullptr);
    // From y = 386 up, 8 apart, until a top would come above 12.
    const std::pair<const char*, float> expected[] = {{"p7", 322}, {"p6", 258}, {"p5", 194}, {"p4", 130}, {"p3", 66}};
    ASSERT_EQ(paint.records.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(paint.records[i].id, expected[i].first);
        EXPECT_TRUE(sameRect(paint.records[i].rect, {16, expected[i].second, 300, i == 0 ? 64.0f : 56.0f}))
            << rectText(paint.records[i].rect);
    }
    ASSERT_EQ(paint.hotRects.size(), 1u);
    EXPECT_TRUE(sameRect(paint.hotRects[0], {22, 328, 288, 52}));
    EXPECT_EQ(canvas.of(Op::fillRounded).size(), 5u) << "one bubble per shown post";

    // An empty feed paints nothing; in edit mode the box outline and the resize handle.
    state.feed.clear();
    RecordingCanvas empty;
    paintFeed(empty, state, 332, 400, nullptr);
    EXPECT_TRUE(empty.calls.empty());
    state.editMode = true;
    paintFeed(empty, state, 332, 400, nullptr);
    ASSERT_EQ(empty.calls.size(), 4u);
    // Square side 0.14 x 320 = 44.8 in the bottom-right corner of the (6, 6, 320, 388) box.
    EXPECT_TRUE(sameRect(empty.calls[3].rect, {281.2f, 349.2f, 44.8f, 44.8f})) << rectText(empty.calls[3].rect);
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
        if (!reserved) continue;
        EXPECT_EQ(paint.records[0].id, "f1");
        EXPECT_TRUE(sameRect(paint.records[0].rect, {16, 330, 300, 56}));
        EXPECT_FLOAT_EQ(paint.records[1].rect.bottom(), 322) << "the newest post sits above the slot";
    }
}

// The featured card's chips follow the same rule at card scale.
TEST(Feed, ReactionsParseHighestFirstAndChipsOverlapAlongTheBubble) {
    auto parsed = [](std::string_view text) {
        std::vector<std::pair<std::string, int>> out;
        for (const Reaction& r : parseReactions(text)) out.emplace_back(r.emoji, r.count);
        return out;
    };
    using List = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(parsed("🔥:2,👍:0,❤️:5"), (List{{"❤️", 5}, {"🔥", 2}}));
    EXPECT_EQ(parsed("a:1,b,c:x,d:99999999999,e:3:4,f:-2,g:7z"), (List{{"e:3", 4}, {"a", 1}}));

    // Labels of 4, 5, 4, 4 bytes at size 11 make chips 36, 41.5, 36, 36 wide, each 5 over the
    // last; the fourth would end at 227.5, past the bubble's right edge less 8 (220).
    const std::vector<Reaction> four = {{"ab", 5}, {"cd", 12}, {"ef", 7}, {"gh", 3}};
    RecordingCanvas feed;
    drawReactionChips(feed, four, {100, 50, 128, 60}, true);
    const auto pills = feed.of(Op::fillRounded);
    const RectF expected[] = {{93, 97, 36, 20}, {124, 97, 41.5f, 20}, {160.5f, 97, 36, 20}};
    ASSERT_EQ(pills.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(sameRect(pills[i].rect, expected[i]) && pills[i].radius == 10) << rectText(pills[i].rect);
    EXPECT_EQ(feed.textCall("cd 12")->rect.x, 124);
}

TEST(Feed, ThePhotoIsASquareBesideTheTextAndEmphasisInsetsTheBubble) {
    FrameState state;  // club: the content box of a 300 x 190 feed bubble at (16, 100) is (33, 110, 273, 170)
    const RectF r{16, 100, 300, 190};
    const std::string photo = test::fakeImageBytes(640, 480);
    const std::tuple<const char*, FeedItem, std::string, bool, RectF, float> cases[] = {
        {"alone: the content height", post("a", "photo", "", "ph"), photo, true, {33, 110, 170, 170}, 0},
        {"text: 0.38 wide", post("a", "photo", "hello", "ph"), photo, true, {33, 143.13f, 103.74f, 103.74f}, 144.74f},
        {"bytes that do not decode", post("a", "photo", "hello", "ph"), "junk", true, {}, 33},
        {"featured: 0.46 wide", post("a", "photo", "", "ph"), photo, false, {33, 132.21f, 125.58f, 125.58f}, 0},
    };
    for (const auto& [why, item, bytes, isFeedItem, square, textLeft] : cases) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, item, bytes, r, state, isFeedItem);
        const auto images = canvas.of(Op::image);
        ASSERT_EQ(images.size(), square.w > 0 ? 1u : 0u) << why;
        if (square.w > 0) {
            EXPECT_TRUE(sameRect(images[0].rect, square)) << why << rectText(images[0].rect);
        }
        if (textLeft == 0) continue;
        const RectF text = canvas.textCall("hello")->rect;
        EXPECT_TRUE(std::abs(text.x - textLeft) < 0.01f && std::abs(text.right() - 306) < 0.01f)
            << why << rectText(text);
    }

    // Hot in the feed: a glow (4 rings and an outline) around the bubble inset by 6, on panelAlt;
    // chips hang off the inset bubble. The featured card shows hot with flames instead.
    FeedItem hot = post("h", "shoutout", "hi");
    hot.hot = true, hot.reactions = "x:1";
    for (const bool isFeedItem : {true, false}) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, hot, "", r, state, isFeedItem);
        const auto fills = canvas.of(Op::fillRounded);
        EXPECT_TRUE(sameRect(fills[0].rect, inset(r, isFeedItem ? 6 : 0))) << rectText(fills[0].rect);
        EXPECT_EQ(fills[0].colour, isFeedItem ? themeFor("").panelAlt : themeFor("").panel);
        EXPECT_EQ(canvas.of(Op::strokeRounded).size(), isFeedItem ? 6u : 1u);
        if (isFeedItem) {
            EXPECT_FLOAT_EQ(fills[1].rect.x, r.x + 6 - 7);
        }
    }
}

TEST(QrCard, WideAndTallLayoutsWithLogoFooterAndCaption) {
    const std::tuple<int, int, bool, RectF, RectF> layouts[] = {
        {500, 300, true, {20.78f, 24.16f, 251.68f, 251.68f}, {285.24f, 20.78f, 193.98f, 258.44f}},
        {300, 400, false, {43.975f, 20.78f, 212.05f, 212.05f}, {20.78f, 241.776f, 258.44f, 146.39f}},
        {255, 150, false, {}, {}},  // wide enough in proportion, but under 240 inside: tall
    };
    for (const auto& [w, h, wide, code, text] : layouts) {
        const QrCardLayout l = qrCardLayout(w, h);
        EXPECT_EQ(l.wide, wide) << w << "x" << h;
        if (code.w > 0) {
            EXPECT_TRUE(sameRect(l.code, code) && sameRect(l.text, text)) << rectText(l.code) << rectText(l.text);
        }
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
    // In the wide text column: the logo 42 high and 168 wide, centred at its top; below it
    // (49.56 on) the caption, and the footer's 34.14 at the bottom.
    EXPECT_TRUE(sameRect(canvas.of(Op::image).at(0).rect, {298.23f, 20.78f, 168, 42}));
    const auto* footer = canvas.textCall("example.com");
    const auto* title = canvas.textCall(caption.title);
    const auto* subline = canvas.textCall(caption.subline);
    ASSERT_TRUE(footer && title && subline);
    EXPECT_TRUE(sameRect(footer->rect, {285.24f, 245.08f, 193.98f, 34.14f})) << rectText(footer->rect);
    EXPECT_GE(title->rect.y, 70.34f);
    EXPECT_NEAR(subline->rect.bottom(), 70.34f + 169.62f, 0.01) << "a gap of 0.15 of the footer above it";
    EXPECT_LE(footer->style.size, std::max(0.5f * title->style.size, 7.0f))
        << "the footer never outgrows half the caption";

    state.brandText.clear();  // without a brand label the caption reaches the bottom of the column
    RecordingCanvas plain;
    paintQrCard(plain, state, caption, 500, 300, logo.get());
    EXPECT_NEAR(plain.textCall(caption.subline)->rect.bottom(), 20.78f + 258.44f, 0.01);
}

TEST(QrCode, ModulesFillTheSquareInsideAQuietZone) {
    // "http://192.168.1.50:8787" (24 bytes) is a version 2 code at level M: 25 modules a side.
    RecordingCanvas canvas;
    const RectF square{10, 20, 100, 100};
    ASSERT_TRUE(drawQrCode(canvas, square, "http://192.168.1.50:8787"));
    EXPECT_TRUE(sameRect(canvas.calls.at(0).rect, square) && canvas.calls[0].colour == 0xFFFFFFFFu);
    const float m = 7, u = 86.0f / 25;
    std::set<std::pair<int, int>> dark;
    for (std::size_t i = 1; i < canvas.calls.size(); ++i) {
        const RectF& r = canvas.calls[i].rect;
        const float col = (r.x - 10 - m) / u, row = (r.y - 20 - m) / u;
        ASSERT_TRUE(std::abs(col - std::round(col)) < 1e-3f && std::abs(row - std::round(row)) < 1e-3f) << rectText(r);
        ASSERT_TRUE(r.w == u + 0.5f && canvas.calls[i].colour == 0xFF0C0C10u);
        dark.emplace(static_cast<int>(std::lround(col)), static_cast<int>(std::lround(row)));
    }
    // The three finder patterns (a dark 7 x 7 ring, a light ring, a dark 3 x 3 centre) and the
    // timing pattern between two of them.
    for (const auto& [fx, fy] : {std::pair{0, 0}, std::pair{18, 0}, std::pair{0, 18}})
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(dark.count({fx + x, fy + y}) == 1, std::max(std::abs(x - 3), std::abs(y - 3)) != 2)
                    << fx + x << "," << fy + y;
    for (int x = 8; x <= 16; ++x) EXPECT_EQ(dark.count({x, 6}) == 1, x % 2 == 0) << "timing pattern at " << x;

    RecordingCanvas none;
    EXPECT_FALSE(drawQrCode(none, square, std::string(3000, 'a'))) << "beyond any QR code";
    EXPECT_FALSE(drawQrCode(none, {0, 0, 7, 7}, "hello"));
    EXPECT_TRUE(none.calls.empty()) << "no white square either: the panel shows through";
}

TEST(Caption, CyclesTheOfferedRowsWithFades) {
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

    // 0.7 s in, full until 5.0 s, 0.7 s out; the next one starts from nothing.
    CaptionState c;
    for (const auto& [s, alpha] :
         {std::pair{0.0, 0.0f}, {0.35, 0.5f}, {0.7, 1.0f}, {5.0, 1.0f}, {5.35, 0.5f}, {5.7, 0.0f}}) {
        stepCaption(c, all, 4 * kCaptionSeconds + s);
        EXPECT_NEAR(c.alpha, alpha, 1e-4) << s;
    }
    stepCaption(c, all, -3);
    EXPECT_EQ(std::make_pair(c.row, c.alpha), std::make_pair(0, 0.0f)) << "time before the start counts as 0";
    stepCaption(c, all, 4 * kCaptionSeconds + 0.35);
    EXPECT_EQ(std::make_tuple(c.alphaStep(), c.title, c.subline),
              std::make_tuple(8, std::string_view("VOTE IN LIVE POLLS"),
                              std::string_view("Tap from your phone. The room sees it")));
}

}  // namespace
}  // namespace lumvo

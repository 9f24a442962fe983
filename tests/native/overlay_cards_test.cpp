// The cards' geometry on a recording canvas with fixed text metrics: the toolkit's rules, the chat
// feed's column, slot, photos and chips, and the QR card's layouts, code, caption and footer.
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
    p.id = std::move(id);
    p.type = std::move(type);
    p.text = std::move(text);
    p.photo = std::move(photo);
    return p;
}

TEST(Toolkit, ThemeNamesAccentPrecedenceAndTheRoundedRule) {
    EXPECT_EQ(themeFor("GARDEN").id, 4);
    EXPECT_EQ(themeFor("club ").id, 0);
    EXPECT_EQ(themeFor("").id, 0);
    EXPECT_EQ(themeFor("Wedding").fontFamily, "Palatino Linotype");

    const std::tuple<const char*, const char*, Argb> accents[] = {
        {"tip", "#123456", kTipAccent},     {"vote", "#123456", kVoteAccent}, {"venue", "#123456", kPalette[3]},
        {"shoutout", "#12AB9F", 0xFF12AB9F}, {"photo", "#12ab9f", 0xFF12AB9F}, {"request", "#12ab9Z", kPalette[1]},
        {"photo", "#12AB9", kPalette[2]},    {"photo", "#12AB9F0", kPalette[2]}, {"shoutout", "012AB9F", kPalette[0]},
        {"request", "", kPalette[1]},       {"anything", "", kPalette[0]},
    };
    for (const auto& [type, colour, expected] : accents) {
        FeedItem p = post("p", type);
        p.color = colour;
        EXPECT_EQ(postAccent(p, kPalette), expected) << type << " " << colour;
    }

    const std::tuple<float, float, float, float> radii[] = {{10, 100, 22, 4.5f}, {200, 100, 22, 22}, {6, 6, 22, 4}, {100, 40, 30, 18}};
    for (const auto& [w, h, asked, used] : radii) EXPECT_FLOAT_EQ(roundedRect({0, 0, w, h}, asked).radius, used) << w << "x" << h;
}

TEST(Toolkit, ThemeFramesDrawEachStyleWithItsBarAndDiamond) {
    const RectF r{10, 20, 200, 80};
    struct Case {
        const char* theme;
        std::size_t strokes, lines;
        float bar;
        bool diamond;
    };
    const Case cases[] = {{"club", 0, 0, 5, false}, {"wedding", 2, 0, 0, false}, {"event", 0, 8, 0, false},
                          {"lounge", 1, 0, 4, false}, {"garden", 1, 0, 0, true}};
    for (const Case& c : cases) {
        RecordingCanvas canvas;
        drawThemeFrame(canvas, r, themeFor(c.theme), kPalette[0], true, false);
        EXPECT_EQ(canvas.of(Op::strokeRounded).size(), c.strokes) << c.theme;
        EXPECT_EQ(canvas.of(Op::line).size(), c.lines) << c.theme;
        const auto bars = canvas.of(Op::fillRect);
        ASSERT_EQ(bars.size(), c.bar > 0 ? 1u : 0u) << c.theme;
        if (c.bar > 0) {
            EXPECT_TRUE(sameRect(bars[0].rect, {10, 26, c.bar, 68})) << rectText(bars[0].rect);
            EXPECT_EQ(bars[0].clipDepth, 1) << "the bar is clipped to the bubble";
        }
        ASSERT_EQ(canvas.of(Op::polygon).size(), c.diamond ? 1u : 0u) << c.theme;
    }

    RecordingCanvas wedding;
    drawThemeFrame(wedding, r, themeFor("wedding"), kPalette[0], true, false);
    EXPECT_TRUE(sameRect(wedding.calls[1].rect, {14, 24, 192, 72}));
    EXPECT_FLOAT_EQ(wedding.calls[1].radius, 14);
    EXPECT_FLOAT_EQ(wedding.calls[1].width, 1.0f);

    RecordingCanvas garden;
    drawThemeFrame(garden, r, themeFor("garden"), kPalette[0], true, false);
    const auto diamond = garden.of(Op::polygon)[0].points;
    EXPECT_EQ((std::vector<float>{diamond[0].x, diamond[0].y, diamond[1].x, diamond[1].y}), (std::vector<float>{21, 52, 27, 60}));

    // A panel in the club theme is outlined in the accent, without a bar; an outline theme whose
    // line is transparent also falls back to the accent.
    RecordingCanvas panel;
    drawThemeFrame(panel, r, themeFor("club"), kPalette[0], false, true);
    ASSERT_EQ(panel.calls.size(), 1u);
    EXPECT_EQ(std::make_tuple(panel.calls[0].width, panel.calls[0].radius, panel.calls[0].colour),
              std::make_tuple(3.0f, 22.0f, kPalette[0]));
    Theme clear = themeFor("lounge");
    clear.line = 0x00C9A24A;
    RecordingCanvas outline;
    drawThemeFrame(outline, r, clear, kPalette[0], true, false);
    EXPECT_EQ(outline.calls[0].colour, kPalette[0]);
}

TEST(Toolkit, FitTextSizeBisectsToTheLargestFittingSize) {
    RecordingCanvas canvas;
    TextStyle style;
    // "abcd" on one line is 2 x size wide: it fits 40.75 pixels up to size 20.375.
    const float fitted = fitTextSize(canvas, "abcd", {40, 100}, style, 6, 30);
    EXPECT_LE(fitted, 20.375f);
    EXPECT_GT(fitted, 20.375f - 26.0f / 256);
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "", {40, 100}, style, 2, 30), 2) << "an empty text keeps the minimum";
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "abcdefghij", {10, 100}, style, 2, 30), 4) << "nothing fits: the floor of 4";
    EXPECT_FLOAT_EQ(fitTextSize(canvas, "abcd", {3, 100}, style, 6, 30), 6) << "a box below 4 wide";
}

TEST(Feed, ItemHeightsByKindCappedByTheColumnWidth) {
    FeedItem hot = post("h", "shoutout", std::string(40, 'x'));
    hot.hot = true;
    const std::tuple<FeedItem, float, float> cases[] = {
        {post("a", "shoutout", std::string(20, 'x')), 1000, 57},  // 48 + 0.45 x 20
        {post("a", "shoutout"), 1000, 56},                        // at least 56
        {post("a", "shoutout", std::string(400, 'x')), 1000, 138}, // text adds at most 90
        {post("a", "shoutout", std::string(400, 'x')), 300, 66},  // 0.22 of the width
        {post("a", "photo", "", "ph"), 1000, 72},                 // a photo: at least 72
        {post("a", "venue", std::string(100, 'x'), "ph"), 1000, 115},
        {post("a", "venue", std::string(100, 'x')), 1000, 103},
        {post("a", "venue", std::string(100, 'x')), 300, 78},
        {hot, 1000, 76},
    };
    for (const auto& [item, width, height] : cases)
        EXPECT_FLOAT_EQ(feedItemHeight(item, width), height) << item.type << " " << item.text.size() << " at " << width;
}

TEST(Feed, TheColumnFillsFromTheBottomAndStopsAtTheTop) {
    DisplayState state;
    for (int i = 0; i < 8; ++i) state.feed.push_back(post("p" + std::to_string(i)));
    state.feed.back().hot = true;  // 64 high; the others 56

    RecordingCanvas canvas;
    const FeedPaint paint = paintFeed(canvas, state, 332, 400, nullptr);
    // From y = 386 up, 8 apart, until a top would come above 12.
    const std::vector<std::pair<std::string, float>> expected = {{"p7", 322}, {"p6", 258}, {"p5", 194}, {"p4", 130}, {"p3", 66}};
    ASSERT_EQ(paint.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(paint.records[i].id, expected[i].first);
        EXPECT_TRUE(paint.records[i].drawn);
        EXPECT_TRUE(sameRect(paint.records[i].rect, {16, expected[i].second, 300, i == 0 ? 64.0f : 56.0f}))
            << rectText(paint.records[i].rect);
    }
    ASSERT_EQ(paint.hotRects.size(), 1u);
    EXPECT_TRUE(sameRect(paint.hotRects[0], {22, 328, 288, 52}));
    EXPECT_EQ(canvas.of(Op::fillRounded).size(), 5u) << "one bubble per shown post";

    // An empty feed paints nothing; in edit mode only the box outline and the resize handle.
    state.feed.clear();
    RecordingCanvas empty;
    EXPECT_TRUE(paintFeed(empty, state, 332, 400, nullptr).records.empty());
    EXPECT_TRUE(empty.calls.empty());
    state.editMode = true;
    RecordingCanvas edit;
    paintFeed(edit, state, 332, 400, nullptr);
    ASSERT_EQ(edit.calls.size(), 4u);
    EXPECT_EQ(std::make_tuple(edit.calls[0].radius, edit.calls[0].width, edit.calls[0].colour),
              std::make_tuple(18.0f, 2.0f, Argb{0x5AFF7A18}));
    // The handle on the 320 x 388 box: square side 0.14 x 320 = 44.8, bars 0.28 x 44.8 wide.
    EXPECT_TRUE(sameRect(edit.calls[1].rect, {313.456f, 6, 12.544f, 388})) << rectText(edit.calls[1].rect);
    EXPECT_TRUE(sameRect(edit.calls[2].rect, {6, 381.456f, 320, 12.544f})) << rectText(edit.calls[2].rect);
    EXPECT_TRUE(sameRect(edit.calls[3].rect, {281.2f, 349.2f, 44.8f, 44.8f})) << rectText(edit.calls[3].rect);
}

TEST(Feed, TheFeaturedPostFlyingBackGetsAnEmptySlotAtTheBottom) {
    struct Case {
        const char* why;
        double elapsed;
        bool inFeed, edit;
        const char* featured;
        bool reserved;
    };
    // Duration 7: the flight back is the last 0.95 s.
    const Case cases[] = {{"flying back", 6.5, false, false, "f1", true},  {"still on show", 6.0, false, false, "f1", false},
                          {"already in the feed", 6.5, true, false, "f1", false}, {"edit mode", 6.5, false, true, "f1", false},
                          {"nothing featured", 6.5, false, false, "", false}};
    for (const Case& c : cases) {
        DisplayState state;
        state.featuredId = c.featured;
        state.duration = 7;
        state.heroElapsed = c.elapsed;
        state.editMode = c.edit;
        state.feed = {post("p1"), post(c.inFeed ? "f1" : "p2")};
        RecordingCanvas canvas;
        const FeedPaint paint = paintFeed(canvas, state, 332, 400, nullptr);
        ASSERT_EQ(paint.records.size(), c.reserved ? 3u : 2u) << c.why;
        EXPECT_EQ(paint.records[0].drawn, !c.reserved) << c.why;
        if (c.reserved) {
            EXPECT_EQ(paint.records[0].id, "f1");
            EXPECT_TRUE(sameRect(paint.records[0].rect, {16, 330, 300, 56}));
            EXPECT_FLOAT_EQ(paint.records[1].rect.bottom(), 322) << "the newest post sits above the slot";
        }
        EXPECT_EQ(canvas.of(Op::fillRounded).size(), 2u) << c.why << ": the slot itself is not painted";
    }
}

TEST(Feed, ReactionsParseHighestFirstAndChipsOverlapAlongTheBubble) {
    auto parsed = [](std::string_view text) {
        std::vector<std::pair<std::string, int>> out;
        for (const Reaction& r : parseReactions(text)) out.emplace_back(r.emoji, r.count);
        return out;
    };
    using List = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(parsed("🔥:2,👍:0,❤️:5"), (List{{"❤️", 5}, {"🔥", 2}}));
    EXPECT_EQ(parsed("a:1,b,c:x,d:99999999999,e:3:4,f:-2,g:7z"), (List{{"e:3", 4}, {"a", 1}}));
    EXPECT_TRUE(parsed("").empty());

    // Labels of 4, 5, 4, 4 bytes at size 11: chips 36, 41.5, 36, 36 wide, each 5 over the last;
    // the fourth would end past the bubble's right edge less 8.
    const std::vector<Reaction> four = {{"ab", 5}, {"cd", 12}, {"ef", 7}, {"gh", 3}};
    const RectF bubble{100, 50, 120, 60};
    RecordingCanvas feed;
    drawReactionChips(feed, four, bubble, true);
    const auto pills = feed.of(Op::fillRounded);
    ASSERT_EQ(pills.size(), 3u);
    const RectF expected[] = {{93, 97, 36, 20}, {124, 97, 41.5f, 20}, {160.5f, 97, 36, 20}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(sameRect(pills[i].rect, expected[i])) << rectText(pills[i].rect);
        EXPECT_FLOAT_EQ(pills[i].radius, 10);
    }
    EXPECT_EQ(feed.textCall("cd 12")->style.size, 11);
    EXPECT_EQ(feed.of(Op::strokeRounded)[0].width, 1.4f);

    RecordingCanvas featured;
    drawReactionChips(featured, four, {10, 10, 400, 200}, false);
    const auto big = featured.of(Op::fillRounded);
    ASSERT_EQ(big.size(), 4u);
    EXPECT_TRUE(sameRect(big[0].rect, {8, 186, 52, 28})) << rectText(big[0].rect);
    EXPECT_FLOAT_EQ(big[1].rect.x, 8 + 52 - 7);
}

TEST(Feed, ThePhotoIsASquareBesideTheTextAndEmphasisInsetsTheBubble) {
    DisplayState state;  // club: content box of a 300 x 190 feed bubble at (16, 100) is (33, 110, 273, 170)
    const RectF r{16, 100, 300, 190};
    const std::string photo = test::fakeImageBytes(640, 480);
    struct Case {
        const char* why;
        FeedItem item;
        std::string bytes;
        bool isFeedItem;
        RectF square;  // w 0: no photo drawn
        float textLeft;
    };
    const Case cases[] = {
        {"photo alone: the content height", post("a", "photo", "", "ph"), photo, true, {33, 110, 170, 170}, 0},
        {"with text: 0.38 of the width", post("a", "photo", "hello", "ph"), photo, true, {33, 143.13f, 103.74f, 103.74f}, 144.74f},
        {"bytes that do not decode", post("a", "photo", "hello", "ph"), "junk", true, {}, 33},
        {"featured: 0.46 of the width", post("a", "photo", "", "ph"), photo, false, {33, 132.21f, 125.58f, 125.58f}, 0},
    };
    for (const Case& c : cases) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, c.item, c.bytes, r, state, c.isFeedItem);
        const auto images = canvas.of(Op::image);
        ASSERT_EQ(images.size(), c.square.w > 0 ? 1u : 0u) << c.why;
        if (c.square.w > 0) EXPECT_TRUE(sameRect(images[0].rect, c.square)) << c.why << rectText(images[0].rect);
        if (c.textLeft > 0) {
            const auto* text = canvas.textCall("hello");
            ASSERT_NE(text, nullptr) << c.why;
            EXPECT_NEAR(text->rect.x, c.textLeft, 0.01) << c.why;
            EXPECT_NEAR(text->rect.right(), 306, 0.01) << c.why << ": the text ends a pad inside the bubble";
        }
    }

    // A hot feed post and a venue featured post glow around a bubble inset by 6 (feed) or 10.
    FeedItem hot = post("h", "shoutout", "hi");
    hot.hot = true;
    hot.reactions = "x:1";
    // Strokes: the glow's rings and its outline, and one per reaction chip.
    const std::tuple<FeedItem, bool, float, std::size_t, Argb> emphasis[] = {
        {hot, true, 6, 4 + 1 + 1, themeFor("club").panelAlt},
        {hot, false, 0, 1, themeFor("club").panel},  // the featured card shows hot with flames instead
        {post("v", "venue", "hi"), false, 10, 6 + 1, themeFor("club").panelAlt},
    };
    for (const auto& [item, isFeedItem, by, glowStrokes, fill] : emphasis) {
        RecordingCanvas canvas;
        drawPostBubble(canvas, item, "", r, state, isFeedItem);
        const auto body = canvas.of(Op::fillRounded)[0];
        EXPECT_TRUE(sameRect(body.rect, inset(r, by))) << item.id << isFeedItem << rectText(body.rect);
        EXPECT_EQ(body.colour, fill);
        EXPECT_EQ(canvas.of(Op::strokeRounded).size(), glowStrokes);
        if (!item.reactions.empty() && isFeedItem)
            EXPECT_FLOAT_EQ(canvas.of(Op::fillRounded)[1].rect.x, r.x + by - 7) << "chips hang off the inset bubble";
    }
}

TEST(QrCard, WideAndTallLayouts) {
    struct Case {
        int w, h;
        bool wide;
        RectF code, text;
    };
    const Case cases[] = {
        {500, 300, true, {20.78f, 24.16f, 251.68f, 251.68f}, {285.24f, 20.78f, 193.98f, 258.44f}},
        {300, 400, false, {43.975f, 20.78f, 212.05f, 212.05f}, {20.78f, 241.776f, 258.44f, 146.39f}},
        {255, 150, false, {}, {}},  // wide enough in proportion, but under 240 inside: tall
    };
    for (const Case& c : cases) {
        const QrCardLayout l = qrCardLayout(c.w, c.h);
        EXPECT_EQ(l.wide, c.wide) << c.w << "x" << c.h;
        if (c.code.w == 0) continue;
        EXPECT_TRUE(sameRect(l.code, c.code)) << rectText(l.code);
        EXPECT_TRUE(sameRect(l.text, c.text)) << rectText(l.text);
    }
}

TEST(QrCard, LogoOnTopFooterAtTheBottomCaptionBetween) {
    RecordingCanvas canvas;
    canvas.files = {{"brand.png", {200, 50}}, {"wordmark.png", {300, 60}}};
    EXPECT_EQ(loadQrLogo(canvas, "brand.png", "wordmark.png")->width(), 200);
    EXPECT_EQ(loadQrLogo(canvas, "missing.png", "wordmark.png")->width(), 300);
    EXPECT_EQ(loadQrLogo(canvas, "", ""), nullptr);

    DisplayState state;
    state.joinUrl = "http://192.168.1.50:8787";
    state.brandText = "example.com";
    CaptionState caption;
    stepCaption(caption, state, 2.0);
    const auto logo = loadQrLogo(canvas, "brand.png", "");
    paintQrCard(canvas, state, caption, 500, 300, logo.get());

    // Text column (285.24, 20.78, 193.98, 258.44): the logo 42 high, 168 wide, centred at its top;
    // the column goes on 49.56 lower; the footer takes 34.14 of it at the bottom.
    const auto image = canvas.of(Op::image);
    ASSERT_EQ(image.size(), 1u);
    EXPECT_TRUE(sameRect(image[0].rect, {298.23f, 20.78f, 168, 42})) << rectText(image[0].rect);
    const auto* footer = canvas.textCall("example.com");
    ASSERT_NE(footer, nullptr);
    EXPECT_TRUE(sameRect(footer->rect, {285.24f, 245.08f, 193.98f, 34.14f})) << rectText(footer->rect);
    const auto* title = canvas.textCall(caption.title);
    const auto* subline = canvas.textCall(caption.subline);
    ASSERT_TRUE(title && subline);
    EXPECT_GE(title->rect.y, 70.34f);
    EXPECT_LE(subline->rect.bottom(), 70.34f + 169.62f + 0.01f);
    EXPECT_LE(footer->style.size, std::max(0.5f * title->style.size, 7.0f)) << "the footer never outgrows half the caption";
    EXPECT_EQ(footer->style.colour, state.palette[0]);

    // Without a brand label the caption reaches the bottom of the column.
    state.brandText.clear();
    RecordingCanvas plain;
    paintQrCard(plain, state, caption, 500, 300, logo.get());
    EXPECT_NEAR(plain.textCall(caption.subline)->rect.bottom(), 20.78f + 258.44f, 0.01);
}

TEST(QrCode, ModulesFillTheSquareInsideAQuietZone) {
    // "http://192.168.1.50:8787" (24 bytes) is a version 2 code at level M: 25 modules a side.
    RecordingCanvas canvas;
    const RectF square{10, 20, 100, 100};
    ASSERT_TRUE(drawQrCode(canvas, square, "http://192.168.1.50:8787"));
    ASSERT_GT(canvas.calls.size(), 1u);
    EXPECT_TRUE(sameRect(canvas.calls[0].rect, square));
    EXPECT_EQ(canvas.calls[0].colour, 0xFFFFFFFFu);
    const float m = 7, u = 86.0f / 25;
    std::set<std::pair<int, int>> dark;
    for (std::size_t i = 1; i < canvas.calls.size(); ++i) {
        const auto& c = canvas.calls[i];
        const float col = (c.rect.x - 10 - m) / u, row = (c.rect.y - 20 - m) / u;
        ASSERT_NEAR(col, std::round(col), 1e-3);
        ASSERT_NEAR(row, std::round(row), 1e-3);
        EXPECT_FLOAT_EQ(c.rect.w, u + 0.5f);
        EXPECT_EQ(c.colour, 0xFF0C0C10u);
        dark.emplace(static_cast<int>(std::lround(col)), static_cast<int>(std::lround(row)));
    }
    // The three finder patterns: a dark 7 x 7 ring, a light ring, a dark 3 x 3 centre.
    for (const auto [fx, fy] : {std::pair{0, 0}, std::pair{18, 0}, std::pair{0, 18}})
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 7; ++x) {
                const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                EXPECT_EQ(dark.count({fx + x, fy + y}) == 1, ring != 2) << fx + x << "," << fy + y;
            }
    for (int x = 8; x <= 16; ++x) EXPECT_EQ(dark.count({x, 6}) == 1, x % 2 == 0) << "timing pattern at " << x;
    EXPECT_LT(std::prev(dark.end())->first, 25);

    RecordingCanvas none;
    EXPECT_FALSE(drawQrCode(none, square, std::string(3000, 'a'))) << "beyond any QR code";
    EXPECT_FALSE(drawQrCode(none, square, ""));
    EXPECT_FALSE(drawQrCode(none, {0, 0, 7, 7}, "hello"));
    EXPECT_TRUE(none.calls.empty()) << "no white square either: the panel shows through";
}

TEST(Caption, CyclesTheOfferedRowsWithFades) {
    auto rows = [](DisplayState s) {
        std::vector<int> out;
        CaptionState c;
        for (int k = 0; k < 8; ++k) {
            stepCaption(c, s, k * kCaptionSeconds + 2.0);
            out.push_back(c.row);
        }
        return out;
    };
    DisplayState none;
    none.allowMessages = none.allowRequests = none.allowPhotos = false;
    EXPECT_EQ(rows(none), (std::vector<int>{0, 4, 6, 0, 4, 6, 0, 4}));
    DisplayState tips = none;
    tips.tipEnabled = true;
    EXPECT_EQ(rows(tips), (std::vector<int>{0, 4, 5, 6, 0, 4, 5, 6}));
    DisplayState all;
    all.tipEnabled = true;
    EXPECT_EQ(rows(all), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0}));
    DisplayState photos = none;
    photos.allowPhotos = true;
    EXPECT_EQ(rows(photos), (std::vector<int>{0, 3, 4, 6, 0, 3, 4, 6}));

    // 0.7 s in, full until 5.0 s, 0.7 s out; the next one starts from nothing.
    const std::pair<double, float> fades[] = {{0, 0}, {0.35, 0.5f}, {0.7, 1}, {3, 1}, {5.0, 1}, {5.35, 0.5f}, {5.7, 0}};
    CaptionState c;
    for (const auto& [s, alpha] : fades) {
        stepCaption(c, all, 4 * kCaptionSeconds + s);
        EXPECT_NEAR(c.alpha, alpha, 1e-4) << s;
    }
    stepCaption(c, all, -3);
    EXPECT_EQ(std::make_pair(c.row, c.alpha), std::make_pair(0, 0.0f)) << "time before the start counts as 0";
    stepCaption(c, all, 4 * kCaptionSeconds + 0.35);
    EXPECT_EQ(c.alphaStep(), 8);
    EXPECT_EQ(c.title, "VOTE IN LIVE POLLS");
    EXPECT_EQ(c.subline, "Tap from your phone. The room sees it");
}

}  // namespace
}  // namespace lumvo

// The frame driver and the compose step's decisions: draw-time fields, the featured clock, the
// animation step, layer rectangles and texture sizes, the featured card's motion, the layer order
// and the content keys.
#include <gtest/gtest.h>

#include "overlay/compose.h"
#include "overlay/frame_driver.h"
#include "support/recording_canvas.h"

namespace lumvo {

void PrintTo(const SizeI& s, std::ostream* out) { *out << s.w << "x" << s.h; }

namespace {

using test::rectText;
using test::sameRect;

FeedItem item(std::string id, std::string reactions = "") {
    FeedItem p;
    p.id = std::move(id);
    p.type = "shoutout";
    p.text = "hi";
    p.reactions = std::move(reactions);
    return p;
}

TEST(FrameDriver, DrawTimeFieldsComeFromTheSettings) {
    struct Tip {
        bool server;
        const char *link, *link2, *link3;
        bool enabled;
    };
    for (const Tip& t : {Tip{false, "", "", "", false}, Tip{false, "", "https://tip.example", "", true},
                         Tip{false, "", "", "x", true}, Tip{true, "", "", "", true}}) {
        WallSettings s;
        s.tipLink = t.link, s.tipLink2 = t.link2, s.tipLink3 = t.link3;
        DisplayState f;
        f.tipEnabled = t.server;
        fillDrawTimeFields(f, s, 0, L"");
        EXPECT_EQ(f.tipEnabled, t.enabled) << t.server << t.link << t.link2 << t.link3;
    }

    for (const int hotFx : {0, 1}) {
        WallSettings s;
        s.allowHotFx = hotFx;
        DisplayState f;
        f.hot = true;
        f.feed = {item("a"), item("b")};
        f.feed[1].hot = true;
        fillDrawTimeFields(f, s, 0, L"");
        EXPECT_EQ(f.hot, hotFx == 1);
        EXPECT_EQ(f.feed[1].hot, hotFx == 1);
    }

    WallSettings s;
    s.brandUrl = " www.Example.com/menu ";
    s.colorVenue = 0xFF123456;
    s.opacity = 0.6f;
    s.edit = 1;
    s.theme = "lounge";
    DisplayState f;
    fillDrawTimeFields(f, s, 0.25, L"C:\\logo.png");
    EXPECT_EQ(f.brandText, "Example.com");
    EXPECT_EQ(f.brandLogoPath, L"C:\\logo.png");
    EXPECT_EQ(f.palette[3], 0xFF123456u);
    EXPECT_EQ(std::make_tuple(f.opacity, f.editMode, f.theme), std::make_tuple(0.6f, true, std::string("lounge")));
    EXPECT_NEAR(f.pulse, 1.03f, 1e-6);
    s.brandUrl.clear();
    fillDrawTimeFields(f, s, 1.75, L"");
    EXPECT_EQ(f.brandText, "");
    EXPECT_NEAR(f.pulse, 0.97f, 1e-6);
    s.beat = 0;
    fillDrawTimeFields(f, s, 0.25, L"");
    EXPECT_EQ(f.pulse, 1.0f);

    FrameTimer timer;
    EXPECT_DOUBLE_EQ(timer.step(50.0), 1.0 / 60);
    EXPECT_NEAR(timer.step(50.02), 0.02, 1e-9);
    EXPECT_DOUBLE_EQ(timer.step(51.5), 0.05) << "a stalled frame";
    EXPECT_DOUBLE_EQ(timer.step(51.0), 0.001) << "a clock that went back";
}

TEST(FeaturedClock, HeldWhileFeaturedPlayedOutAfterThenCleared) {
    FeaturedClock clock;
    WallSettings settings;  // highlight length 7 s
    settings.allowHotFx = 0;
    auto frame = [&](const std::string& serverId, double now) {
        DisplayState f;
        f.feed = {item("p1", "🔥:3"), item("p9")};
        if (!serverId.empty()) f.featuredId = serverId, f.name = "Ana", f.text = "hello", f.color = "#112233", f.hot = true;
        prepareFrame(f, settings, clock, now, 0, L"");
        return f;
    };
    EXPECT_FLOAT_EQ(highlightDuration(1.0f), 60);

    DisplayState f = frame("p1", 100);
    EXPECT_EQ(std::make_tuple(f.featuredId, f.reactions, f.heroElapsed, f.duration),
              std::make_tuple(std::string("p1"), std::string("🔥:3"), 0.0, 7.0f))
        << "reactions come from the post's feed line when the featured fields have none";
    EXPECT_FALSE(f.hot) << "the hot switch holds for the remembered post too";
    f = frame("p1", 110);
    EXPECT_DOUBLE_EQ(f.heroElapsed, 6.95) << "held 0.05 s before the end while the server features it";
    EXPECT_TRUE(heroActive(f));
    f = frame("", 110.5);
    EXPECT_EQ(std::make_tuple(f.featuredId, f.name, f.color), std::make_tuple(std::string("p1"), std::string("Ana"), std::string("#112233")));
    EXPECT_FALSE(heroActive(f)) << "its time is up once the server lets go";
    EXPECT_EQ(frame("", 110.6).featuredId, "");

    // Withdrawn early: it plays out, flying back at the end, then goes.
    frame("p2", 200);
    f = frame("", 203);
    EXPECT_EQ(f.featuredId, "p2");
    EXPECT_DOUBLE_EQ(f.heroElapsed, 3);
    f = frame("", 206.5);
    EXPECT_TRUE(heroActive(f));
    EXPECT_TRUE(reservesFeaturedSlot(f));
    EXPECT_FALSE(heroActive(frame("", 207)));
    EXPECT_EQ(frame("", 207.1).featuredId, "");

    // A new post replaces the one on show at once.
    frame("p3", 300);
    f = frame("p4", 302);
    EXPECT_EQ(f.featuredId, "p4");
    EXPECT_DOUBLE_EQ(f.heroElapsed, 0);
}

TEST(Compose, LayerRectanglesTexturesAndCanvasAtThreeFrameSizes) {
    DisplayState s;  // chat and QR boxes as the defaults
    s.heroBox = {0.1f, 0.2f, 0.3f, 0.5f};
    struct Case {
        int W, H;
        RectF chat, qr, hero;
        SizeI chatTex, qrTex, heroTex, canvas;
    };
    const Case cases[] = {
        {3840, 2160, {2688, 172.8f, 1075.2f, 1814.4f}, {115.2f, 1339.2f, 1075.2f, 691.2f}, {384, 432, 1152, 1080},
         {1075, 1814}, {1075, 691}, {1152, 1080}, {1280, 720}},
        {640, 360, {448, 28.8f, 179.2f, 302.4f}, {19.2f, 223.2f, 179.2f, 115.2f}, {64, 72, 192, 180},
         {179, 302}, {179, 115}, {192, 180}, {640, 360}},
        {200, 100, {140, 8, 56, 84}, {6, 62, 56, 32}, {20, 20, 60, 50}, {64, 84}, {64, 64}, {80, 64}, {320, 180}},
    };
    for (const Case& c : cases) {
        const ComposeGeometry g = composeGeometry(c.W, c.H, s);
        EXPECT_TRUE(sameRect(g.chat, c.chat, 1e-3f)) << c.W << " chat " << rectText(g.chat);
        EXPECT_TRUE(sameRect(g.qr, c.qr, 1e-3f)) << c.W << " qr " << rectText(g.qr);
        EXPECT_TRUE(sameRect(g.hero, c.hero, 1e-3f)) << c.W << " hero " << rectText(g.hero);
        EXPECT_EQ(g.chatTexture, c.chatTex) << c.W;
        EXPECT_EQ(g.qrTexture, c.qrTex) << c.W;
        EXPECT_EQ(g.heroTexture, c.heroTex) << c.W;
        EXPECT_EQ(g.backdropCanvas, c.canvas) << c.W;
    }

    // The hero box shared with a poll: half for the card at full split, 14 between them.
    const RectF hero{100, 50, 400, 200};
    const HeroPlacement full = heroPlacement(hero, true, 1);
    EXPECT_TRUE(sameRect(full.featured, {100, 50, 200, 200}));
    EXPECT_TRUE(sameRect(full.poll, {314, 50, 186, 200}));
    EXPECT_EQ(full.pollTexture, (SizeI{186, 200}));
    const HeroPlacement opening = heroPlacement(hero, true, 0.02f);
    EXPECT_TRUE(sameRect(opening.featured, {100, 50, 8, 200})) << rectText(opening.featured);
    EXPECT_TRUE(sameRect(opening.poll, {104.28f, 50, 395.72f, 200})) << rectText(opening.poll);
    EXPECT_TRUE(sameRect(heroPlacement(hero, false, 1).featured, hero));
}

TEST(Compose, TheFeaturedCardLiftsOrPopsInStaysAndFliesBack) {
    DisplayState s;
    s.chatBox = {0.5f, 0, 0.5f, 1};
    s.heroBox = {0, 0, 0.4f, 0.4f};
    s.featuredId = "p1";
    s.duration = 7;  // in 0.55 s, out 0.95 s
    s.opacity = 0.8f;
    const ComposeGeometry g = composeGeometry(1000, 500, s);  // chat (500, 0, 500, 500) on a 500 x 500 texture
    const std::vector<FeedRecord> inFeed = {{"p1", {16, 300, 468, 56}, true}};
    const std::vector<FeedRecord> slot = {{"p1", {16, 300, 468, 56}, false}};
    const RectF hero{0, 0, 400, 200}, anchor{516, 300, 468, 56}, halfway{258, 150, 434, 128};
    struct Case {
        const char* why;
        double elapsed;
        const std::vector<FeedRecord>* records;
        bool edit, poll;
        RectF drawn;
        float alpha;
    };
    const std::vector<FeedRecord> none;
    const Case cases[] = {
        {"lift: starts on its feed line", 0, &inFeed, false, false, anchor, 0.35f * 0.8f},
        {"lift: halfway", 0.275, &inFeed, false, false, halfway, 0.5f * 0.8f},
        {"pop-in: grows from 0.78 in place", 0.275, &none, false, false, {22, 11, 356, 178}, 0.5f * 0.8f},
        {"pop-in: not from the reserved slot", 0.275, &slot, false, false, {22, 11, 356, 178}, 0.5f * 0.8f},
        {"stay", 3, &inFeed, false, false, hero, 0.8f},
        {"fly back: halfway to its slot", 7 - 0.475, &slot, false, false, halfway, 0.5f * 0.8f},
        {"fly back: no record, the feed's bottom strip", 7, &none, false, false, {510, 390, 480, 90}, 0.12f * 0.8f},
        {"edit mode: the box", 0.1, &inFeed, true, false, hero, 0.8f},
        {"beside a poll at split 0.5", 0.1, &inFeed, false, true, {0, 0, 100, 200}, 0.575f * 0.8f},
    };
    for (const Case& c : cases) {
        DisplayState f = s;
        f.heroElapsed = c.elapsed;
        f.editMode = c.edit;
        f.voteActive = c.poll;
        const CardMotion m = featuredMotion(f, g, heroPlacement(g.hero, pollShown(f), 0.5f), *c.records, 0.5f);
        EXPECT_TRUE(sameRect(m.drawn(), c.drawn, 0.01f)) << c.why << " " << rectText(m.drawn());
        EXPECT_NEAR(m.alpha, c.alpha, 1e-4) << c.why;
    }
}

TEST(Compose, LayersAreDrawnInOrderWhenTheirConditionsHold) {
    using L = std::vector<Layer>;
    auto layers = [](DisplayState f, LayerInputs in) {
        const ComposeGeometry g = composeGeometry(1920, 1080, f);
        const HeroPlacement p = heroPlacement(g.hero, pollShown(f), in.split);
        L out;
        for (const LayerDraw& d : layerOrder(f, g, p, featuredMotion(f, g, p, {}, in.split), in)) out.push_back(d.layer);
        return out;
    };
    DisplayState s;
    s.featuredId = "p1";
    s.duration = 7;
    s.heroElapsed = 3;
    s.joinUrl = "http://192.168.1.50:8787";
    s.voteActive = true;
    const LayerInputs all{true, true, true, 1};
    EXPECT_EQ(layers(s, all), (L{Layer::backdrop, Layer::qrCard, Layer::feed, Layer::feedFlames, Layer::featured, Layer::poll}));
    DisplayState hot = s;
    hot.hot = true;  // flames over the card, and no word backdrop behind a hot post
    EXPECT_EQ(layers(hot, all), (L{Layer::qrCard, Layer::feed, Layer::feedFlames, Layer::featured, Layer::featuredFlames, Layer::poll}));
    EXPECT_EQ(layers(s, {false, false, false, 0.03f}), (L{Layer::qrCard, Layer::feed, Layer::poll})) << "split not yet open";
    DisplayState plain = s;
    plain.joinUrl.clear();
    plain.featuredId.clear();
    plain.voteActive = false;
    EXPECT_EQ(layers(plain, all), (L{Layer::backdrop, Layer::feed, Layer::feedFlames}));
    plain.editMode = true;
    plain.voteActive = true;  // a poll is not shown in edit mode; the card's box is
    EXPECT_EQ(layers(plain, all), (L{Layer::backdrop, Layer::feed, Layer::feedFlames, Layer::featured}));

    const ComposeGeometry g = composeGeometry(1920, 1080, s);
    const HeroPlacement p = heroPlacement(g.hero, true, 1);
    const auto draws = layerOrder(s, g, p, featuredMotion(s, g, p, {}, 1), all);
    EXPECT_TRUE(sameRect(draws.front().rect, {0, 0, 1920, 1080}));
    EXPECT_TRUE(sameRect(draws.back().rect, p.poll));
}

TEST(ContentKeys, ChangeExactlyWithWhatTheCardShows) {
    DisplayState s;
    s.feed = {item("p1"), item("p2")};
    s.featuredId = "f";
    s.duration = 7;
    s.heroElapsed = 3;
    s.joinUrl = "http://192.168.1.50:8787";
    const SizeI tex{300, 600};
    const std::string feed = feedKey(s, tex, 4);
    using Edit = void (*)(DisplayState&);
    const std::pair<const char*, Edit> changes[] = {
        {"text", [](DisplayState& f) { f.feed[1].text = "hj"; }},
        {"hot", [](DisplayState& f) { f.feed[0].hot = true; }},
        {"theme", [](DisplayState& f) { f.theme = "garden"; }},
        {"palette", [](DisplayState& f) { f.palette[2] = 1; }},
        {"edit mode", [](DisplayState& f) { f.editMode = true; }},
        {"slot kept", [](DisplayState& f) { f.heroElapsed = 6.5; }},
        {"field borders", [](DisplayState& f) { f.feed[1].text = "h", f.feed[1].photo = "i"; }},
    };
    for (const auto& [why, edit] : changes) {
        DisplayState f = s;
        edit(f);
        EXPECT_NE(feedKey(f, tex, 4), feed) << why;
    }
    EXPECT_NE(feedKey(s, {300, 601}, 4), feed);
    EXPECT_NE(feedKey(s, tex, 5), feed) << "a photo arrived";
    DisplayState moving = s;
    moving.heroElapsed = 4, moving.pulse = 1.02f, moving.opacity = 0.5f, moving.joinUrl = "x";
    EXPECT_EQ(feedKey(moving, tex, 4), feed) << "the card moving, the beat and the QR card do not repaint the feed";

    CaptionState caption;
    stepCaption(caption, s, 2 * kCaptionSeconds + 0.35);  // alpha 0.5
    const std::string qr = qrKey(s, caption, tex);
    CaptionState next = caption;
    next.alpha = 0.53f;  // still 8/16
    DisplayState feedOnly = s;
    feedOnly.feed.clear(), feedOnly.heroElapsed = 4, feedOnly.pulse = 1.02f;
    EXPECT_EQ(qrKey(feedOnly, next, tex), qr) << "alpha within the same sixteenth, the feed, the beat";
    next.alpha = 0.56f;
    EXPECT_NE(qrKey(s, next, tex), qr) << "the next sixteenth";
    stepCaption(next, s, 3 * kCaptionSeconds + 0.35);
    EXPECT_NE(qrKey(s, next, tex), qr) << "the next row";
    const std::pair<const char*, Edit> qrChanges[] = {
        {"address", [](DisplayState& f) { f.joinUrl += "/"; }},
        {"brand label", [](DisplayState& f) { f.brandText = "x"; }},
        {"logo", [](DisplayState& f) { f.brandLogoPath = L"logo.png"; }},
        {"accent", [](DisplayState& f) { f.palette[0] = 1; }},
    };
    for (const auto& [why, edit] : qrChanges) {
        DisplayState f = s;
        edit(f);
        EXPECT_NE(qrKey(f, caption, tex), qr) << why;
    }
}

}  // namespace
}  // namespace lumvo

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
    p.id = std::move(id), p.type = "shoutout", p.text = "hi", p.reactions = std::move(reactions);
    return p;
}

TEST(FrameDriver, DrawTimeFieldsTipsHotPulseAndTheAnimationStep) {
    // The server's word, or any of the three tip links, turns tips on.
    const std::tuple<bool, const char*, const char*, bool> tips[] = {
        {false, "", "", false}, {false, "https://tip.example", "", true}, {false, "", "x", true}, {true, "", "", true}};
    for (const auto& [server, link2, link3, enabled] : tips) {
        WallSettings s;
        s.tipLink2 = link2, s.tipLink3 = link3;
        FrameState f;
        f.tipEnabled = server;
        fillDrawTimeFields(f, s, 0, L"");
        EXPECT_EQ(f.tipEnabled, enabled) << server << link2 << link3;
    }
    for (const int hotFx : {0, 1}) {
        WallSettings s;
        s.allowHotFx = hotFx, s.brandUrl = hotFx ? " www.Example.com/menu " : "";
        FrameState f;
        f.hot = true, f.feed = {item("a"), item("b")}, f.feed[1].hot = true;
        fillDrawTimeFields(f, s, 0.25, L"");
        EXPECT_EQ(std::make_pair(f.hot, f.feed[1].hot), std::make_pair(hotFx == 1, hotFx == 1));
        EXPECT_EQ(f.brandText, hotFx ? "Example.com" : "");
        EXPECT_NEAR(f.pulse, 1.03f, 1e-6) << "a quarter into the beat";
    }
    EXPECT_NEAR(beatPulse(1.75, true), 0.97f, 1e-6);
    EXPECT_EQ(beatPulse(0.25, false), 1.0f);

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
        FrameState f;
        f.feed = {item("p1", "🔥:3"), item("p9")};
        if (!serverId.empty()) f.featuredId = serverId, f.name = "Ana", f.color = "#112233", f.hot = true;
        prepareFrame(f, settings, clock, now, 0, L"");
        return f;
    };

    FrameState f = frame("p1", 100);
    EXPECT_EQ(std::make_tuple(f.featuredId, f.reactions, f.heroElapsed, f.duration, f.hot),
              std::make_tuple(std::string("p1"), std::string("🔥:3"), 0.0, 7.0f, false))
        << "reactions from the post's feed line; the hot switch holds for the remembered post";
    f = frame("p1", 110);
    EXPECT_DOUBLE_EQ(f.heroElapsed, 6.95) << "held 0.05 s before the end while the server features it";
    EXPECT_TRUE(heroActive(f));
    f = frame("", 110.5);
    EXPECT_EQ(std::make_tuple(f.featuredId, f.name, f.color),
              std::make_tuple(std::string("p1"), std::string("Ana"), std::string("#112233")));
    EXPECT_FALSE(heroActive(f)) << "its time is up once the server lets go";
    EXPECT_EQ(frame("", 110.6).featuredId, "");

    // Withdrawn early: it plays out, flying back at the end, then goes.
    frame("p2", 200);
    EXPECT_DOUBLE_EQ(frame("", 203).heroElapsed, 3);
    f = frame("", 206.5);
    EXPECT_TRUE(heroActive(f) && reservesFeaturedSlot(f));
    EXPECT_FALSE(heroActive(frame("", 207)));
    EXPECT_EQ(frame("", 207.1).featuredId, "");

    frame("p3", 300);
    f = frame("p4", 302);
    EXPECT_EQ(std::make_pair(f.featuredId, f.heroElapsed), std::make_pair(std::string("p4"), 0.0))
        << "a new post starts at once";
}

TEST(Compose, LayerRectanglesTexturesAndCanvasAtALargeAndATinyFrame) {
    FrameState s;  // chat and QR boxes as the defaults
    s.heroBox = {0.1f, 0.2f, 0.3f, 0.5f};
    const ComposeGeometry g = composeGeometry(3840, 2160, s);
    EXPECT_TRUE(sameRect(g.chat, {2688, 172.8f, 1075.2f, 1814.4f}, 1e-3f) &&
                sameRect(g.qr, {115.2f, 1339.2f, 1075.2f, 691.2f}, 1e-3f) && sameRect(g.hero, {384, 432, 1152, 1080}))
        << rectText(g.chat) << rectText(g.qr) << rectText(g.hero);
    // Textures are the rectangles' whole pixels, at least 64 (80 wide for the card); the backdrop's
    // canvas is the frame scaled to fit 1280 x 720, never up, and never below 320 x 180.
    using Sizes = std::vector<SizeI>;
    const auto sizes = [](const ComposeGeometry& g) {
        return Sizes{g.chatTexture, g.qrTexture, g.heroTexture, g.backdropCanvas};
    };
    EXPECT_EQ(sizes(g), (Sizes{{1075, 1814}, {1075, 691}, {1152, 1080}, {1280, 720}}));
    EXPECT_EQ(sizes(composeGeometry(200, 100, s)), (Sizes{{64, 84}, {64, 64}, {80, 64}, {320, 180}}));

    // The hero box shared with a poll: half for the card at full split, 14 between them.
    const RectF hero{100, 50, 400, 200};
    const HeroPlacement full = heroPlacement(hero, true, 1), opening = heroPlacement(hero, true, 0.02f);
    EXPECT_TRUE(sameRect(full.featured, {100, 50, 200, 200}) && sameRect(full.poll, {314, 50, 186, 200}));
    EXPECT_EQ(full.pollTexture, (SizeI{186, 200}));
    EXPECT_TRUE(sameRect(opening.featured, {100, 50, 8, 200}) && sameRect(opening.poll, {104.28f, 50, 395.72f, 200}))
        << rectText(opening.featured) << rectText(opening.poll);
    EXPECT_TRUE(sameRect(heroPlacement(hero, false, 1).featured, hero));
}

TEST(Compose, TheFeaturedCardLiftsOrPopsInStaysAndFliesBack) {
    FrameState s;
    s.chatBox = {0.5f, 0, 0.5f, 1}, s.heroBox = {0, 0, 0.4f, 0.4f};
    s.featuredId = "p1", s.duration = 7, s.opacity = 0.8f;    // in 0.55 s, out 0.95 s
    const ComposeGeometry g = composeGeometry(1000, 500, s);  // chat (500, 0, 500, 500) on a 500 x 500 texture
    const std::vector<FeedRecord> inFeed = {{"p1", {16, 300, 468, 56}, true}},
                                  slot = {{"p1", {16, 300, 468, 56}, false}}, none;
    const RectF hero{0, 0, 400, 200}, anchor{516, 300, 468, 56}, halfway{258, 150, 434, 128}, popping{22, 11, 356, 178};
    const std::tuple<const char*, double, const std::vector<FeedRecord>*, bool, bool, RectF, float> cases[] = {
        {"lift: starts on its feed line", 0, &inFeed, false, false, anchor, 0.35f},
        {"lift: halfway", 0.275, &inFeed, false, false, halfway, 0.5f},
        {"pop-in from 0.78 in place", 0.275, &none, false, false, popping, 0.5f},
        {"pop-in, not from the reserved slot", 0.275, &slot, false, false, popping, 0.5f},
        {"stay", 3, &inFeed, false, false, hero, 1},
        {"fly back: halfway to its slot", 7 - 0.475, &slot, false, false, halfway, 0.5f},
        {"fly back: no record, the feed's bottom strip", 7, &none, false, false, {510, 390, 480, 90}, 0.12f},
        {"edit mode: the box", 0.1, &inFeed, true, false, hero, 1},
        {"beside a poll at split 0.5", 0.1, &inFeed, false, true, {0, 0, 100, 200}, 0.575f},
    };
    for (const auto& [why, elapsed, records, edit, poll, drawn, alpha] : cases) {
        FrameState f = s;
        f.heroElapsed = elapsed, f.editMode = edit, f.voteActive = poll;
        const CardMotion m = featuredMotion(f, g, heroPlacement(g.hero, pollShown(f), 0.5f), *records, 0.5f);
        EXPECT_TRUE(sameRect(m.drawn(), drawn)) << why << " " << rectText(m.drawn());
        EXPECT_NEAR(m.alpha, alpha * 0.8f, 1e-4) << why;
    }
}

TEST(Compose, LayerOrderAndContentKeys) {
    using L = std::vector<Layer>;
    auto layers = [](const FrameState& f, LayerInputs in) {
        const ComposeGeometry g = composeGeometry(1920, 1080, f);
        const HeroPlacement p = heroPlacement(g.hero, pollShown(f), in.split);
        L out;
        for (const LayerDraw& d : layerOrder(f, g, p, featuredMotion(f, g, p, {}, in.split), in))
            out.push_back(d.layer);
        return out;
    };
    FrameState s;
    s.feed = {item("p1"), item("p2")};
    s.featuredId = "f", s.duration = 7, s.heroElapsed = 3, s.voteActive = true;
    s.joinUrl = "http://192.168.1.50:8787";
    const LayerInputs all{true, true, true, 1};
    EXPECT_EQ(layers(s, all),
              (L{Layer::backdrop, Layer::qrCard, Layer::feed, Layer::feedFlames, Layer::featured, Layer::poll}));
    FrameState hot = s;
    hot.hot = true;  // flames over the card, no word backdrop behind a hot post
    EXPECT_EQ(layers(hot, all),
              (L{Layer::qrCard, Layer::feed, Layer::feedFlames, Layer::featured, Layer::featuredFlames, Layer::poll}));
    EXPECT_EQ(layers(s, {false, false, false, 0.03f}), (L{Layer::qrCard, Layer::feed, Layer::poll}))
        << "split not yet open";
    FrameState edit = s;  // a poll hides in edit mode, the card's box shows
    edit.joinUrl.clear();
    edit.featuredId.clear();
    edit.editMode = true;
    EXPECT_EQ(layers(edit, {}), (L{Layer::feed, Layer::featured}));

    // The feed's key follows what it shows, not the card moving, the beat or the QR card.
    const SizeI tex{300, 600};
    const std::string feed = feedKey(s, tex, 4);
    using Edit = void (*)(FrameState&);
    const std::pair<const char*, Edit> feedChanges[] = {
        {"text", [](FrameState& f) { f.feed[1].text = "hj"; }},
        {"hot", [](FrameState& f) { f.feed[0].hot = true; }},
        {"theme", [](FrameState& f) { f.theme = "garden"; }},
        {"slot kept", [](FrameState& f) { f.heroElapsed = 6.5; }},
        {"field borders", [](FrameState& f) { f.feed[1].text = "h", f.feed[1].photo = "i"; }},
    };
    for (const auto& [why, edit] : feedChanges) {
        FrameState f = s;
        edit(f);
        EXPECT_NE(feedKey(f, tex, 4), feed) << why;
    }
    EXPECT_NE(feedKey(s, {300, 601}, 4), feed);
    EXPECT_NE(feedKey(s, tex, 5), feed) << "a photo arrived";
    FrameState moving = s;
    moving.heroElapsed = 4, moving.pulse = 1.02f, moving.opacity = 0.5f, moving.joinUrl = "x";
    EXPECT_EQ(feedKey(moving, tex, 4), feed);

    // The QR card's follows its texts, logo and accent and the caption's sixteenths.
    CaptionState caption, next;
    stepCaption(caption, s, 2 * kCaptionSeconds + 0.35);  // alpha 0.5
    const std::string qr = qrKey(s, caption, tex);
    next = caption, next.alpha = 0.53f;  // still 8/16
    moving.joinUrl = s.joinUrl, moving.feed.clear();
    EXPECT_EQ(qrKey(moving, next, tex), qr) << "the feed, the beat, a fade within a sixteenth";
    next.alpha = 0.56f;
    EXPECT_NE(qrKey(s, next, tex), qr);
    const std::pair<const char*, Edit> qrChanges[] = {
        {"address", [](FrameState& f) { f.joinUrl += "/"; }},
        {"brand label", [](FrameState& f) { f.brandText = "x"; }},
        {"logo", [](FrameState& f) { f.brandLogoPath = L"l.png"; }},
    };
    for (const auto& [why, edit] : qrChanges) {
        FrameState f = s;
        edit(f);
        EXPECT_NE(qrKey(f, caption, tex), qr) << why;
    }
}

}  // namespace
}  // namespace lumvo

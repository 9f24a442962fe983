// The frame driver and the compose step's decisions: draw-time fields, the featured clock, the
// animation step, texture sizes and the hero box's split, the featured card's motion, the layer
// order and the content keys.
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

TEST(FrameDriver, DrawTimeFieldsTipsHotAndTheClampedAnimationStep) {
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
    }

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

TEST(Compose, TexturesAreNeverTooSmallAndTheCardAndPollShareTheHeroBox) {
    // At least 64 pixels (80 wide for the card); the backdrop's canvas 320 x 180 to 1280 x 720.
    FrameState s;
    s.heroBox = {0.1f, 0.2f, 0.3f, 0.5f};
    const ComposeGeometry tiny = composeGeometry(200, 100, s);
    EXPECT_EQ((std::vector<SizeI>{tiny.chatTexture, tiny.qrTexture, tiny.heroTexture, tiny.backdropCanvas}),
              (std::vector<SizeI>{{64, 84}, {64, 64}, {80, 64}, {320, 180}}));
    EXPECT_EQ(composeGeometry(3840, 2160, s).backdropCanvas, (SizeI{1280, 720}));

    // Beside a poll the card keeps the left half at most, the poll the rest, apart.
    const RectF hero{100, 50, 400, 200};
    for (const float split : {0.5f, 1.0f}) {
        const HeroPlacement p = heroPlacement(hero, true, split);
        EXPECT_TRUE(p.featured.x == hero.x && p.featured.w <= hero.w / 2 && p.featured.right() < p.poll.x &&
                    p.poll.right() == hero.right())
            << split << rectText(p.featured) << rectText(p.poll);
    }
    EXPECT_TRUE(sameRect(heroPlacement(hero, false, 1).featured, hero));
}

TEST(Compose, TheFeaturedCardLiftsOrPopsInStaysAndFliesBack) {
    FrameState s;
    s.chatBox = {0.5f, 0, 0.5f, 1}, s.heroBox = {0, 0, 0.4f, 0.4f};
    s.featuredId = "p1", s.duration = 7;
    const ComposeGeometry g = composeGeometry(1000, 500, s);  // chat (500, 0, 500, 500) on a 500 x 500 texture
    const std::vector<FeedRecord> inFeed = {{"p1", {16, 300, 468, 56}, true}},
                                  slot = {{"p1", {16, 300, 468, 56}, false}}, none;
    const RectF hero{0, 0, 400, 200}, line{516, 300, 468, 56};
    auto drawn = [&](double elapsed, const std::vector<FeedRecord>& records, bool edit = false, bool poll = false) {
        FrameState f = s;
        f.heroElapsed = elapsed, f.editMode = edit, f.voteActive = poll;
        const CardMotion m = featuredMotion(f, g, heroPlacement(g.hero, pollShown(f), 0.5f), records, 0.5f);
        EXPECT_GT(m.alpha, 0) << elapsed;
        return m.drawn();
    };
    const std::tuple<const char*, RectF, RectF> placed[] = {
        {"lift: starts on its feed line", drawn(0, inFeed), line},
        {"stay", drawn(3, inFeed), hero},
        {"fly back: ends on its slot", drawn(7, slot), line},
        {"edit mode: the box", drawn(0.1, inFeed, true), hero},
        {"beside a poll: its part of the box", drawn(0.1, inFeed, false, true), {0, 0, 100, 200}},
    };
    for (const auto& [why, got, want] : placed) EXPECT_TRUE(sameRect(got, want)) << why << " " << rectText(got);
    // Without a line to lift from (none, or only the slot kept for it) it pops in in place; without
    // a slot either it flies back into the bottom of the feed.
    for (const auto* records : {&none, &slot}) {
        const RectF pop = drawn(0.275, *records);
        EXPECT_TRUE(pop.w < hero.w && sameRect(scaledAbout(pop, hero.w / pop.w), hero)) << rectText(pop);
    }
    const RectF back = drawn(7, none);
    EXPECT_TRUE(back.x >= 500 && back.right() <= 1000 && back.y > 250 && back.bottom() <= 500) << rectText(back);
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

    // The feed's key follows what it shows, the QR card's its texts, logo and theme and the
    // caption's sixteenths; neither follows the card moving, the beat or the other card.
    const SizeI tex{300, 600};
    CaptionState caption;
    stepCaption(caption, s, 2 * kCaptionSeconds + 0.35);  // alpha 0.5
    using Edit = void (*)(FrameState&);
    const std::tuple<const char*, Edit, bool, bool> changes[] = {
        {"text", [](FrameState& f) { f.feed[1].text = "hj"; }, true, false},
        {"hot", [](FrameState& f) { f.feed[0].hot = true; }, true, false},
        {"field borders", [](FrameState& f) { f.feed[1].text = "h", f.feed[1].photo = "i"; }, true, false},
        {"slot kept", [](FrameState& f) { f.heroElapsed = 6.5; }, true, false},
        {"theme", [](FrameState& f) { f.theme = "garden"; }, true, true},
        {"address", [](FrameState& f) { f.joinUrl += "/"; }, false, true},
        {"brand label", [](FrameState& f) { f.brandText = "x"; }, false, true},
        {"logo", [](FrameState& f) { f.brandLogoPath = L"l.png"; }, false, true},
        {"motion and beat", [](FrameState& f) { f.heroElapsed = 4, f.pulse = 1.02f, f.opacity = 0.5f; }, false, false},
    };
    for (const auto& [why, edit, feedChanges, qrChanges] : changes) {
        FrameState f = s;
        edit(f);
        EXPECT_EQ(feedKey(f, tex, 4) != feedKey(s, tex, 4), feedChanges) << why;
        EXPECT_EQ(qrKey(f, caption, tex) != qrKey(s, caption, tex), qrChanges) << why;
    }
    EXPECT_NE(feedKey(s, {300, 601}, 4), feedKey(s, tex, 4));
    EXPECT_NE(feedKey(s, tex, 5), feedKey(s, tex, 4)) << "a photo arrived";
    CaptionState next = caption;
    next.alpha = 0.53f;  // still 8/16
    EXPECT_EQ(qrKey(s, next, tex), qrKey(s, caption, tex));
    next.alpha = 0.56f;
    EXPECT_NE(qrKey(s, next, tex), qrKey(s, caption, tex));
}

}  // namespace
}  // namespace lumvo

// Word backdrops: which words start which backdrop, the trigger's clear, restart and fade rules,
// the streams' taper and pool limit, the particles' motion, the paint pass on the recording canvas,
// the overlay drawing the layer beneath every card, and the Calm effects setting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "overlay/backdrops/backdrop_layer.h"
#include "overlay/backdrops/keywords.h"
#include "overlay/backdrops/paint.h"
#include "overlay/overlay.h"
#include "overlay/poll.h"
#include "support/manual_clock.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using Op = RecordingCanvas::Op;
using K = ParticleKind;

constexpr CanvasSize kCanvas{1280, 720};
constexpr double kStep = 1.0 / 60;

// A featured post on the card, `elapsed` seconds into its 7 s.
FrameState featured(std::string id, std::string text, std::string type = "shoutout", double elapsed = 1.0) {
    FrameState s;
    s.featuredId = std::move(id);
    s.text = std::move(text);
    s.type = std::move(type);
    s.name = "Sam";
    s.duration = 7;
    s.heroElapsed = elapsed;
    return s;
}

bool active(const FrameState& s) { return !s.featuredId.empty() && s.heroElapsed < s.duration; }

void run(WordBackdropLayer& layer, FrameState& s, double seconds, bool calm = false) {
    for (double t = 0; t < seconds; t += kStep) {
        stepBackdrops(layer, kCanvas, kStep, s, active(s), calm);
        s.heroElapsed += kStep;
    }
}

std::size_t countOf(const ParticlePool& pool, K kind) {
    return static_cast<std::size_t>(
        std::count_if(pool.begin(), pool.end(), [&](const BackdropParticle& p) { return p.kind == kind; }));
}

bool anyLongLived(const ParticlePool& pool) {
    return std::any_of(pool.begin(), pool.end(), [](const BackdropParticle& p) { return longLived(p.kind); });
}

TEST(WordBackdrops, KeywordsMatchWholeWordsAndTheEarliestWins) {
    const std::vector<std::pair<std::string, int>> cases{
        {"Happy Birthday!!", 11},  // "happy" comes first
        {"Birthday, so happy", 1},
        {"lovely glove", 0},
        {"LOVE", 2},
        {"love2", 0},
        {"love-you", 2},
        {"\xC2\xA1love!", 2},  // an accented letter or symbol ends a word
        {"\xF0\x9F\x94\xA5love\xF0\x9F\x94\xA5", 2},
        {"shots", 15},
        {"shot!", 15},
        {"hometown", 17},
        {"i miss you", 12},
        {"miss  you", 0},
        {"the winner is lit", 5},
        {"shotgun then shot", 15},  // a part of a word does not count, a later whole one does
        {"", 0},
    };
    for (const auto& [text, group] : cases) EXPECT_EQ(matchKeyword(text), group) << text;
}

TEST(WordBackdrops, TriggersFollowThePostsTypeItsSwitchAndTheNameAsFallback) {
    FrameState s = featured("p_1", "yo");
    s.name = "Birthday Girl";
    EXPECT_EQ(backdropTrigger(s, true).group, 1) << "no keyword in the text: the name decides";
    for (const char* type : {"request", "vote", "venue", "tip"}) {
        FrameState t = featured("p_1", "birthday love", type);
        EXPECT_EQ(backdropTrigger(t, true).group, 0) << type;
    }
    FrameState tip = featured("p_2", "sad", "tip");
    const BackdropTrigger tipped = backdropTrigger(tip, true);
    EXPECT_TRUE(tipped.hearts && tipped.coins && !tipped.flames);
    tip.tipFx = false;
    EXPECT_FALSE(backdropTrigger(tip, true).any());

    // A venue post burns at 36 a second; with its switch off, nothing.
    WordBackdropLayer layer;
    FrameState venue = featured("p_3", "", "venue", 0);
    run(layer, venue, 1.0);
    const std::size_t flames = countOf(layer.pool, K::Flame);
    EXPECT_GE(flames, 30u);
    EXPECT_LE(flames, 36u);
    WordBackdropLayer off;
    venue = featured("p_3", "", "venue", 0);
    venue.venueFx = false;
    run(off, venue, 1.0);
    EXPECT_TRUE(off.pool.empty());

    // Not shown: edit mode, the card's time up, a hot post.
    FrameState edit = featured("p_4", "love");
    edit.editMode = true;
    EXPECT_FALSE(backdropTrigger(edit, true).any());
    EXPECT_FALSE(backdropTrigger(featured("p_4", "love"), false).any());
}

TEST(WordBackdrops, StreamsTaperOverTheCardsLastMomentsAndStopAtThePoolLimitBurstsDoNot) {
    // 600 alive: a stream adds at most 40, however much it has saved up.
    FrameState s = featured("p_1", "x");
    float acc = 100;
    EXPECT_EQ(spawnCount(acc, 12, s, kStep, 600), 40);
    acc = 0;
    EXPECT_EQ(spawnCount(acc, 12, s, kStep, 700), 0);

    // 60 a second for one second, ending at different points of a 7 s card.
    auto perSecond = [&](double from, float duration) {
        FrameState t = featured("p_1", "x", "shoutout", from);
        t.duration = duration;
        float a = 0;
        int n = 0;
        for (int i = 0; i < 60; ++i, t.heroElapsed += kStep) n += spawnCount(a, 60, t, kStep, 0);
        return n;
    };
    EXPECT_EQ(perSecond(1.0, 7), 60);
    EXPECT_NEAR(perSecond(6.05, 7), 28, 2) << "runs down over the last 0.95 s";
    EXPECT_NEAR(perSecond(1.32, 2), 20, 2) << "a 2 s card tapers over its last 0.68 s";

    // The birthday burst comes whole even onto a full pool; its stream then adds nothing.
    WordBackdropLayer layer;
    layer.pool.assign(600, BackdropParticle{.y = 300, .life = 100, .kind = K::Streamer});
    FrameState birthday = featured("p_2", "happy birthday to me, birthday");
    birthday.text = "birthday!";
    stepBackdrops(layer, kCanvas, kStep, birthday, true);
    EXPECT_EQ(countOf(layer.pool, K::Confetti), 180u);
    for (int i = 0; i < 30; ++i) stepBackdrops(layer, kCanvas, kStep, birthday, true);
    EXPECT_LE(countOf(layer.pool, K::Confetti), 180u);
}

TEST(WordBackdrops, AHotPostEmptiesThePoolAndANewBackdropFadesTheOldWalkersFast) {
    WordBackdropLayer layer;
    FrameState dance = featured("p_1", "let's dance");
    run(layer, dance, 0.5);
    EXPECT_EQ(countOf(layer.pool, K::DiscoBall), 4u);
    EXPECT_EQ(layer.postKey, "p_1");

    FrameState shots = featured("p_2", "shots!");
    run(layer, shots, 0.5);
    EXPECT_EQ(countOf(layer.pool, K::DiscoBall), 0u) << "the old walkers fade within 0.45 s";
    EXPECT_EQ(countOf(layer.pool, K::ShotGlass), 6u);
    EXPECT_EQ(countOf(layer.pool, K::Lime), 7u);

    shots.hot = true;
    stepBackdrops(layer, kCanvas, kStep, shots, true);
    EXPECT_TRUE(layer.pool.empty()) << "in the same frame";
    EXPECT_TRUE(layer.postKey.empty());
}

TEST(WordBackdrops, LeftoverWalkersFadeOnceTheirPostLeavesTheCardOrTheSwitchGoesOff) {
    // The next guest's post, without a trigger, straight after the chase.
    WordBackdropLayer layer;
    FrameState chase = featured("p_1", "sexy");
    run(layer, chase, 1.0);
    EXPECT_EQ(countOf(layer.pool, K::Peach), 7u);
    FrameState next = featured("p_2", "hello everyone");
    run(layer, next, 0.9);
    EXPECT_FALSE(anyLongLived(layer.pool)) << "gone within 0.8 s, not three minutes later";

    // The DJ turns word backdrops off while the post is still on the card.
    WordBackdropLayer switched;
    FrameState home = featured("p_3", "home sweet home");
    run(switched, home, 1.0);
    EXPECT_EQ(countOf(switched.pool, K::House), 4u);
    home.wordFx = false;
    run(switched, home, 0.9);
    EXPECT_FALSE(anyLongLived(switched.pool));

    // Edit mode alone keeps them: the same post comes back when it ends.
    WordBackdropLayer editing;
    FrameState shots = featured("p_4", "shot");
    run(editing, shots, 0.5);
    shots.editMode = true;
    run(editing, shots, 1.0);
    EXPECT_EQ(countOf(editing.pool, K::Lime), 7u);
}

TEST(BackdropMotion, CoinsBounceThriceThenFadeClimbersNeverStallWalkersStayOnTheCanvas) {
    ParticlePool pool{{.x = 400, .y = 200, .vy = 100, .size = 16, .size2 = 16, .life = 30, .kind = K::Coin}};
    float thirdLanding = -1, lastAge = 0;
    for (int i = 0; i < 60 * 20 && !pool.empty(); ++i) {
        const int landed = pool[0].aux;
        const float falling = pool[0].vy + 780 * static_cast<float>(kStep);
        updateParticles(pool, kCanvas, kStep);
        if (pool.empty()) break;
        lastAge = pool[0].age;
        if (pool[0].aux > landed && landed < 3) {
            EXPECT_FLOAT_EQ(pool[0].y, 720 - 0.55f * 16) << "on the floor line";
            EXPECT_NEAR(pool[0].vy, -0.42f * falling, 0.01f) << "back up at 0.42 of its falling speed";
            if (pool[0].aux == 3) thirdLanding = pool[0].age;
        }
    }
    ASSERT_GT(thirdLanding, 1.0f) << "three landings, from a real height";
    EXPECT_TRUE(pool.empty());
    EXPECT_LE(lastAge - thirdLanding, 0.32f) << "faded within 0.32 s of the third landing";

    // A heart and a ring thrown downwards still climb; a star thrown up sinks slowly.
    ParticlePool climbers{{.x = 600, .y = 300, .vy = 200, .life = 60, .kind = K::Heart},
                          {.x = 600, .y = 300, .vy = 200, .life = 60, .kind = K::Ring},
                          {.x = 600, .y = 600, .vy = -400, .life = 60, .kind = K::Star}};
    updateParticles(climbers, kCanvas, kStep);
    EXPECT_LE(climbers[0].vy, -28);
    EXPECT_LE(climbers[1].vy, -16);
    for (int i = 0; i < 180; ++i) updateParticles(climbers, kCanvas, kStep);
    EXPECT_FLOAT_EQ(climbers[2].vy, 22) << "falling, never faster than 22 a second";

    // Walkers and the chase, flung at the edges, stay clamped inside with their speed turned in.
    ParticlePool walkers;
    for (K kind : {K::DiscoBall, K::House, K::Lime, K::Peach, K::Aubergine})
        walkers.push_back({.x = 5, .y = 715, .vx = -2000, .vy = 2000, .size = 40, .life = 180, .kind = kind});
    for (int i = 0; i < 600; ++i) {
        updateParticles(walkers, kCanvas, kStep);
        for (const BackdropParticle& p : walkers) {
            const float m = 0.38f * p.size;
            ASSERT_TRUE(p.x >= m && p.x <= 1280 - m && p.y >= m && p.y <= 720 - m) << static_cast<int>(p.kind);
        }
    }
    EXPECT_EQ(walkers.size(), 5u);
}

TEST(BackdropSpawners, BurstShapesAndCounts) {
    ParticlePool hearts;
    spawnHearts(hearts, kCanvas, 36);
    // The first half of a big burst starts on screen (or just below its edge), the rest below.
    for (std::size_t i = 0; i < hearts.size(); ++i) {
        if (i < 18) EXPECT_TRUE(hearts[i].y >= 0.28f * 720 && hearts[i].y < 1.06f * 720) << i;
        else EXPECT_GE(hearts[i].y, 732) << i;
    }
    hearts.clear();
    spawnHearts(hearts, kCanvas, 12);
    EXPECT_TRUE(std::all_of(hearts.begin(), hearts.end(), [](auto& p) { return p.y > 720; }));

    for (auto [count, glasses] : {std::pair{1, 1u}, {2, 1u}, {28, 9u}}) {
        ParticlePool cheers;
        spawnCheers(cheers, kCanvas, count);
        EXPECT_EQ(cheers.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(countOf(cheers, K::Glass), glasses);
    }
    ParticlePool none;
    spawnCheers(none, kCanvas, 0);
    spawnConfettiCannon(none, kCanvas, -3, true);
    EXPECT_TRUE(none.empty());

    // Cannons fire inwards from beyond their edge, every piece in one of three lanes' bands.
    ParticlePool left, right;
    spawnConfettiCannon(left, kCanvas, 30, true);
    spawnConfettiCannon(right, kCanvas, 30, false);
    for (const BackdropParticle& p : left) EXPECT_TRUE(p.x < -11 && p.vx > 0 && p.vy < 0 && p.aux >= 0 && p.aux <= 2);
    for (const BackdropParticle& p : right) EXPECT_TRUE(p.x > 1291 && p.vx < 0);
}

TEST(BackdropPaint, EachParticleInItsOwnFrameFadingAtTheEndFaintOnesSkippedPicturesOrFruit) {
    const ParticlePool pool{
        {.x = 100, .y = 50, .rotation = 30, .size = 10, .size2 = 6, .age = 0, .life = 2, .colour = 0x112233},
        {.x = 200, .y = 60, .size = 10, .size2 = 6, .age = 1.72f, .life = 2, .colour = 0x112233},  // half faded
        {.x = 300, .y = 70, .size = 10, .size2 = 6, .age = 1.99f, .life = 2, .colour = 0x112233},  // too faint
        {.x = 400, .y = 80, .size = 40, .size2 = 40, .age = 0.2f, .life = 0.4f, .kind = K::Bolt},
        {.x = 500, .y = 90, .size = 40, .size2 = 40, .life = 180, .colour = 0xFF9248, .kind = K::Peach},
    };
    RecordingCanvas canvas;
    EXPECT_EQ(paintBackdrops(canvas, pool, 1.0f, {}), 4);
    const auto pushes = canvas.of(Op::pushTransform);
    ASSERT_EQ(pushes.size(), 4u);
    EXPECT_EQ(canvas.of(Op::popTransform).size(), 4u);
    EXPECT_EQ(pushes[0].points[0].x, 100);
    EXPECT_EQ(pushes[0].width, 30);
    for (const auto& call : canvas.calls)
        if (call.op != Op::pushTransform && call.op != Op::popTransform) {
            EXPECT_EQ(call.transformDepth, 1);
        }
    const auto rects = canvas.of(Op::fillRect);
    EXPECT_EQ(rects[0].colour, 0xFF112233u);
    EXPECT_EQ(rects[1].colour >> 24, 127u) << "linear over the last 28 % of its life";
    const auto bolt = canvas.of(Op::polyline);
    ASSERT_EQ(bolt.size(), 2u);
    EXPECT_EQ(bolt[1].colour >> 24, 127u) << "a bolt fades over its whole life";
    EXPECT_EQ(bolt[0].points.size(), 7u);
    EXPECT_TRUE(canvas.of(Op::image).empty()) << "no picture: the vector peach";
    EXPECT_FALSE(canvas.of(Op::ellipse).empty());

    const test::FakeImage picture(80, 80, 255);
    RecordingCanvas withPictures;
    paintBackdrops(withPictures, {pool[4]}, 1.0f, {&picture, &picture});
    ASSERT_EQ(withPictures.of(Op::image).size(), 1u);
    EXPECT_TRUE(test::sameRect(withPictures.of(Op::image)[0].rect, {-20, -20, 40, 40}));
    EXPECT_TRUE(withPictures.of(Op::ellipse).empty());
}

// A fake renderer that keeps pictures and records the order layers are drawn in.
struct OrderTarget final : LayerTarget {
    std::vector<LayerSlot> drawn;
    int made = 0;
    std::unique_ptr<CanvasImage> kept[2];
    bool beginFrame(int, int) override {
        drawn.clear();
        return true;
    }
    bool paintLayer(LayerSlot, int, int, std::string_view, const LayerPainter& paint) override {
        RecordingCanvas canvas;
        canvas.emojiAlpha = 200;
        paint(canvas);
        return true;
    }
    void drawLayer(LayerSlot slot, const RectF&, float) override { drawn.push_back(slot); }
    void endFrame() override {}
    const CanvasImage* keptPicture(std::string_view name, bool, const PictureMaker& make) override {
        auto& slot = kept[name == "peach" ? 0 : 1];
        if (!slot) ++made, slot = make();
        return slot.get();
    }
};

TEST(WordBackdrops, TheOverlayDrawsTheBackdropFirstAndAskedItsTargetForTheChasePictures) {
    test::ManualClock clock{1'000'000};
    Overlay overlay;
    OrderTarget target;
    overlay.setClock(&clock);
    overlay.setLayerTarget(&target);
    SharedSettings settings;
    PublishedDisplay display;
    DisplayDocument doc;
    doc.featuredId = "p_1", doc.type = "shoutout", doc.name = "Ana", doc.text = "so sexy", doc.duration = 7;
    display.publish(doc);
    for (int i = 0; i < 10; ++i) {
        overlay.drawFrame(1920, 1080, settings, display);
        clock.advance(16);
    }
    ASSERT_FALSE(target.drawn.empty());
    EXPECT_EQ(target.drawn.front(), LayerSlot::wordBackdrop);
    EXPECT_EQ(std::count(target.drawn.begin(), target.drawn.end(), LayerSlot::featuredCard), 1);
    EXPECT_EQ(target.made, 2) << "both pictures, once";
    EXPECT_GE(overlay.backdropParticlesPainted(), 16);

    doc.featuredId = "p_2", doc.hot = true;
    display.publish(doc);
    overlay.drawFrame(1920, 1080, settings, display);
    EXPECT_EQ(std::count(target.drawn.begin(), target.drawn.end(), LayerSlot::wordBackdrop), 0);
    EXPECT_TRUE(overlay.backdrops().pool.empty());
}

TEST(CalmEffects, NoBoltsOrShockRingsAndThePollBarsGrowWithoutShaking) {
    WordBackdropLayer wild, wow;
    FrameState w = featured("p_1", "wild night");
    run(wild, w, 2.0, true);
    EXPECT_EQ(countOf(wild.pool, K::Bolt), 0u);
    EXPECT_GT(countOf(wild.pool, K::Flame), 20u) << "the flames still burn";
    FrameState o = featured("p_2", "wow");
    run(wow, o, 2.0, true);
    EXPECT_EQ(countOf(wow.pool, K::ShockRing), 0u);
    EXPECT_FALSE(wow.pool.empty()) << "a gentle backdrop instead";

    WordBackdropLayer loud;
    FrameState l = featured("p_3", "wild");
    run(loud, l, 2.0, false);
    EXPECT_GT(countOf(loud.pool, K::Bolt), 0u) << "without the setting the lightning strikes";

    for (bool calm : {false, true}) {
        FrameState poll;
        poll.voteActive = true, poll.voteTitle = "Encore?", poll.voteRemain = 60;
        poll.voteBars = {{"a", "Yes", 1, 0xFF00FF00}, {"b", "No", 1, 0xFFFF0000}};
        poll.calmFx = calm;
        PollAnimation a;
        PollPicture picture;
        for (int votes : {1, 4}) {
            poll.voteBars[0].count = votes;
            stepPoll(a, kStep, 2 + votes * kStep, poll, false);
            RecordingCanvas canvas;
            const PollLayout layout = layoutPoll(canvas, a, picture, poll, 600, 400, {}, 0);
            throwConfetti(a, poll, layout.bars);
        }
        EXPECT_EQ(a.shake[0] > 0, !calm);
        EXPECT_FALSE(a.confetti.empty()) << "the confetti still fly";
    }
}

}  // namespace
}  // namespace lumvo

// The live poll panel and the featured card: the poll's animation step, the winner rule, the
// countdown, confetti (counts, physics, the cap), the panel's layout on the recording canvas, the
// poll picture decoded once, and the featured card's content key and placeholder.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "overlay/backdrops/backdrop_random.h"
#include "overlay/featured.h"
#include "overlay/poll.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using test::rectText;
using test::sameRect;
using Op = RecordingCanvas::Op;

DisplayState poll(std::vector<int> counts, std::string title = "Encore?") {
    DisplayState s;
    s.voteActive = true;
    s.voteTitle = std::move(title);
    s.voteRemain = 75;
    for (std::size_t i = 0; i < counts.size(); ++i)
        s.voteBars.push_back({"v_1_" + std::to_string(i + 1), "Option " + std::to_string(i + 1), counts[i],
                              0xFF000000u | (0x102030u * static_cast<Argb>(i + 1))});
    return s;
}

// One frame: the step, then the paint, as the compose step does.
RecordingCanvas frame(PollAnimation& a, const DisplayState& s, double now, int w = 600, int h = 400) {
    stepPoll(a, 1.0 / 60, now, s, false);
    RecordingCanvas canvas;
    EXPECT_TRUE(paintPoll(canvas, a, s, w, h, {}, 0));
    return canvas;
}

float lcg(std::uint32_t& x) {
    x = x * 1664525u + 1013904223u;
    return static_cast<float>(x >> 8) / 16777216.0f;
}

TEST(PollStep, SplitNewPollsFillShakeAndTheClosedStateShownLate) {
    PollAnimation a;
    DisplayState s = poll({3, 1});
    // The split eases at 5.5/s towards 1 while a card is featured, snaps within 0.004, and back.
    EXPECT_FLOAT_EQ(stepPoll(a, 0.05, 10, s, true), 0.275f);
    for (int i = 0; i < 40 && a.split != 1.0f; ++i) stepPoll(a, 0.05, 10, s, true);
    EXPECT_EQ(a.split, 1.0f) << "snapped, not creeping";
    s.editMode = true;
    for (int i = 0; i < 40 && a.split != 0.0f; ++i) stepPoll(a, 0.05, 10, s, true);
    EXPECT_EQ(a.split, 0.0f) << "edit mode closes the split";
    s.editMode = false;

    // Fill eases at 7/s to count / largest count; shake decays at 6.5/s.
    a = {};
    stepPoll(a, 0.05, 10, s, false);
    EXPECT_FLOAT_EQ(a.fill[0], 0.35f);
    EXPECT_FLOAT_EQ(a.fill[1], 0.35f / 3);
    a.shake[1] = 1;
    stepPoll(a, 0.05, 10, s, false);
    EXPECT_FLOAT_EQ(a.shake[1], 0.675f);
    EXPECT_FLOAT_EQ(a.fill[0], 0.35f + 0.65f * 0.35f);

    // A changed title or option list is a new poll: fill, shake, seen counts and confetti reset.
    const std::pair<const char*, void (*)(DisplayState&)> changes[] = {
        {"title", [](DisplayState& f) { f.voteTitle = "Again?"; }},
        {"options", [](DisplayState& f) { f.voteBars[1].key = "v_2_2"; }},
        {"title into options", [](DisplayState& f) { f.voteTitle = "Encore?|v_1_1", f.voteBars.erase(f.voteBars.begin()); }},
    };
    for (const auto& [why, change] : changes) {
        PollAnimation b = a;
        b.lastCount = {3, 1, -1, -1};
        b.confetti.resize(5);
        DisplayState f = s;
        change(f);
        stepPoll(b, 0.05, 10, f, false);
        int most = 1;
        for (const VoteBar& bar : f.voteBars) most = std::max(most, bar.count);
        EXPECT_FLOAT_EQ(b.fill[0], 0.35f * static_cast<float>(f.voteBars[0].count) / static_cast<float>(most)) << why;
        EXPECT_EQ(b.lastCount[0], -1) << why;
        EXPECT_TRUE(b.confetti.empty()) << why;
    }
    PollAnimation same = a;
    same.lastCount = {3, 1, -1, -1};
    s.voteBars[0].count = 9;  // new votes are not a new poll
    stepPoll(same, 0.05, 10, s, false);
    EXPECT_EQ(same.lastCount[0], 3);

    // A panel first shown 2 s after the vote closed starts finished, and the closing clock runs on
    // from there even this early in the process's clock.
    DisplayState closed = poll({2, 1});
    closed.voteClosed = true, closed.voteClosedFor = 2;
    PollAnimation late;
    stepPoll(late, 0.02, 1.0, closed, false);
    EXPECT_FLOAT_EQ(late.closedTime, 2.0f);
    const ClosingCurves done = closingCurves(late);
    EXPECT_EQ(done.fold, 1.0f);
    EXPECT_EQ(done.show, 1.0f);
    EXPECT_EQ(done.emphasis, 1.0f);
    closed.voteClosedFor = 2.15f;  // the server's next document
    stepPoll(late, 0.1, 1.1, closed, false);
    EXPECT_NEAR(late.closedTime, 2.1f, 1e-5);
    // Remaining time down to 0.05 s closes it too; a running poll has no closing curves.
    DisplayState ending = poll({1});
    ending.voteRemain = 0.04f;
    PollAnimation e;
    stepPoll(e, 0.02, 50, ending, false);
    EXPECT_TRUE(e.closed);
    EXPECT_FLOAT_EQ(closingCurves(e).fold, 0.0f) << "closed just now";
    ending.voteRemain = 3;
    stepPoll(e, 0.02, 51, ending, false);
    EXPECT_FALSE(e.closed);

    // The vote ending clears the state.
    s.voteActive = false;
    a.confetti.resize(3);
    stepPoll(a, 0.05, 10, s, false);
    EXPECT_TRUE(a.pollKey.empty());
    EXPECT_TRUE(a.confetti.empty());
    EXPECT_EQ(a.fill[0], 0.0f);
}

TEST(PollConfetti, VoteJumpsFirstSightPhysicsRetirementAndTheCap) {
    PollAnimation a;
    DisplayState s = poll({1, 5});
    frame(a, s, 1);
    EXPECT_TRUE(a.confetti.empty()) << "the first sight of a bar throws nothing, whatever its count";
    EXPECT_EQ(a.lastCount[1], 5);

    s.voteBars[0].count = 3;  // +2: min(8, 18) + 10
    std::uint32_t x = backdropRandomState();
    frame(a, s, 1.02);
    ASSERT_EQ(a.confetti.size(), 18u);
    EXPECT_EQ(a.shake[0], 1.0f);
    // The first particle's draws, in order: height, vx, vy, size, life.
    const float u0 = lcg(x), u1 = lcg(x), u2 = lcg(x), u3 = lcg(x), u4 = lcg(x);
    const Confetto c = a.confetti[0];
    EXPECT_FLOAT_EQ(c.vy, -(80 + 220 * u2));
    EXPECT_FLOAT_EQ(c.size, 3 + 6 * u3);
    EXPECT_FLOAT_EQ(c.life, 0.28f + 0.28f * u4);
    // Bar 0 is (25.28, 122.41, 549.44, 54): thrown from the middle height, +-0.2 of it.
    EXPECT_NEAR(c.vx, (0.12f + 0.55f * u1) * 549.44f, 0.01f);
    EXPECT_NEAR(c.y, 122.4128f + 27 + (u0 - 0.5f) * 54 * 0.4f, 0.01f);
    EXPECT_EQ((0xFFu << 24 | c.r << 16 | c.g << 8 | c.b), s.voteBars[0].colour) << "the bar's colour, not brightened";

    // Gravity 520 px/s^2, then the move; the oldest retire first, order kept.
    PollAnimation moved = a;
    stepPoll(moved, 0.02, 1.04, s, false);
    EXPECT_FLOAT_EQ(moved.confetti[0].vy, c.vy + 520 * 0.02f);
    EXPECT_FLOAT_EQ(moved.confetti[0].y, c.y + (c.vy + 520 * 0.02f) * 0.02f);
    EXPECT_FLOAT_EQ(moved.confetti[0].x, c.x + c.vx * 0.02f);
    s.voteBars[1].count = 15;  // +10: 18 + 10
    frame(a, s, 1.3);
    EXPECT_EQ(a.confetti.size(), 18u + 28u);
    // After 0.4 s the particles whose age reached their life are gone, the others in order.
    std::vector<float> survivors;
    for (const Confetto& p : a.confetti) {
        float age = p.age;
        for (int i = 0; i < 20; ++i) age += 0.02f;
        if (age < p.life) survivors.push_back(p.life);
    }
    ASSERT_LT(survivors.size(), a.confetti.size());
    for (int i = 0; i < 20; ++i) stepPoll(a, 0.02, 1.3 + 0.02 * i, s, false);
    ASSERT_EQ(a.confetti.size(), survivors.size());
    for (std::size_t i = 0; i < survivors.size(); ++i) EXPECT_EQ(a.confetti[i].life, survivors[i]);
    for (int i = 0; i < 9; ++i) stepPoll(a, 0.02, 1.7 + 0.02 * i, s, false);
    EXPECT_TRUE(a.confetti.empty()) << "every particle lives under 0.56 s";

    // A flood, hundreds of votes a frame on every bar: the list stops at the cap, and so does the
    // paint.
    DisplayState flood = poll({0, 0, 0, 0});
    PollAnimation f;
    RecordingCanvas last;
    for (int i = 0; i < 300; ++i) {
        for (VoteBar& bar : flood.voteBars) bar.count += 300;
        last = frame(f, flood, 5 + i / 60.0);
        ASSERT_LE(f.confetti.size(), kMaxConfetti);
    }
    EXPECT_EQ(f.confetti.size(), kMaxConfetti) << "the flood reached the cap";
    EXPECT_LE(last.of(Op::ellipse).size(), kMaxConfetti);
}

TEST(PollPanel, LayoutFourBarsThePictureDecodedOnceAndTheCountdown) {
    // 600 x 400: W' 584, H' 384, pad 17.28, content (25.28, 25.28, 549.44, 349.44). Title at 26 px,
    // 35.2 high; status row at 68.48, 41.93 high; bars from 122.41, 4 of them in 252.31: gap 10.09,
    // bar height 54.
    PollAnimation a;
    const DisplayState five = poll({4, 3, 2, 1, 9});
    RecordingCanvas c = frame(a, five, 3);
    ASSERT_NE(c.textCall("Encore?"), nullptr);
    EXPECT_TRUE(sameRect(c.textCall("Encore?")->rect, {25.28f, 25.28f, 549.44f, 35.2f})) << rectText(c.textCall("Encore?")->rect);
    ASSERT_NE(c.textCall("1:15"), nullptr);
    EXPECT_TRUE(sameRect(c.textCall("1:15")->rect, {25.28f, 68.48f, 549.44f, 41.9328f}));
    ASSERT_NE(c.textCall("Option 3"), nullptr);
    EXPECT_TRUE(sameRect(c.textCall("Option 3")->rect, {37.28f, 122.4128f + 2 * 64.0923f, 340.6528f, 54}))
        << rectText(c.textCall("Option 3")->rect);
    EXPECT_EQ(c.textCall("Option 5"), nullptr) << "only four bars";
    EXPECT_EQ(c.textCall("9"), nullptr);

    // Wide picture: a column of 303.68 on the left, the text pad to its right.
    int lookups = 0;
    std::string bytes = test::fakeImageBytes(640, 480);
    const PhotoLookup photos = [&](std::string_view) -> std::optional<std::string> {
        ++lookups;
        return bytes;
    };
    DisplayState pictured = five;
    pictured.votePhoto = "/uploads/poll.jpg";
    RecordingCanvas wide;
    paintPoll(wide, a, pictured, 600, 400, photos, 1);
    ASSERT_EQ(wide.of(Op::image).size(), 1u);
    EXPECT_TRUE(sameRect(wide.of(Op::image)[0].rect, {25.28f, 86.12f, 303.68f, 227.76f}))
        << rectText(wide.of(Op::image)[0].rect);
    EXPECT_NEAR(wide.textCall("Encore?")->rect.x, 346.24f, 0.01f);
    EXPECT_NEAR(wide.textCall("Encore?")->rect.w, 228.48f, 0.01f);
    // Tall: the picture across the top (260.8 high), the text 0.7 pad below it.
    RecordingCanvas tall;
    paintPoll(tall, a, pictured, 400, 600, photos, 1);
    EXPECT_TRUE(sameRect(tall.of(Op::image)[0].rect, {26.135f, 25.28f, 347.73f, 260.8f}, 0.02f))
        << rectText(tall.of(Op::image)[0].rect);
    EXPECT_NEAR(tall.textCall("Encore?")->rect.y, 298.176f, 0.01f);
    EXPECT_EQ(lookups, 1) << "the picture is kept, not copied and decoded per paint";

    // A picture that does not decode is not copied and decoded again every frame: only once the
    // photo cache has stored something new.
    bytes = "not a picture";
    pictured.votePhoto = "/uploads/broken.jpg";
    lookups = 0;
    for (int i = 0; i < 20; ++i) {
        RecordingCanvas broken;
        paintPoll(broken, a, pictured, 600, 400, photos, 1);
        EXPECT_TRUE(broken.of(Op::image).empty());
    }
    EXPECT_EQ(lookups, 1);
    RecordingCanvas again;
    paintPoll(again, a, pictured, 600, 400, photos, 2);
    EXPECT_EQ(lookups, 2);

    // The countdown.
    EXPECT_EQ(countdownText(4000), "1:06:40");
    EXPECT_EQ(countdownText(75), "1:15");
    EXPECT_EQ(countdownText(0.2f), "0:01") << "whole seconds, rounded up";
    EXPECT_EQ(countdownText(-3), "0:00");
    EXPECT_EQ(countdownText(std::numeric_limits<float>::quiet_NaN()), "0:00");
    EXPECT_EQ(countdownText(1e12f), "99:59:59");
}

TEST(PollResult, TheWinnerRuleAndWhatTheClosedPanelShows) {
    EXPECT_EQ(pollWinner(poll({}).voteBars), std::nullopt);
    EXPECT_EQ(pollWinner(poll({0, 0}).voteBars), std::nullopt) << "no votes";
    EXPECT_EQ(pollWinner(poll({2, 2, 1}).voteBars), std::nullopt) << "a tie on top";
    EXPECT_EQ(pollWinner(poll({1, 3, 2}).voteBars), 1u);
    EXPECT_EQ(pollWinner(poll({1, 0, 0, 0, 9}).voteBars), 0u) << "a fifth bar is not shown, so it cannot win";

    auto closedPanel = [](std::vector<int> counts) {
        DisplayState s = poll(std::move(counts));
        s.voteClosed = true, s.voteClosedFor = 3;
        PollAnimation a;
        return frame(a, s, 20);
    };
    const RecordingCanvas won = closedPanel({2, 1});
    EXPECT_NE(won.textCall("WINNER"), nullptr);
    EXPECT_EQ(won.textCall("NO WINNER"), nullptr);
    EXPECT_EQ(won.textCall("1:15"), nullptr) << "no countdown once closed";
    EXPECT_NE(won.textCall("Option 1"), nullptr);
    EXPECT_EQ(won.textCall("Option 2"), nullptr) << "the loser folded away";
    const auto glow = std::count_if(won.calls.begin(), won.calls.end(), [](const RecordingCanvas::Call& c) {
        return c.op == Op::fillRounded && (c.colour & 0xFFFFFF) == 0xFACC15;
    });
    EXPECT_EQ(glow, 3) << "the winner's glow";
    // Its fill lightened by 0.45 (0x102030 towards 250), not to white under its white label.
    EXPECT_TRUE(std::any_of(won.calls.begin(), won.calls.end(),
                            [](const RecordingCanvas::Call& c) { return c.colour == 0xFF79828A; }));
    for (const std::vector<int>& counts : {std::vector<int>{1, 1}, std::vector<int>{0, 0}}) {
        const RecordingCanvas none = closedPanel(counts);
        EXPECT_NE(none.textCall("NO WINNER"), nullptr);
        EXPECT_EQ(none.textCall("Option 1"), nullptr) << "all bars fold";
        EXPECT_EQ(none.textCall("Option 2"), nullptr);
        EXPECT_TRUE(std::any_of(none.calls.begin(), none.calls.end(),
                                [](const RecordingCanvas::Call& c) { return c.colour == 0xFFFFCC4D; }))
            << "the thumbs-down";
    }
}

TEST(PollPanel, AnIdlePollIsPaintedOnceASecondAMovingOneEveryFrame) {
    PollAnimation a;
    DisplayState s = poll({3, 1});
    const SizeI tex{600, 400};
    for (int i = 0; i < 120; ++i) frame(a, s, 1 + i / 60.0);
    const std::string still = pollPanelKey(a, s, tex, 1, 0);
    EXPECT_EQ(pollPanelKey(a, s, tex, 2, 0), still) << "settled: nothing moves";
    s.voteRemain = 74;
    EXPECT_NE(pollPanelKey(a, s, tex, 2, 0), still) << "the countdown ticked";
    s.voteBars[0].count = 4;
    EXPECT_NE(pollPanelKey(a, s, tex, 3, 0), pollPanelKey(a, s, tex, 4, 0)) << "a new vote is to be painted";
    frame(a, s, 4);
    EXPECT_FALSE(a.confetti.empty());
    EXPECT_NE(pollPanelKey(a, s, tex, 5, 0), pollPanelKey(a, s, tex, 6, 0)) << "confetti flying";
}

FeedItem post(std::string id, std::string name, std::string text) {
    FeedItem p;
    p.id = std::move(id), p.type = "shoutout", p.name = std::move(name), p.text = std::move(text);
    return p;
}

TEST(Featured, KeyFollowsContentNotMotionPlaceholderAndNeverTwiceOnScreen) {
    DisplayState s;
    s.feed = {post("p1", "Ana", "Happy birthday Jo!"), post("p2", "Ben", "Play something")};
    showFeatured(s, s.feed[0]);
    s.duration = 7, s.heroElapsed = 0.2;
    const SizeI tex{960, 540};
    const std::string key = featuredKey(s, tex, 3);
    DisplayState moving = s;
    moving.heroElapsed = 6.8, moving.pulse = 1.03f, moving.opacity = 0.4f;
    EXPECT_EQ(featuredKey(moving, tex, 3), key) << "flying, pulsing, fading: no repaint";
    EXPECT_EQ(featuredKey(s, tex, 4), key) << "a photo of another post arrived";
    const std::pair<const char*, void (*)(DisplayState&)> changes[] = {
        {"text", [](DisplayState& f) { f.text = "Happy birthday Jo!!"; }},
        {"reactions", [](DisplayState& f) { f.reactions = "x:2"; }},
        {"theme", [](DisplayState& f) { f.theme = "lounge"; }},
        {"edit mode", [](DisplayState& f) { f.editMode = true; }},
        {"palette", [](DisplayState& f) { f.palette[0] = 0xFF00FF00; }},
        {"field borders", [](DisplayState& f) { f.name = "AnaH", f.text = "appy birthday Jo!"; }},
    };
    for (const auto& [why, change] : changes) {
        DisplayState f = s;
        change(f);
        EXPECT_NE(featuredKey(f, tex, 3), key) << why;
    }
    EXPECT_NE(featuredKey(s, {480, 540}, 3), key);
    DisplayState photo = s;
    photo.photo = "/uploads/a.jpg";
    EXPECT_NE(featuredKey(photo, tex, 3), featuredKey(photo, tex, 4)) << "its photo may just have arrived";

    // Beside a poll the card is painted at its half of the hero box, not squeezed into it.
    const ComposeGeometry g = composeGeometry(1920, 1080, s);
    EXPECT_EQ(featuredTextureSize(g, false), (SizeI{960, 540}));
    EXPECT_EQ(featuredTextureSize(g, true), (SizeI{480, 540}));

    // The card: the post at card scale; the feed keeps its line empty while the card is out.
    RecordingCanvas card;
    paintFeatured(card, s, 960, 540, {});
    ASSERT_NE(card.textCall("Happy birthday Jo!"), nullptr);
    EXPECT_GT(card.textCall("Happy birthday Jo!")->style.size, 20.0f);
    RecordingCanvas feed;
    const FeedPaint paint = paintFeed(feed, s, 537, 907, {});
    EXPECT_EQ(feed.textCall("Happy birthday Jo!"), nullptr) << "not twice";
    ASSERT_EQ(paint.records.size(), 2u);
    EXPECT_EQ(paint.records[1].id, "p1") << "its line stays, for the card to lift out of and fly back to";
    DisplayState over = s;
    over.heroElapsed = 7;
    RecordingCanvas after;
    paintFeed(after, over, 537, 907, {});
    EXPECT_NE(after.textCall("Happy birthday Jo!"), nullptr) << "back in the feed once its time is up";
    EXPECT_NE(feedKey(over, tex, 3), feedKey(s, tex, 3));

    // Edit mode with nothing featured: the placeholder, sized min(28, 0.12 w', 0.18 h').
    DisplayState edit;
    edit.editMode = true;
    RecordingCanvas placeholder;
    paintFeatured(placeholder, edit, 200, 120, {});
    ASSERT_NE(placeholder.textCall("HIGHLIGHT"), nullptr);
    EXPECT_FLOAT_EQ(placeholder.textCall("HIGHLIGHT")->style.size, 18.0f);
    EXPECT_TRUE(sameRect(placeholder.textCall("HIGHLIGHT")->rect, {10, 10, 180, 100}));
    RecordingCanvas shown;
    edit.featuredId = "p1", edit.name = "Ana";
    paintFeatured(shown, edit, 200, 120, {});
    EXPECT_EQ(shown.textCall("HIGHLIGHT"), nullptr);
    EXPECT_NE(shown.textCall("Ana"), nullptr);
}

}  // namespace
}  // namespace lumvo

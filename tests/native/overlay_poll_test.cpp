// The live poll panel and the featured card: the poll's step, confetti (when it is thrown and the
// cap), the panel's bars and picture on the recording canvas, when it is painted
// again, the winner rule, and the featured card's content key, placeholder and feed line.
#include <gtest/gtest.h>

#include <limits>

#include "overlay/featured.h"
#include "overlay/poll.h"
#include "support/recording_canvas.h"

namespace lumvo {
namespace {

using test::RecordingCanvas;
using Op = RecordingCanvas::Op;

FrameState poll(std::vector<int> counts) {
    FrameState s;
    s.voteActive = true, s.voteTitle = "Encore?", s.voteRemain = 75;
    for (std::size_t i = 0; i < counts.size(); ++i)
        s.voteBars.push_back({"v_1_" + std::to_string(i + 1), "Option " + std::to_string(i + 1), counts[i],
                              0xFF000000u | (0x102030u * static_cast<Argb>(i + 1))});
    return s;
}

// The panel's paint as the compose step runs it: the layout, the new votes given to the animation
// with the bars' places, then the paint.
bool paintPanel(RecordingCanvas& canvas, PollAnimation& a, PollPicture& picture, const FrameState& s, int w, int h,
                const PhotoLookup& photos, std::uint64_t generation) {
    const PollLayout layout = layoutPoll(canvas, a, picture, s, w, h, photos, generation);
    throwConfetti(a, s, layout.bars);
    return paintPoll(canvas, a, s, layout);
}

// One frame: the step, then the paint.
RecordingCanvas frame(PollAnimation& a, const FrameState& s, double now) {
    stepPoll(a, 1.0 / 60, now, s, false);
    RecordingCanvas canvas;
    PollPicture picture;
    EXPECT_TRUE(paintPanel(canvas, a, picture, s, 600, 400, {}, 0));
    return canvas;
}

TEST(PollStep, TheSplitSettlesANewPollStartsAfreshAndTheClosedStateShownLate) {
    PollAnimation a;
    FrameState s = poll({3, 1});
    for (int i = 0; i < 40 && a.split != 1.0f; ++i) stepPoll(a, 0.05, 10, s, true);
    EXPECT_EQ(a.split, 1.0f) << "snapped, not creeping (a moving split repaints every frame)";
    s.editMode = true;
    for (int i = 0; i < 40 && a.split != 0.0f; ++i) stepPoll(a, 0.05, 10, s, true);
    EXPECT_EQ(a.split, 0.0f);
    s.editMode = false;

    // A changed title or option list is a new poll (a "|" in the title cannot fake an option).
    stepPoll(a, 0.05, 10, s, false);
    a.lastCount = {3, 1, -1, -1};
    for (auto change :
         {+[](FrameState& f) { f.voteTitle = "Again?"; }, +[](FrameState& f) { f.voteBars[1].key = "v_2_2"; },
          +[](FrameState& f) { f.voteTitle += "|v_1_1", f.voteBars.erase(f.voteBars.begin()); },
          +[](FrameState& f) { f.voteBars[0].count = 9; }}) {
        PollAnimation b = a;
        b.confetti.assign(5, Confetto{.life = 1});
        FrameState f = s;
        change(f);
        stepPoll(b, 0.05, 10, f, false);
        const bool isNew = f.voteBars[0].count != 9;
        EXPECT_EQ(b.lastCount[0], isNew ? -1 : 3) << f.voteTitle;
        EXPECT_EQ(b.confetti.empty(), isNew) << f.voteTitle;
    }

    // A panel first shown 2 s after the vote closed starts finished, and its closing clock runs
    // on from there, even this early in the process's clock.
    FrameState closed = poll({2, 1});
    closed.voteClosed = true, closed.voteClosedFor = 2;
    PollAnimation late;
    stepPoll(late, 0.02, 1.0, closed, false);
    const ClosingCurves done = closingCurves(late);
    EXPECT_EQ(done.fold + done.show + done.emphasis, 3.0f);
    closed.voteClosedFor = 2.15f;  // the server's next document
    stepPoll(late, 0.1, 1.1, closed, false);
    EXPECT_NEAR(late.closedTime, 2.1f, 1e-5);
    closed.voteClosed = false, closed.voteClosedFor = 0, closed.voteRemain = 0.04f;  // 0.05 s left is closed too
    PollAnimation ending;
    stepPoll(ending, 0.02, 50, closed, false);
    EXPECT_TRUE(ending.closed);
    EXPECT_EQ(closingCurves(ending).fold, 0.0f) << "closed just now";

    s.voteActive = false;  // the vote ending clears it
    stepPoll(a, 0.05, 10, s, false);
    EXPECT_TRUE(a.pollKey.empty());
    EXPECT_EQ(a.fill[0], 0.0f);
}

TEST(PollConfetti, ThrownForNewVotesOnlyAndCapped) {
    PollAnimation a;
    FrameState s = poll({1, 5});
    frame(a, s, 1);
    EXPECT_TRUE(a.confetti.empty()) << "the first sight of a bar throws nothing, whatever its count";
    s.voteBars[0].count = 3;
    frame(a, s, 1.02);
    EXPECT_FALSE(a.confetti.empty());
    EXPECT_EQ(a.shake[0], 1.0f);
    EXPECT_EQ(a.shake[1], 0.0f);
    stepPoll(a, 0.02, 1.04, s, false);
    EXPECT_FALSE(a.confetti.empty()) << "not gone at once";
    for (int i = 0; i < 50; ++i) stepPoll(a, 0.02, 1.06 + 0.02 * i, s, false);
    EXPECT_TRUE(a.confetti.empty()) << "gone a second later: no particle lives longer";

    // Hundreds of votes a frame on every bar: the list and the paint stop at the cap.
    FrameState flood = poll({0, 0, 0, 0});
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

TEST(PollPanel, FourBarsThePictureLookedUpOnceTheCountdownAndWhenToRepaint) {
    PollAnimation a;
    FrameState five = poll({4, 3, 2, 1, 9});
    RecordingCanvas c = frame(a, five, 3);
    EXPECT_NE(c.textCall("Option 4"), nullptr);
    EXPECT_EQ(c.textCall("Option 5"), nullptr) << "only four bars";

    // The picture: a column on the left of a wide panel, across the top of a tall one; decoded
    // looked up once, and one not held is not looked up again every frame.
    int lookups = 0;
    PictureRef held = test::fakePicture(640, 480);
    const PhotoLookup photos = [&](std::string_view) { return ++lookups, held; };
    five.votePhoto = "/uploads/poll.jpg";
    RecordingCanvas wide, tall;
    PollPicture picture;
    paintPanel(wide, a, picture, five, 600, 400, photos, 1);
    EXPECT_GT(wide.textCall("Encore?")->rect.x, wide.of(Op::image).at(0).rect.right()) << "title beside the picture";
    paintPanel(tall, a, picture, five, 400, 600, photos, 1);
    EXPECT_GT(tall.textCall("Encore?")->rect.y, tall.of(Op::image).at(0).rect.bottom()) << "title under the picture";
    held = nullptr;
    five.votePhoto = "/uploads/broken.jpg";
    for (int i = 0; i < 20; ++i) {
        RecordingCanvas broken;
        paintPanel(broken, a, picture, five, 600, 400, photos, 1);
        EXPECT_TRUE(broken.of(Op::image).empty());
    }
    EXPECT_EQ(lookups, 2);
    RecordingCanvas again;
    paintPanel(again, a, picture, five, 600, 400, photos, 2);
    EXPECT_EQ(lookups, 3) << "tried again once the photo cache stored something";

    const std::pair<float, const char*> countdowns[] = {
        {4000, "1:06:40"}, {0.2f, "0:01"}, {std::numeric_limits<float>::quiet_NaN(), "0:00"}, {1e12f, "99:59:59"}};
    for (const auto& [seconds, text] : countdowns) EXPECT_EQ(countdownText(seconds), text) << seconds;

    // Settled, a poll is painted again only when what it shows changes; while it moves, every frame.
    FrameState s = poll({3, 1});
    PollAnimation still;
    for (int i = 0; i < 120; ++i) frame(still, s, 1 + i / 60.0);
    const SizeI tex{600, 400};
    const PollPicture none;
    EXPECT_EQ(pollPanelKey(still, none, s, tex, 1, 0), pollPanelKey(still, none, s, tex, 2, 0));
    s.voteRemain = 74;
    EXPECT_NE(pollPanelKey(still, none, s, tex, 1, 0), pollPanelKey(still, none, poll({3, 1}), tex, 1, 0))
        << "countdown";
    s.voteBars[0].count = 4;
    frame(still, s, 4);
    EXPECT_NE(pollPanelKey(still, none, s, tex, 5, 0), pollPanelKey(still, none, s, tex, 6, 0)) << "confetti flying";
}

TEST(PollResult, TheWinnerRuleAndWhatTheClosedPanelShows) {
    EXPECT_EQ(pollWinner(poll({0, 0}).voteBars), std::nullopt) << "no votes";
    EXPECT_EQ(pollWinner(poll({2, 2, 1}).voteBars), std::nullopt) << "a tie on top";
    EXPECT_EQ(pollWinner(poll({1, 3, 2}).voteBars), 1u);
    EXPECT_EQ(pollWinner(poll({1, 0, 0, 0, 9}).voteBars), 0u) << "a fifth bar is not shown, so it cannot win";

    auto closedPanel = [](std::vector<int> counts) {
        FrameState s = poll(std::move(counts));
        s.voteClosed = true, s.voteClosedFor = 3;
        PollAnimation a;
        return frame(a, s, 20);
    };
    // The result's words are checked on a real frame (tests/windows/overlay_hero_test.cpp).
    const RecordingCanvas won = closedPanel({2, 1});
    EXPECT_EQ(won.textCall("1:15"), nullptr) << "no countdown once closed";
    EXPECT_NE(won.textCall("Option 1"), nullptr);
    EXPECT_EQ(won.textCall("Option 2"), nullptr) << "the loser folded away";
    for (const RecordingCanvas& none : {closedPanel({1, 1}), closedPanel({0, 0})})
        EXPECT_EQ(none.textCall("Option 1"), nullptr) << "no winner: all bars fold";
}

TEST(Featured, KeyFollowsContentNotMotionTheFeedLineComesBackAndThePlaceholder) {
    FrameState s;
    for (const char* id : {"p1", "p2"}) s.feed.push_back({.id = id, .type = "shoutout", .name = "Ana", .text = id});
    s.feed[0].text = "Happy birthday Jo!";
    showFeatured(s, s.feed[0]);
    s.duration = 7, s.heroElapsed = 0.2;
    const SizeI tex{960, 540};
    const std::string key = featuredKey(s, tex, 3);
    FrameState moving = s;
    moving.heroElapsed = 6.8, moving.pulse = 1.03f, moving.opacity = 0.4f;
    EXPECT_EQ(featuredKey(moving, tex, 3), key) << "flying, pulsing, fading: no repaint";
    EXPECT_EQ(featuredKey(s, tex, 4), key) << "a photo of another post arrived";
    for (auto change : {+[](FrameState& f) { f.reactions = "x:2"; }, +[](FrameState& f) { f.editMode = true; },
                        +[](FrameState& f) { f.name = "AnaH", f.text = "appy birthday Jo!"; }}) {
        FrameState f = s;
        change(f);
        EXPECT_NE(featuredKey(f, tex, 3), key);
    }
    EXPECT_NE(featuredKey(s, {480, 540}, 3), key);
    const ComposeGeometry g = composeGeometry(1920, 1080, s);
    EXPECT_EQ(featuredTextureSize(g, true), (SizeI{480, 540})) << "beside a poll: its half, not squeezed";

    // Not also in the feed while it is out: tests/windows/overlay_hero_test.cpp.
    RecordingCanvas after;
    s.heroElapsed = 7;
    paintFeed(after, s, 537, 907, {});
    EXPECT_NE(after.textCall("Happy birthday Jo!"), nullptr) << "back in the feed once its time is up";

    FrameState edit;  // edit mode, nothing featured: the placeholder
    edit.editMode = true;
    RecordingCanvas placeholder, card;
    paintFeatured(placeholder, edit, 200, 120, {});
    EXPECT_NE(placeholder.textCall("HIGHLIGHT"), nullptr);
    edit.featuredId = "p1", edit.name = "Ana";
    paintFeatured(card, edit, 200, 120, {});
    EXPECT_EQ(card.textCall("HIGHLIGHT"), nullptr);
    EXPECT_NE(card.textCall("Ana"), nullptr);
}

}  // namespace
}  // namespace lumvo

#pragma once
// The live poll panel in the hero box: the question, an optional picture, the countdown and up to
// four bars that grow with the votes, shake and throw confetti when votes come in; once the vote
// closes the losing bars fold away and the panel says "WINNER" over the winning bar, or
// "NO WINNER" with a thumbs-down when nobody won. What moves lives in the panel's animation
// (overlay/poll_animation.h). A paint is three steps on the render thread: lay the panel out
// (layoutPoll), give the animation the votes that came in with the bars' places (throwConfetti),
// then paint from both (paintPoll).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "overlay/frame_state.h"
#include "overlay/canvas.h"
#include "overlay/compose.h"
#include "overlay/feed.h"
#include "overlay/poll_animation.h"

namespace lumvo {

// The poll picture as last looked up, and what it was looked up by. A picture that was missing is
// looked up again only when the photo cache has stored something since.
struct PollPicture {
    std::shared_ptr<CanvasImage> image;
    std::string id;
    std::uint64_t generation = 0;
};

// Where everything on the panel goes, for one paint.
struct PollLayout {
    bool shown = false;  // a vote is active; nothing else is set otherwise
    RectF panel;
    const CanvasImage* picture = nullptr;  // the poll's picture (null: none), drawn fitted in pictureArea
    RectF pictureArea;
    RectF text;  // the question, the status row and the bars
    TextStyle titleStyle;
    float titleHeight = 0;
    float rowTop = 0;     // the status row: the countdown, "WINNER" or "NO WINNER"
    float countdown = 0;  // the countdown's height
    float row = 0;        // the row's height
    ClosingCurves curves;
    std::optional<std::size_t> winner;  // once the vote closed
    PollBarPlaces bars;
    std::array<float, kPollBarsShown> emphasis{};  // the winner's glow
    std::array<float, kPollBarsShown> alpha{};     // 1 - the bar's fold
};

// Lays the panel out in a w x h bitmap from the state and the animation: measures the question
// and, when the poll's picture changed, looks it up into `picture` (from `photos`;
// `photoGeneration` is the photo cache's). Not shown while no vote is active.
PollLayout layoutPoll(Canvas& canvas, const PollAnimation& poll, PollPicture& picture, const FrameState& state, int w,
                      int h, const PhotoLookup& photos, std::uint64_t photoGeneration);

// Paints the panel as laid out, with the animation's bars and confetti; false, with nothing drawn,
// when the layout is not shown. The still part, then the moving part with the bars.
bool paintPoll(Canvas& canvas, const PollAnimation& poll, const FrameState& state, const PollLayout& layout);

// The panel in two parts, so that flying confetti do not paint the panel's texts again. The still
// part: the panel, its frame, the picture, the question, the status row, and the bars when
// `withBars`; false, with nothing drawn, when the layout is not shown.
bool paintPollStill(Canvas& canvas, const PollAnimation& poll, const FrameState& state, const PollLayout& layout,
                    bool withBars);
// The moving part over it: the bars when `withBars`, the confetti, the edit handle. Returns the
// confetti painted.
int paintPollMoving(Canvas& canvas, const PollAnimation& poll, const FrameState& state, const PollLayout& layout,
                    bool withBars);
// Whether any bar moves this frame: shaking, growing towards its share, about to take new votes,
// folding away or glowing as the winner. Moving bars belong to the moving part.
bool pollBarsMoving(const PollAnimation& poll, const FrameState& state, SizeI texture);

// The winning bar (of the first four): the one with the largest count when no other has it and
// there was at least one vote; nothing otherwise.
std::optional<std::size_t> pollWinner(const std::vector<VoteBar>& bars);

// The time left as the countdown shows it: ceil(seconds) (at least 0) as "h:mm:ss" from an hour
// up, else "m:ss".
std::string countdownText(float seconds);

// When the panel needs painting again: while anything on it moves (confetti, a shaking or growing
// bar, the closing animation, the winner's glow) `frame` is part of the key, so every frame paints;
// once it is still, the key is what it shows (the countdown's text among it), so an idle poll is
// uploaded once a second instead of every frame. A picture not yet shown is tried again when the
// photo cache's generation moves.
std::string pollPanelKey(const PollAnimation& poll, const PollPicture& picture, const FrameState& state, SizeI texture,
                         std::uint64_t frame, std::uint64_t photoGeneration);
// When the still part needs painting again: what it shows (as in pollPanelKey, without the frame,
// and without the votes while the bars are not in it and the vote runs), whether the bars are in
// it, and the status row's fade while the closed panel's labels show.
std::string pollStillKey(const PollAnimation& poll, const PollPicture& picture, const FrameState& state, SizeI texture,
                         std::uint64_t photoGeneration, bool withBars);

}  // namespace lumvo

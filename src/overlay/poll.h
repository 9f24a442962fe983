#pragma once
// The live poll panel in the hero box: the question, an optional picture, the countdown and up to
// four bars that grow with the votes, shake and throw confetti when votes come in; once the vote
// closes the losing bars fold away and the panel says "WINNER" over the winning bar, or
// "NO WINNER" with a thumbs-down when nobody won. The animation state lives from frame to frame
// with the compose step (stepPoll every frame); the panel is painted from it while it is shown.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "overlay/canvas.h"
#include "overlay/compose.h"
#include "overlay/feed.h"
#include "overlay/frame_state.h"

namespace lumvo {

// Only the first four bars of a poll are shown (and counted for the winner).
inline constexpr std::size_t kPollBarsShown = 4;
// At most this many confetti particles are alive: a poll flooded with votes (every bar jumping on
// every frame throws up to 112 a frame) keeps its particle list and its paint bounded; past the
// cap the oldest particles go first.
inline constexpr std::size_t kMaxConfetti = 360;

struct Confetto {
    float x = 0, y = 0, vx = 0, vy = 0, age = 0, life = 0, size = 0;
    std::uint8_t r = 0, g = 0, b = 0;
};

struct PollAnimation {
    float split = 0;  // the featured card / poll split of the hero box, 0..1
    std::array<float, kPollBarsShown> fill{};
    std::array<float, kPollBarsShown> shake{};
    std::array<int, kPollBarsShown> lastCount{-1, -1, -1, -1};  // -1: not seen yet
    std::string pollKey;   // identity of the running poll (title and option ids)
    bool closed = false;   // the vote is over (closedAt is then set)
    double closedAt = 0;   // when the closed state began
    float closedTime = 0;  // seconds since the vote closed (0 while running)
    double now = 0;        // the last step's time: the shake and the winner glow run on it
    std::vector<Confetto> confetti;

    // The poll picture as last decoded, and what it was decoded from. A picture that is missing or
    // does not decode is tried again only when the photo cache has stored something since.
    std::shared_ptr<CanvasImage> picture;
    std::string pictureId;
    std::uint64_t pictureGeneration = 0;
};

// Advances the animation to `now` (seconds) by `dt`; gives the split.
float stepPoll(PollAnimation& poll, double dt, double now, const FrameState& state, bool heroActive);

// s(x) = x^2 (3 - 2x) on x clamped to 0..1, of the time since the vote closed: the losing bars
// fold over 0.55 s, the labels show from 0.1 s and the winner's glow grows from 0.18 s, each
// over 0.52 s. All 0 while the vote runs.
struct ClosingCurves {
    float fold = 0, show = 0, emphasis = 0;
};
ClosingCurves closingCurves(const PollAnimation& poll);

// The winning bar (of the first four): the one with the largest count when no other has it and
// there was at least one vote; nothing otherwise.
std::optional<std::size_t> pollWinner(const std::vector<VoteBar>& bars);

// The time left as the countdown shows it: ceil(seconds) (at least 0) as "h:mm:ss" from an hour
// up, else "m:ss".
std::string countdownText(float seconds);

// Paints the panel into a w x h bitmap from the animation (bars that got votes since the last paint
// throw confetti and shake); false, with nothing drawn, while no vote is active. The picture's bytes
// come from `photos`; `photoGeneration` is the photo cache's.
bool paintPoll(Canvas& canvas, PollAnimation& poll, const FrameState& state, int w, int h,
               const PhotoLookup& photos, std::uint64_t photoGeneration);

// One bar in `rect` with the winner's `emphasis` and `alpha`; throws confetti when its count rose.
void paintBar(Canvas& canvas, PollAnimation& poll, const FrameState& state, std::size_t index, const RectF& rect,
              float emphasis, float alpha);

// When the panel needs painting again: while anything on it moves (confetti, a shaking or growing
// bar, the closing animation, the winner's glow) `frame` is part of the key, so every frame paints;
// once it is still, the key is what it shows (the countdown's text among it), so an idle poll is
// uploaded once a second instead of every frame. A picture not yet shown is tried again when the
// photo cache's generation moves.
std::string pollPanelKey(const PollAnimation& poll, const FrameState& state, SizeI texture, std::uint64_t frame,
                         std::uint64_t photoGeneration);

}  // namespace lumvo

#pragma once
// The poll panel's animation, kept from frame to frame by the render thread: the hero box's split
// between the featured card and the panel, each bar's fill growing towards its share of the votes
// and its shake, the confetti new votes throw, and the clock of the closing animation. The compose
// step advances it every frame (stepPoll); when it paints the panel, it first gives it the votes
// that came in, with the bars where the panel is about to paint them (throwConfetti). The painter
// (overlay/poll.h) only draws from it.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "overlay/frame_state.h"
#include "overlay/canvas.h"

namespace lumvo {

// Only the first four bars of a poll are shown (and counted for the winner).
inline constexpr std::size_t kPollBarsShown = 4;
// At most this many confetti particles are alive: a poll flooded with votes (every bar jumping on
// every frame throws up to 112 a frame) keeps its particle list and its paint bounded; past the
// cap the oldest particles go first.
inline constexpr std::size_t kMaxConfetti = 360;

inline std::size_t pollBarCount(const FrameState& s) { return std::min(s.voteBars.size(), kPollBarsShown); }

struct Confetto {
    float x = 0, y = 0, vx = 0, vy = 0, age = 0, life = 0, size = 0;
    std::uint8_t r = 0, g = 0, b = 0;
};

struct PollAnimation {
    float split = 0;  // the featured card / poll split of the hero box, 0..1
    std::array<float, kPollBarsShown> fill{};
    std::array<float, kPollBarsShown> shake{};
    std::array<int, kPollBarsShown> lastCount{-1, -1, -1, -1};  // -1: not seen yet
    std::string pollKey;                                        // identity of the running poll (title and option ids)
    bool closed = false;                                        // the vote is over (closedAt is then set)
    double closedAt = 0;                                        // when the closed state began
    float closedTime = 0;                                       // seconds since the vote closed (0 while running)
    double now = 0;                  // the last step's time: the shake and the winner glow run on it
    std::vector<Confetto> confetti;  // in the panel's pixels
};

// Advances the animation to `now` (seconds) by `dt`; gives the split.
float stepPoll(PollAnimation& poll, double dt, double now, const FrameState& state, bool heroActive);

// Where the panel paints its bars this frame: a bar folded away is not painted.
struct PollBarPlaces {
    std::array<bool, kPollBarsShown> painted{};
    std::array<RectF, kPollBarsShown> rect{};
};

// The votes since the panel was last painted, taken just before it is painted again with its bars
// at `bars`: a painted bar whose count rose while the vote runs (not at its first sight) throws
// 10 + min(4 x the rise, 18) confetti from the end of its fill and shakes; every painted bar's
// count is remembered. Draws on the overlay's shared generator, bar by bar, each particle's height,
// speeds, size and life in that order.
void throwConfetti(PollAnimation& poll, const FrameState& state, const PollBarPlaces& bars);

// The width of bar `index`'s fill in `rect`: its share of the width, at least 0.8 x the bar's
// height once it has any, at most the whole width.
float barFillWidth(const PollAnimation& poll, std::size_t index, const RectF& rect);
// How far bar `index` is pushed sideways by its shake (0 once the vote closed).
float barShakeOffset(const PollAnimation& poll, std::size_t index);

// s(x) = x^2 (3 - 2x) on x clamped to 0..1, of the time since the vote closed: the losing bars
// fold over 0.55 s, the labels show from 0.1 s and the winner's glow grows from 0.18 s, each
// over 0.52 s. All 0 while the vote runs.
struct ClosingCurves {
    float fold = 0, show = 0, emphasis = 0;
};
ClosingCurves closingCurves(const PollAnimation& poll);

}  // namespace lumvo

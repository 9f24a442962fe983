#pragma once
// The word backdrops: while the featured card shows a guest's post, the TV behind the cards comes
// alive with particles chosen from its words ("birthday" fires confetti cannons, "love" sends hearts
// up ...), and a tip (hearts and coins) or a venue post (flames) starts one without any word. One
// pool of particles, stepped once a frame (triggers, bursts, streams, the chase, motion) and
// painted into the word-backdrop layer, which the overlay draws first, beneath every card.
//
// Render thread only. The particles draw from the overlay's one generator
// (overlay/particle_random.h), in a fixed order, so a run is the same from process start.
#include <array>
#include <cstddef>
#include <string>

#include "overlay/backdrops/particles.h"
#include "overlay/backdrops/spawners.h"
#include "overlay/frame_state.h"

namespace lumvo {

// The one-off bursts, each run once per backdrop.
enum class Burst : std::size_t {
    birthday,
    hearts,
    chase,
    cheers,
    congrats,
    dance,
    kiss,
    wedding,
    happy,
    sad,
    wow,
    coins,
    shots,
    sing,
    home,
    count
};
// The continuous streams, each with its own fraction of a particle carried to the next frame.
enum class Stream : std::size_t {
    birthday,
    hearts,
    cheers,
    congrats,
    danceSparkles,
    kiss,
    weddingRings,
    weddingSparkles,
    flames,
    bolts,
    happy,
    sad,
    wow,
    coins,
    sing,
    homeSparkles,
    count
};

struct WordBackdropLayer {
    ParticlePool pool;    // in spawn order: later particles are painted on top
    std::string postKey;  // the featured post the running backdrop started for; empty for none
    std::array<bool, static_cast<std::size_t>(Burst::count)> burstDone{};
    std::array<float, static_cast<std::size_t>(Stream::count)> accumulators{};
    // Set when a chase starts: the painter makes the emoji pictures it lacks.
    bool wantPictures = false;

    // Forgets everything (the renderer's release); the generator runs on.
    void reset();
};

// What one frame's trigger is.
struct BackdropTrigger {
    int group = 0;  // the keyword group, 0 for none
    bool tip = false, venue = false;
    bool hearts = false, flames = false, coins = false;
    bool any() const { return group != 0 || hearts || flames || coins; }
};
// The trigger for the frame's featured post; `shown` is heroActive and not edit mode.
BackdropTrigger backdropTrigger(const FrameState& state, bool heroActive);

// Whole particles a stream adds this frame at `rate` a second: tapered to nothing over the last
// min(0.34 x duration, 0.95) s of the post's time, the fraction kept in `accumulator`, never past
// the pool's limit.
int spawnCount(float& accumulator, float rate, const FrameState& state, double dt, std::size_t poolSize);

// One frame: the trigger and its clear, restart and fade rules, the bursts and streams, the chase,
// the motion and keep rules. `canvas` is the backdrop canvas, `dt` the frame step (0.001..0.05 s).
// With `calm` (the Calm effects setting) no bolt or shock ring is made: the flames of "wild" burn
// without lightning, and "wow" throws gentle sparkles instead of rings.
void stepBackdrops(WordBackdropLayer& layer, CanvasSize canvas, double dt, const FrameState& state, bool heroActive,
                   bool calm = false);

// The update pass alone: the two chase passes, then age, motion and keep for every particle.
void updateParticles(ParticlePool& pool, CanvasSize canvas, float dt);

}  // namespace lumvo

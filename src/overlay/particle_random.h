#pragma once
// The overlay's pseudo-random generator for particles: the poll panel's confetti now, the word
// backdrops' particles when they come. A 32-bit linear congruential generator that starts at
// 0x00C0FFEE when the module loads and is never reseeded, so that a run's animations are
// repeatable from process start. Render thread only.
#include <cstdint>

namespace lumvo {

inline constexpr std::uint32_t kParticleRandomSeed = 0x00C0FFEEu;

// Advances the state (state x 1664525 + 1013904223, modulo 2^32) and gives (state >> 8) / 2^24,
// a float in [0, 1).
float particleRandom();

}  // namespace lumvo

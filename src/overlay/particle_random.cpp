#include "overlay/particle_random.h"

namespace lumvo {
namespace {

std::uint32_t state = kParticleRandomSeed;

}  // namespace

float particleRandom() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
}

}  // namespace lumvo

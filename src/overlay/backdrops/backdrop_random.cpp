#include "overlay/backdrops/backdrop_random.h"

namespace lumvo {
namespace {

std::uint32_t state = kBackdropRandomSeed;

}  // namespace

float backdropRandom() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
}

std::uint32_t backdropRandomState() { return state; }

}  // namespace lumvo

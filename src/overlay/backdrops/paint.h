#pragma once
// The paint pass of the word backdrops: every particle of the pool in spawn order, faded over the
// last 28 % of its life (bolts and shock rings over all of it), drawn in its own frame (moved to its
// centre, turned by its rotation) on a canvas of the backdrop canvas' size.
#include <string_view>

#include "overlay/backdrops/particles.h"
#include "overlay/canvas.h"

namespace lumvo {

// The emoji the chase draws, when the system draws them in colour (UTF-8).
inline constexpr std::string_view kPeachEmoji = "\xF0\x9F\x8D\x91";      // U+1F351
inline constexpr std::string_view kAubergineEmoji = "\xF0\x9F\x8D\x86";  // U+1F346

// The chase's pictures; a null one is drawn as its vector fallback.
struct ChasePictures {
    const CanvasImage* peach = nullptr;
    const CanvasImage* aubergine = nullptr;
};

// The particle's opacity, 0..1.
float particleOpacity(const BackdropParticle& p);

// Paints the pool; `pulse` is the beat's scale (the disco balls swell with it). Returns the
// particles drawn (those with an alpha byte of 8 or more).
int paintBackdrops(Canvas& canvas, const ParticlePool& pool, float pulse, const ChasePictures& pictures);

}  // namespace lumvo

#pragma once
// The word backdrops' particles: one record per particle, the twenty kinds, the pool and its
// limit, the palettes the spawners pick colours from. Canvas pixels (the backdrop canvas, at most
// 1280 x 720), seconds and degrees throughout.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/argb.h"

namespace lumvo {

enum class ParticleKind : std::int32_t {
    Confetti,
    Heart,
    Peach,
    Aubergine,
    Glass,
    Streamer,
    Star,
    Sparkle,
    DiscoBall,
    Lips,
    Ring,
    Flame,
    Bolt,
    Raindrop,
    ShockRing,
    Coin,
    ShotGlass,
    Lime,
    Note,
    House,
};
inline constexpr int kParticleKindCount = 20;

struct BackdropParticle {
    float x = 0, y = 0;    // centre
    float vx = 0, vy = 0;  // pixels a second (a shock ring's vx: its radius' growth)
    float rotation = 0;    // degrees, clockwise on screen
    float spin = 0;        // degrees a second
    float size = 0, size2 = 0;
    float age = 0, life = 0;  // seconds; retired when age reaches life
    Argb colour = 0;          // 0x00RRGGBB, the alpha comes from the fade
    std::int32_t aux = 0;     // confetti: 0 rectangle, 1 diamond, 2 ellipse; coin: bounces
    ParticleKind kind = ParticleKind::Confetti;
};

using ParticlePool = std::vector<BackdropParticle>;

// The streams never take the pool past this; a burst is added whole.
inline constexpr std::size_t kBackdropPoolLimit = 640;
// The life of the kinds that only leave through the fade rules.
inline constexpr float kLongLife = 180.0f;

// Peach, aubergine, disco ball, shot glass, lime and house: they live kLongLife and walk the canvas.
bool longLived(ParticleKind kind);

}  // namespace lumvo

#include "overlay/backdrops/spawners.h"

#include <algorithm>
#include <array>

#include "overlay/particle_random.h"

namespace lumvo {
namespace {

using K = ParticleKind;

constexpr std::array<Argb, 10> kParty{0xFF7A18, 0xFFD166, 0xFF50A0, 0x50C8FF, 0xA855F7,
                                      0xFFFFFF, 0x22C55E, 0xEF4444, 0xFACC15, 0xF472B6};
constexpr std::array<Argb, 9> kHearts{0xEF4476, 0xF43F5E, 0xFFFFFF, 0xFB7185, 0xE11D48,
                                      0xFDA4AF, 0xFF50A0, 0xBE123C, 0xFECDD3};
constexpr std::array<Argb, 4> kGlass{0xECFEFF, 0xFDE047, 0xFFFFFF, 0xBAE6FD};
constexpr std::array<Argb, 6> kStreamer{0xFF7A18, 0xF472B6, 0x22C55E, 0x50C8FF, 0xFACC15, 0xA855F7};
constexpr std::array<Argb, 5> kGold{0xFACC15, 0xFDE047, 0xFFFFFF, 0xFBBF24, 0xFEF08A};
constexpr std::array<Argb, 5> kSparkle{0xFFFFFF, 0xFACC15, 0xC4B5FD, 0x7DD3FC, 0xF9A8D4};
constexpr std::array<Argb, 4> kGlow{0xFFFFFF, 0xFEF08A, 0xE2E8F0, 0xFDE68A};
constexpr std::array<Argb, 5> kLips{0xF43F5E, 0xFB7185, 0xE11D48, 0xFF50A0, 0xBE123C};
constexpr std::array<Argb, 4> kRing{0xFDE047, 0xFFFFFF, 0xD4AF37, 0xFEF08A};
constexpr std::array<Argb, 5> kFlame{0xEF4444, 0xF97316, 0xFACC15, 0xFB923C, 0xDC2626};
constexpr std::array<Argb, 5> kRain{0x38BDF8, 0x7DD3FC, 0x60A5FA, 0x93C5FD, 0xBAE6FD};
constexpr std::array<Argb, 4> kCoin{0xFACC15, 0xD4AF37, 0xFDE047, 0xA16207};
constexpr std::array<Argb, 5> kNote{0xFFFFFF, 0xC4B5FD, 0xFDE047, 0x7DD3FC, 0xFB7185};

float u() { return particleRandom(); }

template <std::size_t N>
Argb pick(const std::array<Argb, N>& palette) {
    const auto i = static_cast<std::size_t>(u() * static_cast<float>(N));
    return palette[std::min(i, N - 1)];
}

// + for fromLeft, - otherwise.
float side(bool fromLeft, float v) { return fromLeft ? v : -v; }

BackdropParticle& add(ParticlePool& pool, K kind) {
    BackdropParticle& p = pool.emplace_back();
    p.kind = kind;
    return p;
}

}  // namespace

bool longLived(ParticleKind k) {
    return k == K::Peach || k == K::Aubergine || k == K::DiscoBall || k == K::ShotGlass || k == K::Lime ||
           k == K::House;
}

void spawnConfettiCannon(ParticlePool& pool, CanvasSize c, int count, bool fromLeft) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Confetti);
        const float lane = i % 3 == 0 ? 0.22f : (i % 3 == 1 ? 0.5f : 0.78f);
        p.y = ((u() - 0.5f) * 0.18f + lane) * c.h;
        p.x = fromLeft ? -12 - u() * 18 : c.w + 12 + u() * 18;
        p.vx = side(fromLeft, (u() * 0.62f + 0.32f) * c.w);
        p.vy = -(u() * 0.52f + 0.12f) * c.h;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 720;
        p.size = u() * 16 + 7;
        p.size2 = u() * 7 + 3;
        if (u() < 0.18f) p.size = p.size2 = u() * 8 + 6;
        p.life = u() * 2.4f + 2.4f;
        p.colour = pick(kParty);
        if (u() < 0.22f) p.aux = 2;
        else p.aux = u() < 0.45f ? 1 : 0;
    }
}

void spawnHearts(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Heart);
        p.x = (u() * 0.9f + 0.05f) * c.w;
        p.y = c.h + 12 + u() * 50;
        // The first half of a big burst starts on screen.
        if (count >= 18 && i < count / 2) p.y = (u() * 0.78f + 0.28f) * c.h;
        p.vx = (u() - 0.5f) * 46;
        p.vy = -(u() * 90 + 48);
        p.rotation = (u() - 0.5f) * 18;
        p.spin = (u() - 0.5f) * 36;
        p.size = p.size2 = u() * 22 + 16;
        p.life = u() * 4.5f + 5.2f;
        p.colour = pick(kHearts);
    }
}

void spawnChase(ParticlePool& pool, CanvasSize c) {
    for (int i = 0; i < 7; ++i) {
        BackdropParticle& p = add(pool, K::Peach);
        p.x = (u() * 0.64f + 0.18f) * c.w;
        p.y = (u() * 0.64f + 0.18f) * c.h;
        p.vx = (u() - 0.5f) * 90;
        p.vy = (u() - 0.5f) * 90;
        p.rotation = (u() - 0.5f) * 20;
        p.spin = (u() - 0.5f) * 50;
        p.size = p.size2 = u() * 16 + 34;
        p.life = kLongLife;
        p.colour = 0xFF9248;
    }
    for (int i = 0; i < 9; ++i) {
        BackdropParticle& p = add(pool, K::Aubergine);
        const bool fromLeft = u() < 0.5f;
        p.x = fromLeft ? -24 - u() * 30 : c.w + 24 + u() * 30;
        p.y = (u() * 0.76f + 0.12f) * c.h;
        p.vx = side(fromLeft, 120);
        p.vy = (u() - 0.5f) * 70;
        p.rotation = (u() - 0.5f) * 16;
        p.spin = (u() - 0.5f) * 40;
        p.size = p.size2 = u() * 18 + 36;
        p.life = kLongLife;
        p.colour = 0x6C2494;
    }
}

void spawnCheers(ParticlePool& pool, CanvasSize c, int count) {
    if (count < 1) return;
    const int glasses = std::max(count / 3, 1);
    for (int i = 0; i < glasses; ++i) {
        BackdropParticle& p = add(pool, K::Glass);
        p.x = (u() * 0.8f + 0.1f) * c.w;
        p.y = c.h + 16 + u() * 28;
        p.vx = (u() - 0.5f) * 160;
        p.vy = -(u() * 280 + 200);
        p.rotation = (u() - 0.5f) * 24;
        p.spin = (u() - 0.5f) * 90;
        p.size = p.size2 = u() * 14 + 18;
        p.life = u() * 2.2f + 3.4f;
        p.colour = pick(kGlass);
    }
    for (int i = glasses; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Streamer);
        p.x = (u() * 0.88f + 0.06f) * c.w;
        p.y = c.h + 10 + u() * 24;
        p.vx = (u() - 0.5f) * 220;
        p.vy = -(u() * 240 + 140);
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 280;
        p.size = u() * 42 + 20;
        p.size2 = u() * 5 + 3;
        p.life = u() * 2.4f + 2.8f;
        p.colour = pick(kStreamer);
    }
}

void spawnStars(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Star);
        p.x = (u() * 0.88f + 0.06f) * c.w;
        p.y = (u() * 0.42f + 0.62f) * c.h;
        p.vx = (u() - 0.5f) * 70;
        p.vy = -(u() * 240 + 160);
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 80;
        p.size = p.size2 = u() * 18 + 12;
        p.life = u() * 2.6f + 3.4f;
        p.colour = pick(kGold);
    }
}

void spawnDiscoBalls(ParticlePool& pool, CanvasSize c) {
    for (int i = 0; i < 4; ++i) {
        BackdropParticle& p = add(pool, K::DiscoBall);
        p.x = (u() * 0.68f + 0.16f) * c.w;
        p.y = (u() * 0.52f + 0.16f) * c.h;
        p.vx = (u() - 0.5f) * 70;
        p.vy = (u() - 0.5f) * 50;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 90;
        p.size = p.size2 = u() * 16 + 30;
        p.life = kLongLife;
        p.colour = 0xD2DCE6;
    }
}

void spawnSparkles(ParticlePool& pool, CanvasSize c, int count, bool rising) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Sparkle);
        p.x = (u() * 0.92f + 0.04f) * c.w;
        p.y = rising ? (u() * 0.78f + 0.2f) * c.h : (u() * 0.84f + 0.08f) * c.h;
        p.vx = (u() - 0.5f) * (rising ? 28.0f : 70.0f);
        p.vy = rising ? -(u() * 46 + 20) : (u() - 0.5f) * 50;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 220;
        p.size = p.size2 = u() * 8 + (rising ? 5.0f : 6.0f);
        p.life = u() * 0.7f + 0.55f;
        p.colour = rising ? pick(kGlow) : pick(kSparkle);
    }
}

void spawnLips(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Lips);
        const bool fromLeft = u() < 0.5f;
        p.x = fromLeft ? -18 - u() * 40 : c.w + 18 + u() * 40;
        p.y = (u() * 0.8f + 0.1f) * c.h;
        p.vx = side(fromLeft, u() * 42 + 36);
        p.vy = (u() - 0.5f) * 28;
        p.rotation = (u() - 0.5f) * 30;
        p.spin = (u() - 0.5f) * 40;
        p.size = p.size2 = u() * 14 + 16;
        p.life = u() * 2.4f + 4.2f;
        p.colour = pick(kLips);
    }
}

void spawnRings(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Ring);
        p.x = (u() * 0.84f + 0.08f) * c.w;
        p.y = c.h + 10 + u() * 40;
        p.vx = (u() - 0.5f) * 28;
        p.vy = -(u() * 50 + 36);
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 50;
        p.size = p.size2 = u() * 12 + 10;
        p.life = u() * 3.2f + 5;
        p.colour = pick(kRing);
    }
}

void spawnFlames(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Flame);
        p.x = (u() * 0.96f + 0.02f) * c.w;
        p.y = c.h + 6 + u() * 18;
        p.vx = (u() - 0.5f) * 40;
        p.vy = -(u() * 170 + 90);
        p.rotation = (u() - 0.5f) * 18;
        p.spin = (u() - 0.5f) * 40;
        p.size = u() * 16 + 10;
        p.size2 = (u() * 0.6f + 1.4f) * p.size;
        p.life = u() * 0.7f + 0.55f;
        p.colour = pick(kFlame);
    }
}

void spawnBolts(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Bolt);
        const bool fromLeft = u() < 0.5f;
        p.x = fromLeft ? (u() * 0.22f + 0.08f) * c.w : (u() * 0.22f + 0.7f) * c.w;
        p.y = (u() * 0.76f + 0.12f) * c.h;
        p.vx = side(fromLeft, u() * 380 + 520);
        p.vy = (u() - 0.5f) * 80;
        p.rotation = u() * 6.28f;
        p.size = u() * 140 + 70;
        p.size2 = u() * 10 + 8;
        p.life = u() * 0.16f + 0.12f;
        p.colour = u() < 0.35f ? 0xFEF08A : 0xBAE6FD;
    }
}

void spawnSunshine(ParticlePool& pool, CanvasSize c, int count, bool fromLeft) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Confetti);
        p.y = (u() * 0.64f + 0.18f) * c.h;
        p.x = fromLeft ? -10 - u() * 16 : c.w + 10 + u() * 16;
        p.vx = side(fromLeft, (u() * 0.42f + 0.22f) * c.w);
        p.vy = -(u() * 0.28f + 0.06f) * c.h;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 480;
        p.size = u() * 14 + 8;
        p.size2 = u() * 8 + 4;
        p.aux = u() < 0.5f ? 2 : 1;
        p.life = u() * 1.8f + 2;
        p.colour = pick(kGold);
    }
}

void spawnRain(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Raindrop);
        p.x = u() * c.w;
        p.y = -12 - u() * 80;
        p.vx = -18 - u() * 16;
        p.vy = u() * 90 + 70;
        p.rotation = u() * 8 + 12;
        p.size = u() * 1.6f + 2.2f;
        p.size2 = u() * 12 + 10;
        p.life = u() * 2.4f + 3.6f;
        p.colour = pick(kRain);
    }
}

void spawnShockRings(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::ShockRing);
        p.x = (u() * 0.76f + 0.12f) * c.w;
        p.y = (u() * 0.76f + 0.12f) * c.h;
        p.vx = u() * 90 + 70;
        p.size = p.size2 = u() * 8 + 10;
        p.life = u() * 0.32f + 0.5f;
        p.colour = 0xFFFFFF;
    }
}

void spawnCoins(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Coin);
        p.x = (u() * 0.9f + 0.05f) * c.w;
        p.y = -16 - u() * 50;
        p.vx = (u() - 0.5f) * 70;
        p.vy = u() * 90 + 50;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 420;
        p.size = p.size2 = u() * 10 + 10;
        p.life = u() * 2.2f + 3.8f;
        p.colour = pick(kCoin);
    }
}

void spawnShots(ParticlePool& pool, CanvasSize c) {
    for (int i = 0; i < 6; ++i) {
        BackdropParticle& p = add(pool, K::ShotGlass);
        const bool fromLeft = u() < 0.5f;
        p.x = fromLeft ? -20 : c.w + 20;
        p.y = (u() * 0.68f + 0.16f) * c.h;
        p.vx = side(fromLeft, u() * 80 + 90);
        p.vy = (u() - 0.5f) * 80;
        p.rotation = (u() - 0.5f) * 16;
        p.spin = (u() - 0.5f) * 70;
        p.size = p.size2 = u() * 10 + 22;
        p.life = kLongLife;
        p.colour = 0xE2E8F0;
    }
    for (int i = 0; i < 7; ++i) {
        BackdropParticle& p = add(pool, K::Lime);
        const bool fromLeft = u() < 0.5f;
        p.x = fromLeft ? -16 : c.w + 16;
        p.y = (u() * 0.72f + 0.14f) * c.h;
        p.vx = side(fromLeft, u() * 90 + 70);
        p.vy = (u() - 0.5f) * 90;
        p.rotation = u() * 360;
        p.spin = (u() - 0.5f) * 120;
        p.size = p.size2 = u() * 10 + 16;
        p.life = kLongLife;
        p.colour = 0x84CC16;
    }
}

void spawnNotes(ParticlePool& pool, CanvasSize c, int count) {
    for (int i = 0; i < count; ++i) {
        BackdropParticle& p = add(pool, K::Note);
        p.x = (u() * 0.88f + 0.06f) * c.w;
        p.y = c.h + 12 + u() * 36;
        p.vx = (u() - 0.5f) * 40;
        p.vy = -(u() * 80 + 50);
        p.rotation = (u() - 0.5f) * 16;
        p.spin = (u() - 0.5f) * 30;
        p.size = p.size2 = u() * 16 + 14;
        p.life = u() * 3.2f + 4.8f;
        p.colour = pick(kNote);
    }
}

void spawnHouses(ParticlePool& pool, CanvasSize c) {
    for (int i = 0; i < 4; ++i) {
        BackdropParticle& p = add(pool, K::House);
        p.x = (u() * 0.72f + 0.14f) * c.w;
        p.y = (u() * 0.56f + 0.22f) * c.h;
        p.vx = (u() - 0.5f) * 28;
        p.vy = (u() - 0.5f) * 18;
        p.rotation = (u() - 0.5f) * 8;
        p.spin = (u() - 0.5f) * 12;
        p.size = p.size2 = u() * 16 + 28;
        p.life = kLongLife;
        p.colour = i % 2 == 0 ? 0xFB923C : 0xF472B6;
    }
}

}  // namespace lumvo

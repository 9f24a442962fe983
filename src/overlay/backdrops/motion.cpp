// The update pass of the word backdrops: the chase between peaches and aubergines, then each
// particle's age, motion and keep rules.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "overlay/backdrops/backdrop_layer.h"
#include "overlay/particle_random.h"

namespace lumvo {
namespace {

using K = ParticleKind;

void capSpeed(BackdropParticle& p, float cap) {
    const float speed = std::sqrt(p.vx * p.vx + p.vy * p.vy);
    if (speed > cap && speed > 0.001f) {
        p.vx *= cap / speed;
        p.vy *= cap / speed;
    }
}

// The nearest particle of `kind` to `p` whose squared distance is above `minSquared`; null for none.
const BackdropParticle* nearest(const ParticlePool& pool, const BackdropParticle& p, K kind, float minSquared) {
    const BackdropParticle* best = nullptr;
    float bestSquared = 0;
    for (const BackdropParticle& q : pool) {
        if (q.kind != kind) continue;
        const float dx = p.x - q.x, dy = p.y - q.y, squared = dx * dx + dy * dy;
        if (squared <= minSquared) continue;
        if (!best || squared < bestSquared) {
            best = &q;
            bestSquared = squared;
        }
    }
    return best;
}

void chase(ParticlePool& pool, CanvasSize c, float dt) {
    for (BackdropParticle& p : pool) {
        if (p.kind != K::Peach) continue;
        p.vx += (particleRandom() - 0.5f) * 160 * dt;
        p.vy += (particleRandom() - 0.5f) * 160 * dt;
        if (const BackdropParticle* a = nearest(pool, p, K::Aubergine, 1.0f)) {
            const float dx = p.x - a->x, dy = p.y - a->y, d = std::sqrt(dx * dx + dy * dy);
            const float nx = dx / d, ny = dy / d;
            if (d < 170) {
                const float push = (d < 52 ? 1600.0f : 620.0f) * dt;
                p.vx += nx * push;
                p.vy += ny * push;
            }
            if (d < 38) {
                p.vx += nx * 480;
                p.vy += ny * 480;
            }
        }
        capSpeed(p, 0.28f * c.w);
    }
    for (BackdropParticle& a : pool) {
        if (a.kind != K::Aubergine) continue;
        if (const BackdropParticle* p = nearest(pool, a, K::Peach, -1.0f)) {
            const float ax = p->x + p->vx * 0.18f - a.x, ay = p->y + p->vy * 0.18f - a.y;
            const float len = std::max(std::sqrt(ax * ax + ay * ay), 8.0f);
            a.vx += ax / len * 980 * dt;
            a.vy += ay / len * 980 * dt;
        }
        a.vx += std::sin(a.age * 7) * 40 * dt;
        capSpeed(a, 0.42f * c.w);
    }
}

void boxMove(BackdropParticle& p, CanvasSize c, float dt) {
    p.x += p.vx * dt;
    p.y += p.vy * dt;
    p.rotation += p.spin * dt;
    const float m = 0.38f * p.size;
    if (p.x < m) p.x = m, p.vx = std::fabs(p.vx);
    if (p.x > c.w - m) p.x = c.w - m, p.vx = -std::fabs(p.vx);
    if (p.y < m) p.y = m, p.vy = std::fabs(p.vy);
    if (p.y > c.h - m) p.y = c.h - m, p.vy = -std::fabs(p.vy);
}

void walk(BackdropParticle& p, CanvasSize c, float dt, float jx, float jy, float cap) {
    p.vx += (particleRandom() - 0.5f) * jx * dt;
    p.vy += (particleRandom() - 0.5f) * jy * dt;
    capSpeed(p, cap * c.w);
    boxMove(p, c, dt);
}

void rise(BackdropParticle& p, float dt, float g, float vmax, float sway) {
    p.vy = std::min(p.vy - g * dt, vmax);
    p.vx += std::sin(p.age * 1.7f + p.rotation) * sway * dt;
    p.vx *= 1 - 0.22f * dt;
    p.x += p.vx * dt;
    p.y += p.vy * dt;
    p.rotation += (std::sin(p.age * 2.1f) * 10 + p.spin) * dt;
}

void toss(BackdropParticle& p, float dt) {
    p.vy += 420 * dt;
    p.vx += std::sin(p.age * 6 + p.rotation) * 40 * dt;
    p.vx *= 1 - 0.12f * dt;
    p.x += p.vx * dt;
    p.y += p.vy * dt;
    p.rotation += p.spin * dt;
}

void drift(BackdropParticle& p, float dt, float g, float sway) {
    p.vy += g * dt;
    p.vx *= 1 - 0.04f * dt;
    p.x += p.vx * dt;
    p.y += (p.vy + std::sin(p.age * 2.4f + p.rotation) * sway) * dt;
    p.rotation += p.spin * dt;
}

// The motion rule of the particle's kind, then whether it stays (inside its kind's bounds).
bool moveAndKeep(BackdropParticle& p, CanvasSize c, float dt) {
    const float W = c.w, H = c.h;
    switch (p.kind) {
        case K::Confetti:
            p.vy += 820 * dt;
            p.vx += std::sin(p.age * 11 + p.rotation) * 90 * dt;
            p.vx *= 1 - 0.18f * dt;
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            p.rotation += p.spin * dt;
            return p.y < H + 40 && p.x > -60 && p.x < W + 60;
        case K::Heart: rise(p, dt, 78, -28, 58); return p.y > -80 && p.x > -90 && p.x < W + 90;
        case K::Ring: rise(p, dt, 42, -16, 58); return p.y > -80 && p.x > -90 && p.x < W + 90;
        case K::Note: rise(p, dt, 78, -28, 42); return p.y > -80 && p.x > -90 && p.x < W + 90;
        case K::Peach:
        case K::Aubergine: boxMove(p, c, dt); return true;
        case K::Glass:
        case K::Streamer: toss(p, dt); return p.y < H + 50 && p.x > -80 && p.x < W + 80;
        case K::Star:
            p.vy = std::min(p.vy + 210 * dt, 22.0f);
            p.vx *= 1 - 0.18f * dt;
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            p.rotation += p.spin * dt;
            return p.y > -50 && p.y < H + 40;
        case K::Sparkle: drift(p, dt, 12, 8); return p.x > -80 && p.x < W + 80 && p.y > -40 && p.y < H + 40;
        case K::Lips: drift(p, dt, 8, 18); return p.x > -80 && p.x < W + 80 && p.y > -40 && p.y < H + 40;
        case K::DiscoBall:
        case K::ShotGlass:
        case K::Lime: walk(p, c, dt, 70, 70, 0.22f); return true;
        case K::House: walk(p, c, dt, 20, 14, 0.08f); return true;
        case K::Flame:
            p.vy -= 70 * dt;
            p.vx += std::sin(p.age * 9 + p.rotation) * 50 * dt;
            p.vx *= 1 - 0.35f * dt;
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            p.rotation += p.spin * dt;
            p.size *= 1 - 0.35f * dt;
            p.size2 *= 1 + 0.45f * dt;
            return p.y > -40;
        case K::Bolt:
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            return p.x > -120 && p.x < W + 120;
        case K::Raindrop:
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            return p.y < H + 30;
        case K::ShockRing:
            p.size += p.vx * dt;
            p.size2 = p.size;
            return true;
        case K::Coin: {
            p.vy += 780 * dt;
            p.x += p.vx * dt;
            p.y += p.vy * dt;
            p.rotation += p.spin * dt;
            const float floor = H - 0.55f * p.size2;
            if (p.y > floor) {
                p.vx *= 0.78f;
                p.aux += 1;
                p.y = floor;
                p.vy = -0.42f * std::fabs(p.vy);
                // After its third landing a coin fades out.
                if (p.aux >= 3 && p.life > p.age + 0.35f) p.life = p.age + 0.32f;
            }
            return p.x > -40 && p.x < W + 40;
        }
    }
    return false;  // a kind this build does not know
}

}  // namespace

void updateParticles(ParticlePool& pool, CanvasSize canvas, float dt) {
    chase(pool, canvas, dt);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pool.size(); ++i) {
        BackdropParticle& p = pool[i];
        p.age += dt;
        const bool inside = moveAndKeep(p, canvas, dt);
        if (inside && p.life > p.age) pool[kept++] = p;
    }
    pool.resize(kept);
}

}  // namespace lumvo

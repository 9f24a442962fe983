#include "overlay/backdrops/paint.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumvo {
namespace {

using K = ParticleKind;

Argb withAlpha(Argb rgb, int alpha) { return (static_cast<Argb>(alpha) << 24) | (rgb & 0xFFFFFFu); }
int scaled(int a, float k) { return static_cast<int>(static_cast<float>(a) * k); }

void diamond(Canvas& c, float s, float t, Argb colour) {
    const std::array<PointF, 4> points{{{0, -0.55f * t}, {0.45f * s, 0}, {0, 0.55f * t}, {-0.45f * s, 0}}};
    c.fillPolygon(points, colour);
}

void peach(Canvas& c, float S, int A) {
    c.fillEllipse({-0.5f * S, -0.4f * S, 0.98f * S, 0.92f * S}, withAlpha(0xFF9248, A));
    c.fillEllipse({0.04f * S, -0.02f * S, 0.28f * S, 0.24f * S}, withAlpha(0xEB5840, scaled(A, 0.7f)));
    c.line({0, -0.22f * S}, {0, 0.38f * S}, std::max(0.055f * S, 1.6f), withAlpha(0xD65C30, A));
    c.fillRect({-0.035f * S, -0.52f * S, 0.07f * S, 0.16f * S}, withAlpha(0x5A4628, A));
    c.fillEllipse({0.02f * S, -0.58f * S, 0.36f * S, 0.18f * S}, withAlpha(0x2EA848, A));
}

void aubergine(Canvas& c, float S, int A) {
    c.fillEllipse({-0.34f * S, -0.22f * S, 0.68f * S, 0.98f * S}, withAlpha(0x6C2494, A));
    c.fillEllipse({-0.18f * S, -0.04f * S, 0.18f * S, 0.42f * S}, withAlpha(0xB478D2, scaled(A, 0.55f)));
    const std::array<PointF, 5> cap{{{-0.24f * S, -0.18f * S},
                                     {0.24f * S, -0.18f * S},
                                     {0.14f * S, -0.48f * S},
                                     {0, -0.58f * S},
                                     {-0.14f * S, -0.48f * S}}};
    c.fillPolygon(cap, withAlpha(0x2A8E3E, A));
}

void shape(Canvas& c, const BackdropParticle& p, int A, float a, float pulse, const ChasePictures& pictures) {
    const float s = p.size, t = p.size2, S = std::max(s, t);
    const Argb main = withAlpha(p.colour, A);
    switch (p.kind) {
        case K::Confetti:
            if (p.aux == 2) c.fillEllipse({-s / 2, -t / 2, s, t}, main);
            else if (p.aux == 1) diamond(c, s, t, main);
            else c.fillRect({-s / 2, -t / 2, s, t}, main);
            return;
        case K::Heart: {
            const std::array<PointF, 8> points{{{0, 0.52f * S},
                                                {-0.58f * S, 0.02f * S},
                                                {-0.48f * S, -0.38f * S},
                                                {-0.16f * S, -0.52f * S},
                                                {0, -0.22f * S},
                                                {0.16f * S, -0.52f * S},
                                                {0.48f * S, -0.38f * S},
                                                {0.58f * S, 0.02f * S}}};
            c.fillClosedCurve(points, main);
            return;
        }
        case K::Peach:
        case K::Aubergine: {
            const CanvasImage* picture = p.kind == K::Peach ? pictures.peach : pictures.aubergine;
            if (picture) c.drawImage(*picture, {-S / 2, -S / 2, S, S}, a);
            else if (p.kind == K::Peach) peach(c, S, A);
            else aubergine(c, S, A);
            return;
        }
        case K::Glass:
            c.fillEllipse({-0.38f * S, -0.42f * S, 0.76f * S, 0.42f * S}, main);
            c.fillRect({-0.22f * S, -0.18f * S, 0.44f * S, 0.22f * S}, withAlpha(0xFACC15, scaled(A, 0.55f)));
            c.fillRect({-0.045f * S, -0.02f * S, 0.09f * S, 0.42f * S}, withAlpha(0xE2E8F0, A));
            c.fillEllipse({-0.2f * S, 0.34f * S, 0.4f * S, 0.12f * S}, withAlpha(0xE2E8F0, A));
            return;
        case K::Streamer: c.fillRect({-s / 2, -t / 2, s, t}, main); return;
        case K::Raindrop: c.fillEllipse({-s / 2, -t / 2, s, t}, main); return;
        case K::Star: {
            std::array<PointF, 10> points;
            for (int i = 0; i < 10; ++i) {
                const float angle = static_cast<float>(i) * 0.6283185f - 1.5707963f;
                const float radius = (i % 2 == 0 ? 0.55f : 0.36f) * S;
                points[static_cast<std::size_t>(i)] = {std::cos(angle) * radius, std::sin(angle) * radius};
            }
            c.fillPolygon(points, main);
            return;
        }
        case K::Sparkle: diamond(c, s, t, main); return;
        case K::DiscoBall: {
            const float k = std::max(0.0f, 28 * (pulse - 1));
            const float r = (0.48f + 0.08f * k) * S;
            c.fillEllipse({-r, -r, 2 * r, 2 * r}, withAlpha(0xD2DCEB, A));
            const Argb pen = withAlpha(0x94A3B8, scaled(A, 0.55f));
            const float width = std::max(0.04f * S, 1.2f);
            c.strokeEllipse({-r, -r, 2 * r, 2 * r}, width, pen);
            c.line({-r, 0}, {r, 0}, width, pen);
            c.line({0, -r}, {0, r}, width, pen);
            c.fillEllipse({-0.22f * r, -0.42f * r, 0.28f * r, 0.22f * r}, withAlpha(0xFFFFFF, A));
            return;
        }
        case K::Lips: {
            const std::array<PointF, 7> points{{{-0.52f * S, -0.04f * S},
                                                {-0.22f * S, -0.32f * S},
                                                {0, -0.08f * S},
                                                {0.22f * S, -0.32f * S},
                                                {0.52f * S, -0.04f * S},
                                                {0.18f * S, 0.32f * S},
                                                {-0.18f * S, 0.32f * S}}};
            c.fillClosedCurve(points, main);
            return;
        }
        case K::Ring:
            c.strokeEllipse({-0.42f * S, -0.42f * S, 0.84f * S, 0.84f * S}, std::max(0.16f * S, 2.2f), main);
            c.fillEllipse({0.18f * S, -0.12f * S, 0.16f * S, 0.16f * S}, main);
            return;
        case K::Flame: {
            const std::array<PointF, 6> points{{{0, -0.55f * t},
                                                {0.28f * s, -0.1f * t},
                                                {0.38f * s, 0.38f * t},
                                                {0, 0.5f * t},
                                                {-0.38f * s, 0.38f * t},
                                                {-0.22f * s, -0.08f * t}}};
            c.fillClosedCurve(points, main);
            return;
        }
        case K::Bolt: {
            std::array<PointF, 7> points;
            for (int i = 0; i < 7; ++i) {
                const float wave = (0.55f + 0.45f * std::sin(static_cast<float>(i) + p.rotation)) * t;
                points[static_cast<std::size_t>(i)] = {static_cast<float>(i) / 6 * s - s / 2, i % 2 ? wave : -wave};
            }
            c.polyline(points, std::max(0.55f * t, 4.0f), withAlpha(p.colour, scaled(A, 0.55f)));
            c.polyline(points, std::max(0.28f * t, 2.4f), withAlpha(0xFFFFFF, A));
            return;
        }
        case K::ShockRing:
            c.strokeEllipse({-s, -s, 2 * s, 2 * s}, std::max(0.06f * s, 2.5f), withAlpha(0xFFFFFF, A));
            c.strokeEllipse({-0.72f * s, -0.72f * s, 1.44f * s, 1.44f * s}, std::max(0.04f * s, 1.6f),
                            withAlpha(0xFDE047, scaled(A, 0.45f)));
            return;
        case K::Coin:
            c.fillEllipse({-s / 2, -t / 2, s, t}, main);
            c.strokeEllipse({-0.32f * s, -0.32f * t, 0.64f * s, 0.64f * t}, std::max(0.08f * s, 1.4f),
                            withAlpha(0xA16207, A));
            return;
        case K::ShotGlass: {
            const std::array<PointF, 4> points{
                {{-0.22f * S, -0.38f * S}, {0.22f * S, -0.38f * S}, {0.16f * S, 0.32f * S}, {-0.16f * S, 0.32f * S}}};
            c.fillPolygon(points, withAlpha(0xE2E8F0, A));
            c.fillRect({-0.16f * S, -0.08f * S, 0.32f * S, 0.34f * S}, withAlpha(0xFBBF24, scaled(A, 0.7f)));
            return;
        }
        case K::Lime:
            c.fillEllipse({-0.48f * S, -0.42f * S, 0.96f * S, 0.84f * S}, withAlpha(0x84CC16, A));
            c.fillEllipse({-0.18f * S, -0.16f * S, 0.36f * S, 0.32f * S}, withAlpha(0xBEF264, scaled(A, 0.7f)));
            return;
        case K::Note: {
            c.fillEllipse({-0.42f * S, 0.08f * S, 0.48f * S, 0.34f * S}, main);
            c.fillRect({0.02f * S, -0.5f * S, 0.1f * S, 0.72f * S}, main);
            const std::array<PointF, 3> flag{
                {{0.12f * S, -0.5f * S}, {0.48f * S, -0.28f * S}, {0.12f * S, -0.18f * S}}};
            c.fillPolygon(flag, main);
            return;
        }
        case K::House: {
            c.fillRect({-0.38f * S, -0.08f * S, 0.76f * S, 0.56f * S}, main);
            const std::array<PointF, 3> roof{{{-0.48f * S, -0.08f * S}, {0, -0.52f * S}, {0.48f * S, -0.08f * S}}};
            c.fillPolygon(roof, withAlpha(0xB91C1C, A));
            c.fillRect({-0.08f * S, 0.12f * S, 0.16f * S, 0.36f * S}, withAlpha(0x451A03, A));
            const Argb window = withAlpha(0xFDE047, scaled(A, 0.9f));
            c.fillRect({-0.3f * S, 0.04f * S, 0.14f * S, 0.14f * S}, window);
            c.fillRect({0.16f * S, 0.04f * S, 0.14f * S, 0.14f * S}, window);
            return;
        }
    }
}

}  // namespace

float particleOpacity(const BackdropParticle& p) {
    if (p.kind == K::Bolt || p.kind == K::ShockRing) return std::max(0.0f, 1 - p.age / std::max(p.life, 0.06f));
    if (p.life <= 0 || p.age <= 0.72f * p.life) return 1;
    return std::max(0.0f, (p.life - p.age) / (0.28f * p.life));
}

int paintBackdrops(Canvas& canvas, const ParticlePool& pool, float pulse, const ChasePictures& pictures) {
    int drawn = 0;
    for (const BackdropParticle& p : pool) {
        const float a = particleOpacity(p);
        const int A = std::clamp(static_cast<int>(a * 255), 0, 255);
        if (A < 8) continue;
        canvas.pushTransform(p.x, p.y, p.rotation);
        shape(canvas, p, A, a, pulse, pictures);
        canvas.popTransform();
        ++drawn;
    }
    return drawn;
}

}  // namespace lumvo

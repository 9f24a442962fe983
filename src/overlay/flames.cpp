#include "overlay/flames.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace lumvo {
namespace {

constexpr char kFireEmoji[] = "\xF0\x9F\x94\xA5";  // U+1F525

bool flameSized(const RectF& r) { return r.w >= 12 && r.h >= 12; }

}  // namespace

double flameCycleTime(double now) {
    if (!std::isfinite(now)) return 0;
    double t = std::fmod(now, kFlameCycleSeconds);
    if (t < 0) t += kFlameCycleSeconds;
    return t >= kFlameCycleSeconds ? 0 : t;
}

float flameEnvelope(double t) {
    if (t < 0 || t >= kFlameShowSeconds) return 0;
    if (t < 0.35) return static_cast<float>(t / 0.35);
    if (t > 3.8) return static_cast<float>(std::max((kFlameShowSeconds - t) / 0.7, 0.0));
    return 1;
}

FlameSize flameSizeFor(const RectF& r) {
    const float largest = r.w > 220 ? 44.0f : 28.0f;
    return {std::max(std::min(largest, 0.22f * r.h), 16.0f), r.w * r.h > 42000 ? 12 : 8};
}

std::vector<FlameDraw> flamesFor(const RectF& r, double t) {
    std::vector<FlameDraw> out;
    if (!flameSized(r)) return out;
    const float env = flameEnvelope(t);
    if (env <= 0) return out;
    const FlameSize size = flameSizeFor(r);
    const float s = size.sprite;
    for (int i = 0; i < size.count; ++i) {
        const double raw = static_cast<double>(i) / size.count + 0.42 * t;
        const auto p = static_cast<float>(raw - std::floor(raw));
        float a = env;
        if (p < 0.12f) a = (p / 0.12f) * env;
        else if (p > 0.72f) a = ((1 - p) / 0.28f) * env;
        const float alpha = std::clamp(a, 0.0f, 1.0f) * 0.78f;
        if (alpha < 0.04f) continue;
        const float left = r.x + (0.1f + 0.2f * static_cast<float>(i % 5)) * r.w +
                           5.0f * static_cast<float>(std::sin(1.1 * i + 2.2 * t)) - 0.5f * s;
        const float top = r.y + r.h - 0.85f * s - (r.h - 0.25f * s) * p;
        out.push_back({{left, top, s, s}, alpha});
    }
    return out;
}

int drawFlames(Canvas& canvas, const CanvasImage& sprite, const std::vector<RectF>& rects, double t) {
    int drawn = 0;
    const std::size_t n = std::min(rects.size(), kMaxFlameRects);
    for (std::size_t k = 0; k < n; ++k) {
        const RectF& r = rects[k];
        if (!flameSized(r)) continue;
        canvas.pushClip({r, std::min(0.22f * r.h, 18.0f)});
        for (const FlameDraw& flame : flamesFor(r, t)) {
            canvas.drawImage(sprite, flame.dest, flame.alpha);
            ++drawn;
        }
        canvas.popClip();
    }
    return drawn;
}

bool emojiSpriteDrawn(const CanvasImage& sprite) {
    int inked = 0;
    for (int y = 0; y < sprite.height(); y += 2)
        for (int x = 0; x < sprite.width(); x += 2)
            if (sprite.alphaAt(x, y) >= 25) ++inked;
    return inked >= 31;
}

bool FlameLayer::paintFlames(LayerTarget& target, int w, int h, const std::vector<RectF>& rects, double now) {
    const double t = flameCycleTime(now);
    if (flameEnvelope(t) <= 0 || w < 8 || h < 8) return false;
    const std::size_t n = std::min(rects.size(), kMaxFlameRects);
    if (std::none_of(rects.begin(), rects.begin() + static_cast<std::ptrdiff_t>(n), flameSized)) return false;
    // A failed sprite is not made again for a while: rendering it is text-engine work.
    if (!sprite_ && failed_ && now >= failedAt_ && now - failedAt_ < kFlameSpriteRetrySeconds) return false;

    bool drawn = false;
    const std::string key = "flames " + std::to_string(++paints_);  // a new picture every paint
    const bool painted = target.paintLayer(LayerSlot::flames, w, h, key, [&](Canvas& canvas) {
        if (!sprite_) {
            ++renders_;
            std::unique_ptr<CanvasImage> sprite = canvas.renderEmoji(kFireEmoji);
            if (!sprite || !emojiSpriteDrawn(*sprite)) {
                failed_ = true;
                failedAt_ = now;
                return;
            }
            sprite_ = std::move(sprite);
            failed_ = false;
        }
        const int sprites = drawFlames(canvas, *sprite_, rects, t);
        spritesPainted_ += static_cast<std::uint64_t>(sprites);
        drawn = sprites > 0;
    });
    return painted && drawn;
}

}  // namespace lumvo

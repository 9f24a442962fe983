#include "overlay/compose.h"

#include <algorithm>
#include <cmath>

#include "overlay/toolkit.h"

namespace lumvo {

namespace {

RectF boxIn(const BoxRect& b, float W, float H) { return {W * b.x, H * b.y, W * b.w, H * b.h}; }

SizeI textureFor(const RectF& r, int minW, int minH) {
    return {std::max(static_cast<int>(r.w), minW), std::max(static_cast<int>(r.h), minH)};
}

RectF lerp(const RectF& a, const RectF& b, float e) {
    return {a.x + (b.x - a.x) * e, a.y + (b.y - a.y) * e, a.w + (b.w - a.w) * e, a.h + (b.h - a.h) * e};
}

// Length-prefixed, so that no field's text can pass for another's.
void add(std::string& key, std::string_view field) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
}
void add(std::string& key, std::uint64_t number) { add(key, std::to_string(number)); }

void addPost(std::string& key, const FeedItem& p) {
    for (const std::string* field : {&p.id, &p.type, &p.name, &p.text, &p.photo, &p.reactions, &p.color})
        add(key, *field);
    key += p.hot ? 'h' : '-';
}

void addLook(std::string& key, const FrameState& s, SizeI texture) {
    add(key, s.theme);
    for (Argb colour : s.palette) add(key, colour);
    add(key, static_cast<std::uint64_t>(texture.w));
    add(key, static_cast<std::uint64_t>(texture.h));
}

}  // namespace

SizeI backdropCanvasSize(int W, int H) {
    const double s = std::min({1280.0 / W, 720.0 / H, 1.0});
    return {std::max(static_cast<int>(std::lround(W * s)), 320), std::max(static_cast<int>(std::lround(H * s)), 180)};
}

ComposeGeometry composeGeometry(int W, int H, const FrameState& s) {
    ComposeGeometry g;
    const auto fw = static_cast<float>(W), fh = static_cast<float>(H);
    g.target = {0, 0, fw, fh};
    g.chat = boxIn(s.chatBox, fw, fh);
    g.qr = boxIn(s.qrBox, fw, fh);
    g.hero = boxIn(s.heroBox, fw, fh);
    g.chatTexture = textureFor(g.chat, 64, 64);
    g.qrTexture = textureFor(g.qr, 64, 64);
    g.heroTexture = textureFor(g.hero, 80, 64);
    g.backdropCanvas = backdropCanvasSize(W, H);
    return g;
}

bool heroActive(const FrameState& s) { return !s.featuredId.empty() && s.heroElapsed < s.duration; }

bool pollShown(const FrameState& s) { return s.voteActive && !s.editMode; }

HeroPlacement heroPlacement(const RectF& hero, bool poll, float split) {
    HeroPlacement p;
    p.featured = hero;
    if (poll) {
        const float half = hero.w * 0.5f * split;
        p.featured = {hero.x, hero.y, std::max(half, 8.0f), hero.h};
        p.poll = {hero.x + half + 14 * split, hero.y, std::max(hero.w - half - 14 * split, 40.0f), hero.h};
        p.pollTexture = textureFor(p.poll, 120, 80);
    }
    return p;
}

RectF scaledAbout(const RectF& r, float factor) {
    const float w = r.w * factor, h = r.h * factor;
    return {r.x + (r.w - w) / 2, r.y + (r.h - h) / 2, w, h};
}

CardMotion featuredMotion(const FrameState& s, const ComposeGeometry& g, const HeroPlacement& placement,
                          const std::vector<FeedRecord>& records, float split) {
    CardMotion m{g.hero, s.opacity, s.pulse};
    if (s.editMode) return m;
    if (pollShown(s)) {
        m.rect = placement.featured;
        m.alpha = std::min(split * 1.15f, 1.0f) * s.opacity;
        return m;
    }
    const float d = s.duration;
    const auto t = static_cast<float>(s.heroElapsed);
    const float inTime = std::min(d * 0.22f, 0.55f), outTime = std::min(d * 0.34f, 0.95f);

    const float sx = g.chat.w / static_cast<float>(g.chatTexture.w),
                sy = g.chat.h / static_cast<float>(g.chatTexture.h);
    const auto record =
        std::find_if(records.begin(), records.end(), [&](const FeedRecord& r) { return r.id == s.featuredId; });
    RectF anchor{g.chat.x + 10 * sx, g.chat.bottom() - 0.22f * g.chat.h, g.chat.w - 20 * sx, 0.18f * g.chat.h};
    if (record != records.end())
        anchor = {g.chat.x + record->rect.x * sx, g.chat.y + record->rect.y * sy, record->rect.w * sx,
                  record->rect.h * sy};

    if (t < inTime) {
        const float e = smootherstep(t / inTime);
        if (record != records.end() && record->drawn) {
            m.rect = lerp(anchor, g.hero, e);
            m.alpha = std::max(e, 0.35f) * s.opacity;
        } else {
            m.pulse *= 0.78f + 0.22f * e;
            m.alpha = e * s.opacity;
        }
    } else if (t > d - outTime) {
        const float e = smootherstep((d - t) / outTime);
        m.rect = lerp(anchor, g.hero, e);
        m.alpha = std::max(e, 0.12f) * s.opacity;
    }
    return m;
}

std::vector<LayerDraw> layerOrder(const FrameState& s, const ComposeGeometry& g, const HeroPlacement& placement,
                                  const CardMotion& motion, const LayerInputs& in) {
    std::vector<LayerDraw> out;
    const bool poll = pollShown(s);
    if (!s.hot && in.backdropHasParticles) out.push_back({Layer::backdrop, g.target, s.opacity});
    if (s.showQr && !s.joinUrl.empty()) out.push_back({Layer::qrCard, g.qr, s.opacity});
    out.push_back({Layer::feed, g.chat, s.opacity});
    if (in.feedFlames) out.push_back({Layer::feedFlames, g.chat, s.opacity});
    if ((heroActive(s) || s.editMode) && (!poll || in.split > 0.04f)) {
        out.push_back({Layer::featured, motion.drawn(), motion.alpha});
        if (s.hot && !s.editMode && in.featuredFlames)
            out.push_back({Layer::featuredFlames, motion.drawn(), motion.alpha});
    }
    if (poll) out.push_back({Layer::poll, placement.poll, s.opacity});
    return out;
}

std::string feedKey(const FrameState& s, SizeI texture, std::uint64_t photoGeneration) {
    std::string key;
    for (const FeedItem& item : s.feed) addPost(key, item);
    key += '|';
    if (reservesFeaturedSlot(s)) addPost(key, featuredItem(s));
    if (holdsFeaturedLine(s)) add(key, s.featuredId);
    key += s.editMode ? 'e' : '-';
    addLook(key, s, texture);
    add(key, photoGeneration);
    return key;
}

std::string qrKey(const FrameState& s, const CaptionState& caption, SizeI texture) {
    std::string key;
    add(key, s.joinUrl);
    add(key, s.brandText);
    add(key, std::string_view(reinterpret_cast<const char*>(s.brandLogoPath.data()),
                              s.brandLogoPath.size() * sizeof(wchar_t)));
    add(key, static_cast<std::uint64_t>(caption.row));
    add(key, static_cast<std::uint64_t>(caption.alphaStep()));
    addLook(key, s, texture);
    return key;
}

}  // namespace lumvo

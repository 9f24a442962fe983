#include "overlay/toolkit.h"

#include <algorithm>
#include <iterator>

#include "settings/themes.h"
#include "base/number_text.h"

namespace lumvo {

namespace {

struct NamedTheme {
    std::string_view name;
    Theme theme;
};

// In the order of kThemeNames, one look each; the build fails when the two differ.
constexpr NamedTheme kThemes[] = {
    {"club", {0xDC08080E, 0xC81C0A08, 0xFFFFFFFF, 0xFFFFECD2, 0x00000000, 0x00000000, 22, 14, 5, 0, "Segoe UI"}},
    {"wedding",
     {0xE81A1012, 0xE030181A, 0xFFFFF4E6, 0xFFFFECD6, 0xEBD6B076, 0x82FFF8EC, 26, 18, 0, 2, "Palatino Linotype"}},
    {"event", {0xE4080C16, 0xDC101C30, 0xFFECF4FF, 0xFFD2E8FF, 0xD2A8D2E6, 0x786EC4E8, 8, 6, 0, 3, "Segoe UI"}},
    {"lounge", {0xE414080C, 0xDC2A0E12, 0xFFFFECDC, 0xFFFFDCBE, 0xC8C9A24A, 0x5AFFD6AA, 16, 12, 4, 1, "Georgia"}},
    {"garden", {0xD80C1410, 0xD61C2A1C, 0xFFF4F8EC, 0xFFECF4D6, 0xC8BAD6B0, 0x5AE6ECD2, 20, 14, 0, 1, "Candara", true}},
};

constexpr bool looksFollowTheThemes() {
    if (std::size(kThemes) != kThemeCount) return false;
    for (std::size_t i = 0; i < kThemeCount; ++i)
        if (kThemes[i].name != kThemeNames[i]) return false;
    return true;
}
static_assert(looksFollowTheThemes(), "one look per theme, in the order of kThemeNames");

}  // namespace

const Theme& themeFor(std::string_view name) { return kThemes[themeIndex(name)].theme; }

Argb typeAccent(std::string_view type, Palette palette) {
    if (type == "request") return palette[1];
    if (type == "photo") return palette[2];
    if (type == "tip") return kTipAccent;
    if (type == "vote") return kVoteAccent;
    if (type == "venue") return palette[3];
    return palette[0];
}

Argb postAccent(const FeedItem& post, Palette palette) {
    if (post.type == "tip" || post.type == "vote" || post.type == "venue") return typeAccent(post.type, palette);
    const std::string& c = post.color;
    if (c.size() == 7 && c[0] == '#') {
        Argb rgb = 0;
        bool valid = true;
        for (std::size_t i = 1; i < 7 && valid; ++i) {
            const int d = hexDigit(c[i]);
            valid = d >= 0;
            rgb = (rgb << 4) | static_cast<Argb>(d < 0 ? 0 : d);
        }
        if (valid) return 0xFF000000u | rgb;
    }
    return typeAccent(post.type, palette);
}

float roundedRadius(float w, float h, float radius) { return std::max(std::min(radius, std::min(w, h) * 0.45f), 4.0f); }

RoundedRect roundedRect(const RectF& r, float radius) { return {r, roundedRadius(r.w, r.h, radius)}; }

RectF inset(const RectF& r, float by, float minSide) {
    return {r.x + by, r.y + by, std::max(r.w - 2 * by, minSide), std::max(r.h - 2 * by, minSide)};
}

void drawThemeFrame(Canvas& canvas, const RectF& rect, const Theme& theme, Argb accent, bool isFeedItem, bool isPanel) {
    const float r = isFeedItem ? theme.radiusPost : theme.radiusCard;
    const RoundedRect shape = roundedRect(rect, r);
    switch (theme.frameStyle) {
        case 2: {
            canvas.strokeRoundedRect(shape, isFeedItem ? 1.8f : 2.4f, theme.line);
            const RectF inner{rect.x + 4, rect.y + 4, std::max(rect.w - 8, 8.0f), std::max(rect.h - 8, 8.0f)};
            canvas.strokeRoundedRect(roundedRect(inner, std::max(r - 4, 4.0f)), isFeedItem ? 1.0f : 1.2f,
                                     theme.lineInner);
            break;
        }
        case 3:
            drawCornerBrackets(canvas, rect, theme.line, isFeedItem ? 10.0f : 16.0f, isFeedItem ? 2.0f : 2.6f);
            break;
        case 1:
            canvas.strokeRoundedRect(shape, isFeedItem ? 1.5f : 2.0f, (theme.line >> 24) != 0 ? theme.line : accent);
            break;
        default:
            if (isPanel) canvas.strokeRoundedRect(shape, isFeedItem ? 1.6f : 3.0f, accent);
            break;
    }
    if (isPanel) return;
    if (theme.barWidth > 0.5f) {
        canvas.pushClip(shape);
        canvas.fillRect({rect.x, rect.y + 6, theme.barWidth, std::max(rect.h - 12, 4.0f)}, accent);
        canvas.popClip();
    }
    if (theme.diamond) {
        const float cx = rect.x + 11, cy = rect.y + rect.h / 2;
        const PointF diamond[] = {{cx, cy - 8}, {cx + 6, cy}, {cx, cy + 8}, {cx - 6, cy}};
        canvas.fillPolygon(diamond, theme.line);
    }
}

void drawCornerBrackets(Canvas& canvas, const RectF& rect, Argb colour, float arm, float width) {
    const float l = rect.x, t = rect.y, r = rect.right(), b = rect.bottom();
    canvas.line({l, t}, {l + arm, t}, width, colour);
    canvas.line({l, t}, {l, t + arm}, width, colour);
    canvas.line({r, t}, {r - arm, t}, width, colour);
    canvas.line({r, t}, {r, t + arm}, width, colour);
    canvas.line({l, b}, {l + arm, b}, width, colour);
    canvas.line({l, b}, {l, b - arm}, width, colour);
    canvas.line({r, b}, {r - arm, b}, width, colour);
    canvas.line({r, b}, {r, b - arm}, width, colour);
}

void drawEditHandle(Canvas& canvas, const RectF& rect) {
    const float s = std::max(std::min(rect.w, rect.h) * 0.14f, 22.0f);
    const float t = std::max(s * 0.28f, 8.0f);
    canvas.fillRect({rect.right() - t, rect.y, t, rect.h}, 0xB4FF7A18);
    canvas.fillRect({rect.x, rect.bottom() - t, rect.w, t}, 0xB4FF7A18);
    canvas.fillRect({rect.right() - s, rect.bottom() - s, s, s}, 0xFFFF7A18);
}

void drawEditOutline(Canvas& canvas, const RectF& rect) {
    canvas.strokeRoundedRect(roundedRect(rect, 18), 2, 0x5AFF7A18);
}

float fitTextSize(Canvas& canvas, std::string_view text, SizeF box, TextStyle style, float minSize, float maxSize) {
    if (text.empty() || box.w < 4 || box.h < 4) return minSize;
    const float lo = std::max(minSize, 4.0f);
    const float hi = std::max(maxSize, lo);
    float best = lo, a = lo, b = hi;
    for (int step = 0; step < 8; ++step) {
        style.size = (a + b) / 2;
        const SizeF m = canvas.measureText(text, box, style);
        if (m.w <= box.w + 0.75f && m.h <= box.h + 0.75f) {
            best = style.size;
            a = style.size;
        } else {
            b = style.size;
        }
    }
    return best;
}

TwoLineFit fitTitleAndSubline(Canvas& canvas, std::string_view title, std::string_view subline, const RectF& box,
                              TextStyle style, float lo, float hi) {
    auto measure = [&](float size) {
        style.size = size;
        TwoLineFit fit{size, canvas.measureText(title, {box.w, box.h}, style).h,
                       canvas.measureText(subline, {box.w, box.h}, style).h, std::max(size * 0.22f, 3.0f)};
        return fit;
    };
    float best = lo, a = lo, b = std::max(hi, lo);
    for (int step = 0; step < 8; ++step) {
        const TwoLineFit fit = measure((a + b) / 2);
        if (box.h + 1 >= fit.blockHeight()) {
            best = fit.size;
            a = fit.size;
        } else {
            b = fit.size;
        }
    }
    return measure(best);
}

float smoothstep(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    return x * x * (3 - 2 * x);
}

float smootherstep(float p) {
    p = std::clamp(p, 0.0f, 1.0f);
    return p * p * p * (p * (6 * p - 15) + 10);
}

}  // namespace lumvo

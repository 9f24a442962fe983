#include "overlay/poll.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "overlay/toolkit.h"

namespace lumvo {
namespace {

Argb withAlpha(Argb colour, float alpha) {
    const auto a = static_cast<std::uint32_t>(std::clamp(alpha, 0.0f, 255.0f));
    return (colour & 0x00FFFFFFu) | (a << 24);
}

// Each channel moved towards 250 by `e`.
Argb brightened(Argb colour, float e) {
    auto channel = [&](int shift) {
        const float c = static_cast<float>((colour >> shift) & 0xFF);
        return static_cast<std::uint32_t>(std::clamp(c + (250 - c) * e, 0.0f, 255.0f)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

TextStyle labelStyle(const Theme& theme, float size, Argb colour) {
    TextStyle style;
    style.size = size;
    style.bold = style.centre = style.middle = true;
    style.lineSpacing = 1.2f;
    style.fontFamily = theme.fontFamily;
    style.colour = colour;
    return style;
}

// A label drawn twice: its shadow 1.5 pixels down and right, then itself.
void drawShadowed(Canvas& canvas, std::string_view text, const RectF& box, TextStyle style, Argb shadow, Argb face) {
    style.colour = shadow;
    canvas.drawText(text, {box.x + 1.5f, box.y + 1.5f, box.w, box.h}, style);
    style.colour = face;
    canvas.drawText(text, box, style);
}

// A yellow hand with its thumb pointing down, in the square `s`, then the emoji over it.
void drawThumbsDown(Canvas& canvas, const RectF& area, float alpha) {
    const float side = std::min(area.w, area.h);
    if (side < 4 || alpha < 8) return;
    const RectF s{area.x + (area.w - side) / 2, area.y + (area.h - side) / 2, side, side};
    const Argb skin = withAlpha(0xFFCC4D, alpha), nail = withAlpha(0xE8A030, alpha);
    // The fist: a rounded block over the upper half, the knuckles as four rounded fingers on its
    // right, and the thumb pointing down from its lower left.
    canvas.fillRoundedRect(
        roundedRect({s.x + 0.22f * side, s.y + 0.1f * side, 0.5f * side, 0.42f * side}, 0.14f * side), skin);
    for (int k = 0; k < 4; ++k) {
        const float y = s.y + (0.1f + 0.105f * static_cast<float>(k)) * side;
        canvas.fillRoundedRect(roundedRect({s.x + 0.56f * side, y, 0.26f * side, 0.1f * side}, 0.05f * side), skin);
    }
    const RectF thumb{s.x + 0.26f * side, s.y + 0.42f * side, 0.17f * side, 0.46f * side};
    canvas.fillRoundedRect(roundedRect(thumb, 0.085f * side), skin);
    canvas.fillEllipse({thumb.x + 0.03f * side, thumb.bottom() - 0.14f * side, 0.11f * side, 0.12f * side}, nail);
    TextStyle emoji;
    emoji.size = 0.92f * side;
    emoji.centre = emoji.middle = true;
    emoji.lineSpacing = 1.2f;
    emoji.colour = withAlpha(0xFFFFFF, alpha);
    canvas.drawText("\xF0\x9F\x91\x8E", s, emoji);  // the thumbs-down emoji
}

void drawPicture(Canvas& canvas, const CanvasImage& picture, const RectF& area) {
    const float pw = static_cast<float>(picture.width()), ph = static_cast<float>(picture.height());
    const float scale = std::min(area.w / pw, area.h / ph);
    const float dw = pw * scale, dh = ph * scale;
    if (!(dw > 0.5f) || !(dh > 0.5f)) return;
    const RectF dest{area.x + (area.w - dw) / 2, area.y + (area.h - dh) / 2, dw, dh};
    canvas.pushClip(roundedRect(dest, std::min(0.18f * std::min(dw, dh), 16.0f)));
    canvas.drawImage(picture, dest);
    canvas.popClip();
}

// The picture of the running poll: kept while its id stays; looked up again only for a new id, or,
// when it was missing, after the photo cache stored something new.
const CanvasImage* pollPicture(Canvas& canvas, PollPicture& picture, const FrameState& s, const PhotoLookup& photos,
                               std::uint64_t generation) {
    if (s.votePhoto.empty()) {
        picture.image.reset();
        picture.id.clear();
        return nullptr;
    }
    if (picture.id != s.votePhoto || (!picture.image && picture.generation != generation)) {
        picture.image.reset();
        picture.id = s.votePhoto;
        picture.generation = generation;
        if (photos) picture.image = canvas.pictureImage(photos(s.votePhoto));
    }
    return picture.image && picture.image->width() > 0 && picture.image->height() > 0 ? picture.image.get() : nullptr;
}

// One bar in `r` with the winner's emphasis `e` and alpha `a`: its shapes, or its label and count
// when `texts`.
void paintBar(Canvas& canvas, const PollAnimation& p, const FrameState& s, std::size_t i, const RectF& r, float e,
              float a, bool texts) {
    if (i >= kPollBarsShown || i >= s.voteBars.size()) return;
    const VoteBar& bar = s.voteBars[i];
    const float A = std::min(a * 255.0f, 255.0f);
    if (A < 8) return;
    const float t = static_cast<float>(p.now);
    const float h = r.h;
    const float f = barFillWidth(p, i, r);
    // The winner's fill lightens towards white by at most 0.45: all the way, it would hide the
    // white label that names the winning answer.
    const Argb colour = brightened(bar.colour, 0.45f * e);

    if (texts) {
        TextStyle style;
        style.size = std::max(0.38f * h, 13.0f);
        style.bold = style.middle = true;
        style.lineSpacing = 1.2f;
        style.fontFamily = themeFor(s.theme).fontFamily;
        style.colour = withAlpha(0xFFFFFF, A);
        canvas.drawText(bar.label, {r.x + 12, r.y, 0.62f * r.w, h}, style);
        style.centre = true;
        canvas.drawText(std::to_string(std::max(bar.count, 0)), {r.right() - 86, r.y, 74, h}, style);
        return;
    }
    if (e > 0.02f) {
        const float g = (std::sin(4.2f * t + static_cast<float>(i)) * 0.5f + 0.5f) * 0.38f + 0.62f;
        for (int k = 3; k >= 1; --k) {
            const float d = (6.0f * static_cast<float>(k) + 5) * e * g;
            canvas.fillRoundedRect(roundedRect({r.x - d, r.y - d, r.w + 2 * d, r.h + 2 * d}, 0.45f * h),
                                   withAlpha(0xFACC15, 24 * e * g * static_cast<float>(k) * a));
        }
    }
    canvas.fillRoundedRect(roundedRect(r, 0.35f * h), withAlpha(0x14141C, a * 160));
    if (f > 2) canvas.fillRoundedRect(roundedRect({r.x, r.y, f, h}, 0.35f * h), withAlpha(colour, A));
}

// Every bar's shapes, then every label and count: texts that follow each other are drawn in one
// go where drawing text is costly.
void paintBars(Canvas& canvas, const PollAnimation& p, const FrameState& s, const PollLayout& l) {
    for (const bool texts : {false, true}) {
        for (std::size_t i = 0; i < kPollBarsShown; ++i) {
            if (l.bars.painted[i]) paintBar(canvas, p, s, i, l.bars.rect[i], l.emphasis[i], l.alpha[i], texts);
        }
    }
}

// What the panel shows when nothing on it moves, length-prefixed field by field; without the bars'
// labels and counts when `bars` is false (the still part while the bars move: the votes are theirs,
// except that the closed panel's status row names the winner).
std::string shownFields(const PollAnimation& p, const PollPicture& picture, const FrameState& s, SizeI texture,
                        std::uint64_t photoGeneration, bool bars = true) {
    std::string key;
    auto add = [&key](std::string_view field) {
        key += '|';
        key += std::to_string(field.size());
        key += ':';
        key += field;
    };
    add(p.pollKey);
    add(s.voteTitle);
    add(s.votePhoto);
    if (!s.votePhoto.empty() && !(picture.image && picture.id == s.votePhoto)) add(std::to_string(photoGeneration));
    add(p.closed ? "closed" : countdownText(s.voteRemain));
    for (std::size_t i = 0; (bars || p.closed) && i < pollBarCount(s); ++i) {
        add(s.voteBars[i].label);
        add(std::to_string(s.voteBars[i].count));
        add(std::to_string(s.voteBars[i].colour));
    }
    add(s.theme);
    add(s.editMode ? "edit" : "-");
    add(std::to_string(texture.w) + 'x' + std::to_string(texture.h));
    return key;
}

std::string_view titleOf(const FrameState& s) {
    return s.voteTitle.empty() ? std::string_view("Vote") : std::string_view(s.voteTitle);
}

}  // namespace

PollLayout layoutPoll(Canvas& canvas, const PollAnimation& p, PollPicture& picture, const FrameState& s, int w, int h,
                      const PhotoLookup& photos, std::uint64_t photoGeneration) {
    PollLayout l;
    if (!s.voteActive) return l;
    l.shown = true;
    const Theme& theme = themeFor(s.theme);
    const float W = static_cast<float>(w) - 16, H = static_cast<float>(h) - 16;
    l.panel = {8, 8, W, H};
    const float pad = std::max(std::min(W, H) * 0.045f, 10.0f);
    const RectF content{pad + 8, pad + 8, std::max(W - 2 * pad, 8.0f), std::max(H - 2 * pad, 8.0f)};
    l.curves = closingCurves(p);

    RectF text = content;
    if (const CanvasImage* image = pollPicture(canvas, picture, s, photos, photoGeneration)) {
        RectF area;
        if (W >= 1.12f * H && W >= 260) {
            const float side =
                std::max(std::min({H - 2 * pad, W - std::max(0.4f * W, 150.0f) - 2.5f * pad, 0.52f * W}), 72.0f);
            area = {content.x, content.y, side, content.h};
            text = {content.x + side + pad, content.y, std::max(W + 8 - (pad + 8 + side) - 2 * pad, 8.0f), content.h};
        } else {
            const float height =
                std::max(std::min(H - std::max(std::min(0.5f * H, 280.0f), 120.0f) - 2.5f * pad, W - 2 * pad), 64.0f);
            area = {content.x, content.y, content.w, height};
            const float top = content.y + height + 0.7f * pad;
            text = {content.x, top, content.w, std::max(8 + H - pad - top, 8.0f)};
        }
        l.picture = image;
        l.pictureArea = area;
    }
    l.text = text;

    // The question.
    l.titleStyle = labelStyle(theme, std::min({26.0f, text.w * 0.09f, text.h * 0.1f}), theme.text);
    l.titleStyle.wrap = true;
    l.titleStyle.middle = false;
    const float measured = canvas.measureText(titleOf(s), {text.w, text.h}, l.titleStyle).h;
    l.titleHeight = std::max(std::min(2.35f * l.titleStyle.size, measured + 4), 1.15f * l.titleStyle.size);

    // The status row: the countdown, or the result once the vote closed.
    l.rowTop = text.y + l.titleHeight + 8;
    const float r = std::min(std::max(text.h * 0.12f, 34.0f), 56.0f);
    l.countdown = r;
    l.row = r;
    l.winner = p.closed ? pollWinner(s.voteBars) : std::nullopt;
    if (p.closed && l.curves.show > 0.02f) {
        l.row = l.winner ? r + 8 : std::min(std::max(text.h * 0.28f, r + 36), 118.0f);
    }

    // The bars.
    const float top = l.rowTop + l.row + 12;
    const float height = std::max(text.bottom() - top, 36.0f);
    const std::size_t n = pollBarCount(s);
    const float gap = std::max(std::min(height * 0.04f, 14.0f), 8.0f);
    const float b =
        n ? std::max(std::min((height - static_cast<float>(n - 1) * gap) / static_cast<float>(n), 54.0f), 26.0f) : 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const bool wins = l.winner && *l.winner == i;
        const float fold = p.closed && !wins ? l.curves.fold : 0.0f;
        const float visible = (1 - fold) * b;
        if (visible < 2.2f) continue;
        const float slot = top + static_cast<float>(i) * (b + gap);
        l.bars.painted[i] = true;
        l.bars.rect[i] = {text.x + barShakeOffset(p, i), slot + (b - visible) / 2, text.w, visible};
        l.emphasis[i] = wins ? l.curves.emphasis : 0.0f;
        l.alpha[i] = 1 - fold;
    }
    return l;
}

bool paintPoll(Canvas& canvas, const PollAnimation& p, const FrameState& s, const PollLayout& l) {
    if (!paintPollStill(canvas, p, s, l, false)) return false;
    paintPollMoving(canvas, p, s, l, true);
    return true;
}

bool paintPollStill(Canvas& canvas, const PollAnimation& p, const FrameState& s, const PollLayout& l, bool withBars) {
    if (!l.shown) return false;
    const Theme& theme = themeFor(s.theme);
    canvas.fillRoundedRect(roundedRect(l.panel, theme.radiusCard), theme.panel);
    drawThemeFrame(canvas, l.panel, theme, kVoteAccent, false, true);
    if (l.picture) drawPicture(canvas, *l.picture, l.pictureArea);

    const RectF& text = l.text;
    canvas.drawText(titleOf(s), {text.x, text.y, text.w, l.titleHeight}, l.titleStyle);

    const float rowTop = l.rowTop, row = l.row;
    if (!p.closed) {
        canvas.drawText(countdownText(s.voteRemain), {text.x, rowTop, text.w, l.countdown},
                        labelStyle(theme, std::min({20.0f, text.w * 0.08f, text.h * 0.08f}), 0xFFFFD166));
    } else if (l.curves.show > 0.02f) {
        const float show = l.curves.show;
        if (!l.winner) {
            const RectF upper{text.x, rowTop, text.w, 0.46f * row};
            drawShadowed(canvas, "NO WINNER", upper,
                         labelStyle(theme, std::min({40.0f, text.w * 0.125f, 0.46f * row * 0.78f}), 0),
                         withAlpha(0x7F1D1D, show * 200), withAlpha(0xEF4444, show * 255));
            drawThumbsDown(canvas, {text.x, rowTop + 0.46f * row - 4, text.w, 0.54f * row}, show * 255);
        } else {
            drawShadowed(canvas, "WINNER", {text.x, rowTop, text.w, row},
                         labelStyle(theme, std::min({56.0f, text.w * 0.18f, 0.9f * row}), 0),
                         withAlpha(0xB45309, show * 200), withAlpha(0xFACC15, show * 255));
        }
    }

    if (withBars) paintBars(canvas, p, s, l);
    return true;
}

int paintPollMoving(Canvas& canvas, const PollAnimation& p, const FrameState& s, const PollLayout& l, bool withBars) {
    if (!l.shown) return 0;
    if (withBars) paintBars(canvas, p, s, l);
    std::vector<Dot> dots;
    if (!p.closed) {
        dots.reserve(p.confetti.size());
        for (const Confetto& c : p.confetti) {
            const float fade = 1 - c.age / std::max(c.life, 0.05f);
            if (fade < 0.05f) continue;
            const Argb colour = static_cast<Argb>(c.r) << 16 | static_cast<Argb>(c.g) << 8 | c.b;
            dots.push_back({c.x, c.y, c.size / 2, withAlpha(colour, fade * 255)});
        }
        canvas.fillDots(dots);
    }
    const int painted = static_cast<int>(dots.size());
    if (s.editMode) drawEditHandle(canvas, l.panel);
    return painted;
}

bool pollBarsMoving(const PollAnimation& p, const FrameState& s, SizeI texture) {
    if (p.closed && (p.closedTime < 0.75f || pollWinner(s.voteBars))) return true;
    const std::size_t n = pollBarCount(s);
    int most = 1;
    for (std::size_t i = 0; i < n; ++i) most = std::max(most, s.voteBars[i].count);
    for (std::size_t i = 0; i < n; ++i) {
        const float share = static_cast<float>(std::max(s.voteBars[i].count, 0)) / static_cast<float>(most);
        if (p.shake[i] > 0.002f || std::fabs(p.fill[i] - share) * static_cast<float>(texture.w) > 0.25f ||
            p.lastCount[i] != std::max(s.voteBars[i].count, 0))
            return true;
    }
    return false;
}

std::optional<std::size_t> pollWinner(const std::vector<VoteBar>& bars) {
    const std::size_t n = std::min(bars.size(), kPollBarsShown);
    std::optional<std::size_t> best;
    long long total = 0;
    int top = 0, atTop = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int count = std::max(bars[i].count, 0);
        total += count;
        if (!best || count > top) {
            best = i;
            top = count;
            atTop = 1;
        } else if (count == top) {
            ++atTop;
        }
    }
    if (!best || total <= 0 || atTop != 1) return std::nullopt;
    return best;
}

std::string countdownText(float seconds) {
    // Whole seconds up to 99:59:59; a value that is no number shows 0:00.
    const double whole =
        std::isfinite(seconds) ? std::clamp(std::ceil(static_cast<double>(seconds)), 0.0, 359999.0) : 0.0;
    const auto total = static_cast<int>(whole);
    char text[32];
    if (total >= 3600) std::snprintf(text, sizeof text, "%d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
    else std::snprintf(text, sizeof text, "%d:%02d", total / 60, total % 60);
    return text;
}

std::string pollPanelKey(const PollAnimation& p, const PollPicture& picture, const FrameState& s, SizeI texture,
                         std::uint64_t frame, std::uint64_t photoGeneration) {
    const bool moving = !p.confetti.empty() || pollBarsMoving(p, s, texture);
    return (moving ? "frame " + std::to_string(frame) : std::string("still")) +
           shownFields(p, picture, s, texture, photoGeneration);
}

std::string pollStillKey(const PollAnimation& p, const PollPicture& picture, const FrameState& s, SizeI texture,
                         std::uint64_t photoGeneration, bool withBars) {
    std::string key = withBars ? "bars" : "no bars";
    // The closed panel's labels fade in.
    const float show = closingCurves(p).show;
    if (show > 0 && show < 1) key += " show " + std::to_string(show);
    return key + shownFields(p, picture, s, texture, photoGeneration, withBars);
}

}  // namespace lumvo

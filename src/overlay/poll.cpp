#include "overlay/poll.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "overlay/particle_random.h"
#include "overlay/toolkit.h"

namespace lumvo {
namespace {

std::size_t barsShown(const FrameState& s) { return std::min(s.voteBars.size(), kPollBarsShown); }

// Length-prefixed, so that a title cannot pass for a title and option ids.
std::string identityOf(const FrameState& s) {
    std::string key = std::to_string(s.voteTitle.size()) + ':' + s.voteTitle;
    for (const VoteBar& bar : s.voteBars) key += '|' + std::to_string(bar.key.size()) + ':' + bar.key;
    return key;
}

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
    canvas.fillRoundedRect(roundedRect({s.x + 0.22f * side, s.y + 0.1f * side, 0.5f * side, 0.42f * side}, 0.14f * side),
                           skin);
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

// The picture of the running poll: kept while its id stays; decoded again only for a new id, or,
// when it is missing or did not decode, after the photo cache stored something new.
const CanvasImage* pollPicture(Canvas& canvas, PollAnimation& poll, const FrameState& s, const PhotoLookup& photos,
                               std::uint64_t generation) {
    if (s.votePhoto.empty()) {
        poll.picture.reset();
        poll.pictureId.clear();
        return nullptr;
    }
    if (poll.pictureId != s.votePhoto || (!poll.picture && poll.pictureGeneration != generation)) {
        poll.picture.reset();
        poll.pictureId = s.votePhoto;
        poll.pictureGeneration = generation;
        if (photos) {
            if (const std::optional<std::string> bytes = photos(s.votePhoto)) poll.picture = canvas.decodeImage(*bytes);
        }
    }
    return poll.picture && poll.picture->width() > 0 && poll.picture->height() > 0 ? poll.picture.get() : nullptr;
}

}  // namespace

float stepPoll(PollAnimation& p, double dt, double now, const FrameState& s, bool heroActive) {
    const auto fdt = static_cast<float>(dt);
    p.now = now;
    const float target = s.voteActive && heroActive && !s.editMode ? 1.0f : 0.0f;
    p.split += (target - p.split) * std::min(fdt * 5.5f, 1.0f);
    if (std::fabs(p.split - target) < 0.004f) p.split = target;

    if (!s.voteActive) {
        p.pollKey.clear();
        p.confetti.clear();
        p.closed = false;
        p.closedAt = 0;
        p.closedTime = 0;
        p.fill.fill(0);
        p.shake.fill(0);
        return p.split;
    }
    std::string key = identityOf(s);
    if (key != p.pollKey) {
        p.fill.fill(0);
        p.shake.fill(0);
        p.lastCount.fill(-1);
        p.confetti.clear();
        p.closed = false;
        p.closedAt = 0;
        p.closedTime = 0;
        p.pollKey = std::move(key);
    }

    if (s.voteClosed || s.voteRemain <= 0.05f) {
        // A panel first shown after the vote closed starts its closing animation part-way.
        if (!p.closed) p.closedAt = now - std::max(static_cast<double>(s.voteClosedFor), 0.0);
        p.closed = true;
        p.closedTime = static_cast<float>(std::max(now - p.closedAt, 0.0));
    } else {
        p.closed = false;
        p.closedAt = 0;
        p.closedTime = 0;
    }

    const std::size_t n = barsShown(s);
    int most = 1;
    for (std::size_t i = 0; i < n; ++i) most = std::max(most, s.voteBars[i].count);
    for (std::size_t i = 0; i < n; ++i) {
        const float share = static_cast<float>(std::max(s.voteBars[i].count, 0)) / static_cast<float>(most);
        p.fill[i] += (share - p.fill[i]) * std::min(fdt * 7.0f, 1.0f);
        p.shake[i] *= std::max(1.0f - fdt * 6.5f, 0.0f);
    }

    for (Confetto& c : p.confetti) {
        c.age += fdt;
        c.vy += 520 * fdt;
        c.x += c.vx * fdt;
        c.y += c.vy * fdt;
    }
    std::erase_if(p.confetti, [](const Confetto& c) { return c.age >= c.life; });
    return p.split;
}

ClosingCurves closingCurves(const PollAnimation& p) {
    if (!p.closed) return {};
    const float t = p.closedTime;
    return {smoothstep(t / 0.55f), smoothstep((t - 0.1f) / 0.52f), smoothstep((t - 0.18f) / 0.52f)};
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
    const double whole = std::isfinite(seconds) ? std::clamp(std::ceil(static_cast<double>(seconds)), 0.0, 359999.0) : 0.0;
    const auto total = static_cast<int>(whole);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%d:%02d", total / 60, total % 60);
    return text;
}

void paintBar(Canvas& canvas, PollAnimation& p, const FrameState& s, std::size_t i, const RectF& r, float e,
              float a) {
    if (i >= kPollBarsShown || i >= s.voteBars.size()) return;
    const VoteBar& bar = s.voteBars[i];
    const float A = std::min(a * 255.0f, 255.0f);
    const float t = static_cast<float>(p.now);
    const float h = r.h;
    const float f = std::min(std::max(p.fill[i] * r.w, p.fill[i] > 0.01f ? 0.8f * h : 0.0f), r.w);
    // The winner's fill lightens towards white by at most 0.45: all the way, it would hide the
    // white label that names the winning answer.
    const Argb colour = brightened(bar.colour, 0.45f * e);

    // New votes throw confetti from the end of the fill and shake the bar.
    const int count = std::max(bar.count, 0);
    if (!p.closed && p.lastCount[i] >= 0 && count > p.lastCount[i]) {
        const int n = static_cast<int>(std::min<long long>((static_cast<long long>(count) - p.lastCount[i]) * 4, 18)) + 10;
        for (int k = 0; k < n; ++k) {
            Confetto c;
            c.x = r.x + f;
            c.y = r.y + h / 2 + (particleRandom() - 0.5f) * h * 0.4f;
            c.vx = (0.12f + 0.55f * particleRandom()) * r.w;
            c.vy = -(80 + 220 * particleRandom());
            c.size = 3 + 6 * particleRandom();
            c.life = 0.28f + 0.28f * particleRandom();
            c.r = static_cast<std::uint8_t>(colour >> 16);
            c.g = static_cast<std::uint8_t>(colour >> 8);
            c.b = static_cast<std::uint8_t>(colour);
            p.confetti.push_back(c);
        }
        if (p.confetti.size() > kMaxConfetti)
            p.confetti.erase(p.confetti.begin(),
                             p.confetti.begin() + static_cast<std::ptrdiff_t>(p.confetti.size() - kMaxConfetti));
        p.shake[i] = 1;
    }
    p.lastCount[i] = count;
    if (A < 8) return;

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

    TextStyle style;
    style.size = std::max(0.38f * h, 13.0f);
    style.bold = style.middle = true;
    style.lineSpacing = 1.2f;
    style.fontFamily = themeFor(s.theme).fontFamily;
    style.colour = withAlpha(0xFFFFFF, A);
    canvas.drawText(bar.label, {r.x + 12, r.y, 0.62f * r.w, h}, style);
    style.centre = true;
    canvas.drawText(std::to_string(count), {r.right() - 86, r.y, 74, h}, style);
}

bool paintPoll(Canvas& canvas, PollAnimation& p, const FrameState& s, int w, int h, const PhotoLookup& photos,
               std::uint64_t photoGeneration) {
    if (!s.voteActive) return false;
    const Theme& theme = themeFor(s.theme);
    const float W = static_cast<float>(w) - 16, H = static_cast<float>(h) - 16;
    const RectF panel{8, 8, W, H};
    canvas.fillRoundedRect(roundedRect(panel, theme.radiusCard), theme.panel);
    drawThemeFrame(canvas, panel, theme, kVoteAccent, false, true);
    const float pad = std::max(std::min(W, H) * 0.045f, 10.0f);
    const RectF content{pad + 8, pad + 8, std::max(W - 2 * pad, 8.0f), std::max(H - 2 * pad, 8.0f)};
    const ClosingCurves curves = closingCurves(p);

    RectF text = content;
    if (const CanvasImage* picture = pollPicture(canvas, p, s, photos, photoGeneration)) {
        RectF area;
        if (W >= 1.12f * H && W >= 260) {
            const float side = std::max(std::min({H - 2 * pad, W - std::max(0.4f * W, 150.0f) - 2.5f * pad, 0.52f * W}), 72.0f);
            area = {content.x, content.y, side, content.h};
            text = {content.x + side + pad, content.y, std::max(W + 8 - (pad + 8 + side) - 2 * pad, 8.0f), content.h};
        } else {
            const float height =
                std::max(std::min(H - std::max(std::min(0.5f * H, 280.0f), 120.0f) - 2.5f * pad, W - 2 * pad), 64.0f);
            area = {content.x, content.y, content.w, height};
            const float top = content.y + height + 0.7f * pad;
            text = {content.x, top, content.w, std::max(8 + H - pad - top, 8.0f)};
        }
        drawPicture(canvas, *picture, area);
    }

    // The question.
    const std::string_view title = s.voteTitle.empty() ? std::string_view("Vote") : std::string_view(s.voteTitle);
    TextStyle titleStyle = labelStyle(theme, std::min({26.0f, text.w * 0.09f, text.h * 0.1f}), theme.text);
    titleStyle.wrap = true;
    titleStyle.middle = false;
    const float measured = canvas.measureText(title, {text.w, text.h}, titleStyle).h;
    const float titleHeight = std::max(std::min(2.35f * titleStyle.size, measured + 4), 1.15f * titleStyle.size);
    canvas.drawText(title, {text.x, text.y, text.w, titleHeight}, titleStyle);

    // The status row: the countdown, or the result once the vote closed.
    const float rowTop = text.y + titleHeight + 8;
    const float r = std::min(std::max(text.h * 0.12f, 34.0f), 56.0f);
    float row = r;
    const std::optional<std::size_t> winner = p.closed ? pollWinner(s.voteBars) : std::nullopt;
    if (!p.closed) {
        canvas.drawText(countdownText(s.voteRemain), {text.x, rowTop, text.w, r},
                        labelStyle(theme, std::min({20.0f, text.w * 0.08f, text.h * 0.08f}), 0xFFFFD166));
    } else if (curves.show > 0.02f) {
        if (!winner) {
            row = std::min(std::max(text.h * 0.28f, r + 36), 118.0f);
            const RectF upper{text.x, rowTop, text.w, 0.46f * row};
            drawShadowed(canvas, "NO WINNER", upper,
                         labelStyle(theme, std::min({40.0f, text.w * 0.125f, 0.46f * row * 0.78f}), 0),
                         withAlpha(0x7F1D1D, curves.show * 200), withAlpha(0xEF4444, curves.show * 255));
            drawThumbsDown(canvas, {text.x, rowTop + 0.46f * row - 4, text.w, 0.54f * row}, curves.show * 255);
        } else {
            row = r + 8;
            drawShadowed(canvas, "WINNER", {text.x, rowTop, text.w, row},
                         labelStyle(theme, std::min({56.0f, text.w * 0.18f, 0.9f * row}), 0),
                         withAlpha(0xB45309, curves.show * 200), withAlpha(0xFACC15, curves.show * 255));
        }
    }

    // The bars.
    const float top = rowTop + row + 12;
    const float height = std::max(text.bottom() - top, 36.0f);
    const std::size_t n = barsShown(s);
    const float gap = std::max(std::min(height * 0.04f, 14.0f), 8.0f);
    const float b = n ? std::max(std::min((height - static_cast<float>(n - 1) * gap) / static_cast<float>(n), 54.0f), 26.0f)
                      : 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const bool wins = winner && *winner == i;
        const float fold = p.closed && !wins ? curves.fold : 0.0f;
        const float emphasis = wins ? curves.emphasis : 0.0f;
        const float visible = (1 - fold) * b;
        if (visible < 2.2f) continue;
        const float slot = top + static_cast<float>(i) * (b + gap);
        const float dx = p.closed ? 0.0f
                                  : std::sin(48 * static_cast<float>(p.now) + static_cast<float>(i)) * p.shake[i] * 7;
        paintBar(canvas, p, s, i, {text.x + dx, slot + (b - visible) / 2, text.w, visible}, emphasis, 1 - fold);
    }

    if (!p.closed) {
        for (const Confetto& c : p.confetti) {
            const float fade = 1 - c.age / std::max(c.life, 0.05f);
            if (fade < 0.05f) continue;
            const Argb colour = static_cast<Argb>(c.r) << 16 | static_cast<Argb>(c.g) << 8 | c.b;
            canvas.fillEllipse({c.x - c.size / 2, c.y - c.size / 2, c.size, c.size}, withAlpha(colour, fade * 255));
        }
    }
    if (s.editMode) drawEditHandle(canvas, panel);
    return true;
}

std::string pollPanelKey(const PollAnimation& p, const FrameState& s, SizeI texture, std::uint64_t frame,
                         std::uint64_t photoGeneration) {
    const std::size_t n = barsShown(s);
    bool moving = !p.confetti.empty() || (p.closed && (p.closedTime < 0.75f || pollWinner(s.voteBars)));
    int most = 1;
    for (std::size_t i = 0; i < n; ++i) most = std::max(most, s.voteBars[i].count);
    for (std::size_t i = 0; i < n && !moving; ++i) {
        const float share = static_cast<float>(std::max(s.voteBars[i].count, 0)) / static_cast<float>(most);
        moving = p.shake[i] > 0.002f || std::fabs(p.fill[i] - share) * static_cast<float>(texture.w) > 0.25f ||
                 p.lastCount[i] != std::max(s.voteBars[i].count, 0);
    }
    std::string key = moving ? "frame " + std::to_string(frame) : std::string("still");
    auto add = [&key](std::string_view field) {
        key += '|';
        key += std::to_string(field.size());
        key += ':';
        key += field;
    };
    add(p.pollKey);
    add(s.voteTitle);
    add(s.votePhoto);
    if (!s.votePhoto.empty() && !(p.picture && p.pictureId == s.votePhoto)) add(std::to_string(photoGeneration));
    add(p.closed ? "closed" : countdownText(s.voteRemain));
    for (std::size_t i = 0; i < n; ++i) {
        add(s.voteBars[i].label);
        add(std::to_string(s.voteBars[i].count));
        add(std::to_string(s.voteBars[i].colour));
    }
    add(s.theme);
    add(s.editMode ? "edit" : "-");
    add(std::to_string(texture.w) + 'x' + std::to_string(texture.h));
    return key;
}

}  // namespace lumvo

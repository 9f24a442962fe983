#include "overlay/poll_animation.h"

#include <cmath>

#include "overlay/particle_random.h"
#include "overlay/toolkit.h"

namespace lumvo {
namespace {

// Length-prefixed, so that a title cannot pass for a title and option ids.
std::string identityOf(const FrameState& s) {
    std::string key = std::to_string(s.voteTitle.size()) + ':' + s.voteTitle;
    for (const VoteBar& bar : s.voteBars) key += '|' + std::to_string(bar.key.size()) + ':' + bar.key;
    return key;
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

    const std::size_t n = pollBarCount(s);
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

void throwConfetti(PollAnimation& p, const FrameState& s, const PollBarPlaces& bars) {
    for (std::size_t i = 0; i < kPollBarsShown && i < s.voteBars.size(); ++i) {
        if (!bars.painted[i]) continue;
        const RectF& r = bars.rect[i];
        const int count = std::max(s.voteBars[i].count, 0);
        if (!p.closed && p.lastCount[i] >= 0 && count > p.lastCount[i]) {
            // While the vote runs no bar is lit as the winner, so the confetti take the bar's own
            // colour.
            const Argb colour = s.voteBars[i].colour;
            const float f = barFillWidth(p, i, r);
            const float h = r.h;
            const long long rise = static_cast<long long>(count) - p.lastCount[i];
            const int n = static_cast<int>(std::min<long long>(rise * 4, 18)) + 10;
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
            if (!s.calmFx) p.shake[i] = 1;  // calm effects: the bar grows without shaking
        }
        p.lastCount[i] = count;
    }
}

float barFillWidth(const PollAnimation& p, std::size_t i, const RectF& r) {
    return std::min(std::max(p.fill[i] * r.w, p.fill[i] > 0.01f ? 0.8f * r.h : 0.0f), r.w);
}

float barShakeOffset(const PollAnimation& p, std::size_t i) {
    return p.closed ? 0.0f : std::sin(48 * static_cast<float>(p.now) + static_cast<float>(i)) * p.shake[i] * 7;
}

ClosingCurves closingCurves(const PollAnimation& p) {
    if (!p.closed) return {};
    const float t = p.closedTime;
    return {smoothstep(t / 0.55f), smoothstep((t - 0.1f) / 0.52f), smoothstep((t - 0.18f) / 0.52f)};
}

}  // namespace lumvo

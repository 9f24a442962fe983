#include "overlay/frame_driver.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "overlay/feed.h"

namespace lumvo {

float beatPulse(double beatPosition, bool beatOn) {
    if (!beatOn) return 1.0f;
    return static_cast<float>(1.0 + 0.03 * std::sin(2.0 * std::numbers::pi * beatPosition));
}

void fillDrawTimeFields(FrameState& f, const WallSettings& s, double beatPosition, std::wstring brandLogoPath) {
    f.takeSettings(s);
    f.tipEnabled = f.tipEnabled || !s.tipLink.empty() || !s.tipLink2.empty() || !s.tipLink3.empty();
    if (!s.allowHotFx) {
        f.hot = false;
        for (FeedItem& item : f.feed) item.hot = false;
    }
    f.brandLogoPath = std::move(brandLogoPath);
    f.pulse = beatPulse(beatPosition, s.beat != 0);
}

void FeaturedClock::step(FrameState& f, double now, float durationSetting) {
    const std::string serverId = f.featuredId;
    FeedItem& post = memory_.post;
    if (!serverId.empty() && serverId != post.id) {
        memory_ = {.post = featuredItem(f), .start = now, .duration = highlightSecondsOf(durationSetting)};
        if (post.reactions.empty()) {
            const auto same =
                std::find_if(f.feed.begin(), f.feed.end(), [&](const FeedItem& i) { return i.id == serverId; });
            if (same != f.feed.end()) post.reactions = same->reactions;
        }
    }
    showFeatured(f, post);  // with nothing remembered, the frame's featuredId is emptied
    f.heroElapsed = now - memory_.start;
    f.duration = memory_.duration;
    if (post.id.empty()) return;
    if (serverId == post.id)
        f.heroElapsed = std::min(f.heroElapsed, std::max(static_cast<double>(memory_.duration) - 0.05, 0.0));
    else if (f.heroElapsed >= memory_.duration) post.id.clear();
}

void prepareFrame(FrameState& frame, const WallSettings& settings, FeaturedClock& clock, double now,
                  double beatPosition, std::wstring brandLogoPath) {
    clock.step(frame, now, settings.duration);
    fillDrawTimeFields(frame, settings, beatPosition, std::move(brandLogoPath));
}

double FrameTimer::step(double now) {
    const double dt = started_ ? now - previous_ : 1.0 / 60.0;
    started_ = true;
    previous_ = now;
    return std::clamp(dt, 0.001, 0.05);
}

}  // namespace lumvo

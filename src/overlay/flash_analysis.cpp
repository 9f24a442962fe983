#include "overlay/flash_analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace lumvo {
namespace {

// sRGB channel values 0..255 as linear light 0..1.
const std::array<float, 256>& linearTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[static_cast<std::size_t>(i)] =
                static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

// The change maps' order in changed_.
enum Map { lumUp, lumDown, redUp, redDown };

}  // namespace

FlashAnalyser::FlashAnalyser(int width, int height, double fps, FlashRules rules)
    : width_(width), height_(height), fps_(fps), rules_(rules) {
    if (width < 1 || height < 1 || width > 8192 || height > 8192)
        throw std::invalid_argument("flash analysis: the frame size must be from 1 x 1 to 8192 x 8192");
    if (!(fps >= 1 && fps <= 1000)) throw std::invalid_argument("flash analysis: fps must be from 1 to 1000");
    fieldW_ = std::clamp(static_cast<int>(std::lround(width * rules_.fieldWidthShare)), 1, width);
    fieldH_ = std::clamp(static_cast<int>(std::lround(height * rules_.fieldHeightShare)), 1, height);
    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    lumExtreme_.assign(n, 0);
    redExtreme_.assign(n, 0);
    lumDirection_.assign(n, unknown);
    redDirection_.assign(n, unknown);
    redSaturated_.assign(n, 0);
    for (auto& map : changed_) map.assign(n, 0);
}

void FlashAnalyser::addFrame(std::span<const std::uint32_t> pixels) {
    const std::size_t n = lumExtreme_.size();
    if (pixels.size() != n) throw std::invalid_argument("flash analysis: a frame of the wrong size");
    const auto& linear = linearTable();
    const float step = rules_.luminanceStep, darker = rules_.darkerBelow;
    std::array<std::size_t, 4> counts{};
    for (auto& map : changed_) std::fill(map.begin(), map.end(), std::uint8_t{0});

    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = pixels[i];
        const float r = linear[(p >> 16) & 0xFF], g = linear[(p >> 8) & 0xFF], b = linear[p & 0xFF];
        const float lum = 0.2126f * r + 0.7152f * g + 0.0722f * b;
        const float redness = std::max(r - g - b, 0.0f) * 320.0f;
        const float sum = r + g + b;
        const bool saturated = sum > 0 && r >= rules_.redShare * sum;
        if (frames_ == 0) {
            lumExtreme_[i] = lum;
            redExtreme_[i] = redness;
            redSaturated_[i] = saturated;
            continue;
        }

        // Luminance: a change once the pixel came back from its extreme by the step, with the
        // darker of the two states below the limit.
        float& e = lumExtreme_[i];
        Direction& d = lumDirection_[i];
        if (d == rising && lum > e) {
            e = lum;
        } else if (d == falling && lum < e) {
            e = lum;
        } else if (d != falling && e - lum >= step && lum < darker) {
            d = falling;
            e = lum;
            changed_[lumDown][i] = 1;
            ++counts[lumDown];
        } else if (d != rising && lum - e >= step && e < darker) {
            d = rising;
            e = lum;
            changed_[lumUp][i] = 1;
            ++counts[lumUp];
        }

        // Redness: the same, with one of the two states a saturated red.
        float& re = redExtreme_[i];
        Direction& rd = redDirection_[i];
        const bool involvesRed = saturated || redSaturated_[i];
        if ((rd == rising && redness > re) || (rd == falling && redness < re)) {
            re = redness;
            redSaturated_[i] = saturated;
        } else if (rd != falling && re - redness > rules_.redStep && involvesRed) {
            rd = falling;
            re = redness;
            redSaturated_[i] = saturated;
            changed_[redDown][i] = 1;
            ++counts[redDown];
        } else if (rd != rising && redness - re > rules_.redStep && involvesRed) {
            rd = rising;
            re = redness;
            redSaturated_[i] = saturated;
            changed_[redUp][i] = 1;
            ++counts[redUp];
        }
    }

    const int frame = frames_++;
    if (frame == 0) return;
    // A frame with changes both ways is taken as the one that turns back first, then the other.
    auto record = [&](std::vector<Change>& changes, Map up, Map down) {
        bool upFlashes = false, downFlashes = false;
        for (Map m : {up, down}) {
            if (counts[m] == 0) continue;
            const double share = largestFieldShare(changed_[m]);
            largestShare_ = std::max(largestShare_, share);
            (m == up ? upFlashes : downFlashes) = share > rules_.areaShare;
        }
        const bool lastRose = !changes.empty() && changes.back().direction == rising;
        if (downFlashes && lastRose) changes.push_back({frame, falling});
        if (upFlashes) changes.push_back({frame, rising});
        if (downFlashes && !lastRose) changes.push_back({frame, falling});
    };
    record(general_, lumUp, lumDown);
    record(red_, redUp, redDown);
}

double FlashAnalyser::largestFieldShare(const std::vector<std::uint8_t>& changed) {
    // A summed-area table, then every field's sum from its four corners.
    const auto stride = static_cast<std::size_t>(width_) + 1;
    sums_.assign(stride * (static_cast<std::size_t>(height_) + 1), 0);
    for (int y = 0; y < height_; ++y) {
        std::uint32_t row = 0;
        for (int x = 0; x < width_; ++x) {
            row += changed[static_cast<std::size_t>(y) * width_ + x];
            sums_[(y + 1) * stride + x + 1] = sums_[y * stride + x + 1] + row;
        }
    }
    std::uint32_t most = 0;
    for (int y = 0; y + fieldH_ <= height_; ++y) {
        const std::uint32_t* top = &sums_[y * stride];
        const std::uint32_t* bottom = &sums_[(y + fieldH_) * stride];
        for (int x = 0; x + fieldW_ <= width_; ++x)
            most = std::max(most, bottom[x + fieldW_] - bottom[x] - top[x + fieldW_] + top[x]);
    }
    return static_cast<double>(most) / (static_cast<double>(fieldW_) * fieldH_);
}

int FlashAnalyser::flashesIn(const std::vector<Change>& changes, int from, int to) {
    int runs = 0;
    Direction last = unknown;
    for (const Change& c : changes) {
        if (c.frame < from || c.frame >= to || c.direction == last) continue;
        ++runs;
        last = c.direction;
    }
    return runs / 2;
}

int FlashAnalyser::worstWindow(const std::vector<Change>& changes, int frames, int window, int& start) {
    int worst = flashesIn(changes, 1, std::min(frames, 1 + window));
    start = 1;
    for (int s = 2; s + window <= frames; ++s) {
        const int n = flashesIn(changes, s, s + window);
        if (n > worst) {
            worst = n;
            start = s;
        }
    }
    return worst;
}

FlashReport FlashAnalyser::report() const {
    FlashReport r;
    r.frames = frames_;
    r.seconds = frames_ / fps_;
    r.fieldWidth = fieldW_;
    r.fieldHeight = fieldH_;
    r.generalFlashes = flashesIn(general_, 0, frames_);
    r.redFlashes = flashesIn(red_, 0, frames_);
    const int window = std::max(static_cast<int>(std::lround(fps_)), 1);
    int generalStart = 0, redStart = 0;
    r.worstGeneral = worstWindow(general_, frames_, window, generalStart);
    r.worstRed = worstWindow(red_, frames_, window, redStart);
    r.worstStart = (r.worstRed > r.worstGeneral ? redStart : generalStart) / fps_;
    r.largestShare = largestShare_;
    return r;
}

}  // namespace lumvo

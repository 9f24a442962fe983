#pragma once
// The frame driver: what the render thread adds to its copy of the display state before a frame
// is composed. The DJ's settings become draw-time fields, the beat becomes the pulse, and the
// featured post gets a clock of its own, so that the card holds while the server features the post
// and plays out after the server let it go. Time is always passed in (seconds), never read here.
#include <string>

#include "overlay/frame_state.h"
#include "settings/settings.h"

namespace lumvo {

// 1 + 0.03 sin(2 pi beat) while the beat setting is on, else 1.
float beatPulse(double beatPosition, bool beatOn);

// Writes the fields that come from the settings into `frame`: the switches, tipEnabled (the
// server's word, or any tip link set), the effects, edit mode, the theme, brand label, opacity,
// pulse, boxes and palette; hot (featured and every feed item) is forced off when the hot effect
// is off. `brandLogoPath` is the venue logo file when it exists, else empty.
void fillDrawTimeFields(FrameState& frame, const WallSettings& settings, double beatPosition,
                        std::wstring brandLogoPath);

// The featured post as the TV keeps it, from the frame it first appeared in.
struct FeaturedMemory {
    FeedItem post;       // empty id: nothing remembered
    double start = 0;    // seconds
    float duration = 0;  // seconds
};

class FeaturedClock {
public:
    // Runs the clock for the frame at `now` (seconds) on the frame's copy as received from the
    // server: a new featured id starts the clock; while a post is remembered its fields replace the
    // copy's, heroElapsed and duration are set, and the card is held 0.05 s before its end while
    // the server still features it; a post the server no longer features is forgotten once its
    // time is up. With nothing remembered the copy's featuredId is emptied.
    void step(FrameState& frame, double now, float durationSetting);
    const FeaturedMemory& memory() const { return memory_; }

private:
    FeaturedMemory memory_;
};

// The frame's whole preparation, in order: the featured clock on the copy as received, then the
// draw-time fields (so that a hot post remembered by the clock still obeys the hot switch).
// `frame` must be a fresh copy of the state as the server sent it (Overlay::frameState()), every
// frame: a copy prepared before holds the clock's own featured id, which it would take for the
// server's and so hold the card for ever.
void prepareFrame(FrameState& frame, const WallSettings& settings, FeaturedClock& clock, double now,
                  double beatPosition, std::wstring brandLogoPath);

// The animation step between frames: 1/60 s on the first frame, then the time since the previous
// frame, always within 0.001..0.05 s so that a stalled frame does not make animations jump.
class FrameTimer {
public:
    double step(double now);

private:
    double previous_ = 0;
    bool started_ = false;
};

}  // namespace lumvo

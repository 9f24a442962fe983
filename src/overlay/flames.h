#pragma once
// Hot posts burn: for 4.5 s of every 7 s little fire emoji rise through each hot post's bubble in
// the chat feed, and through the featured card when the featured post is hot. The flames are a
// layer of their own, the last texture slot, painted every frame while they show and drawn over
// the card they belong to. The feed and the featured card share that one slot: each paint is
// drawn before the next one replaces it.
//
// The fire is one 80 x 80 sprite of the emoji, made once by the canvas and then only drawn scaled.
// Where the system cannot draw the emoji (no colour emoji: the sprite comes out nearly empty) no
// flames are drawn, and the sprite is not made again for kFlameSpriteRetrySeconds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "overlay/canvas.h"
#include "overlay/layer_target.h"

namespace lumvo {

inline constexpr double kFlameCycleSeconds = 7.0;  // one cycle of the flames
inline constexpr double kFlameShowSeconds = 4.5;   // flames show in the first 4.5 s of it
inline constexpr float kFlameSpriteSide = 80.0f;
// Bounds a frame's flame work: at most this many rectangles per paint (the feed column holds far
// fewer hot posts on a TV), each with at most 12 sprites, so a paint draws at most 144 sprites and
// a frame (feed and featured card) at most 156.
inline constexpr std::size_t kMaxFlameRects = 12;
// After a sprite that failed its check, how long until it is made again.
inline constexpr double kFlameSpriteRetrySeconds = 5.0;

// `now` (seconds) within the cycle, 0 <= t < 7; negative times count back from 0.
double flameCycleTime(double now);
// How strongly the flames show at cycle time t: rising over the first 0.35 s, falling from 3.8 s
// to nothing at 4.5 s, 1 in between and 0 from 4.5 s on.
float flameEnvelope(double t);

// The sprite size and flame count of one post rectangle: sprites of up to 28 pixels (44 on a post
// wider than 220), 0.22 of the post's height, at least 16; 12 flames on a post of more than 42000
// square pixels, else 8.
struct FlameSize {
    float sprite = 0;
    int count = 0;
};
FlameSize flameSizeFor(const RectF& rect);

// One flame as drawn: where the sprite goes and with what opacity.
struct FlameDraw {
    RectF dest;
    float alpha = 0;
};
// The flames of one rectangle at cycle time t (envelope included); flames too faint to see
// (alpha < 0.04) and rectangles narrower or lower than 12 pixels give none.
std::vector<FlameDraw> flamesFor(const RectF& rect, double t);

// Paints the flames of up to kMaxFlameRects rectangles (canvas pixels), each clipped to its
// rounded rectangle, at cycle time t. Returns the number of sprites drawn.
int drawFlames(Canvas& canvas, const CanvasImage& sprite, const std::vector<RectF>& rects, double t);

// Whether an emoji sprite came out drawn: of the samples at every second pixel of every second
// row, at least 31 have an alpha of 25 or more.
bool emojiSpriteDrawn(const CanvasImage& sprite);

// The flame layer: the sprite, made on first use and kept for the overlay's life, and the paint of
// the shared slot.
class FlameLayer {
public:
    // Paints the flames of `rects` on a w x h canvas into the flame slot of `target` (every call
    // paints again). False when nothing is to be drawn this frame: outside the first 4.5 s of the
    // cycle, no rectangles, a canvas below 8 x 8, no sprite (or one that failed its check, then not
    // tried again for kFlameSpriteRetrySeconds) or a paint that failed.
    bool paintFlames(LayerTarget& target, int w, int h, const std::vector<RectF>& rects, double now);
    // Sprites made so far (each one a render of the emoji).
    int spriteRenders() const { return renders_; }
    // Sprites painted so far, over all paints.
    std::uint64_t spritesPainted() const { return spritesPainted_; }

private:
    std::unique_ptr<CanvasImage> sprite_;
    double failedAt_ = 0;
    bool failed_ = false;
    int renders_ = 0;
    std::uint64_t paints_ = 0;
    std::uint64_t spritesPainted_ = 0;
};

}  // namespace lumvo

#pragma once
// The compose step's geometry and decisions, as plain values: where each layer goes on the host's
// frame, the card textures' sizes, the hero box split with the poll, the featured card's motion
// (lifting out of the feed, popping in, flying back to the slot the feed keeps for it), the order
// the layers are drawn in, and the content keys that decide when a card is painted again. The
// Windows compose paints and draws what these say.
#include <cstdint>
#include <string>
#include <vector>

#include "overlay/canvas.h"
#include "overlay/feed.h"
#include "overlay/qr_card.h"
#include "overlay/frame_state.h"

namespace lumvo {

struct SizeI {
    int w = 0, h = 0;
    bool operator==(const SizeI&) const = default;
};

struct ComposeGeometry {
    RectF target;          // the whole frame
    RectF chat, qr, hero;  // the layout boxes in frame pixels
    SizeI chatTexture, qrTexture, heroTexture;
    SizeI backdropCanvas;  // the word-backdrop layer's canvas
};

// For a W x H frame (both at least 1). Textures are the boxes' whole pixels, at least 64 x 64
// (the featured card at least 80 wide).
ComposeGeometry composeGeometry(int W, int H, const FrameState& state);
// The frame scaled to fit 1280 x 720 (never up), at least 320 x 180.
SizeI backdropCanvasSize(int W, int H);

// A featured post is on and its time is not up.
bool heroActive(const FrameState& state);
// A poll is running and layout edit mode is off.
bool pollShown(const FrameState& state);

// The hero box shared with the poll: with a poll shown, the featured card takes the left
// 0.5 x split of it and the poll the rest, 14 x split apart; else the card has the whole box.
struct HeroPlacement {
    RectF featured;
    RectF poll;
    SizeI pollTexture;  // at least 120 x 80
};
HeroPlacement heroPlacement(const RectF& hero, bool pollShown, float split);

// `r` scaled by `factor` about its centre.
RectF scaledAbout(const RectF& r, float factor);

struct CardMotion {
    RectF rect;  // before the pulse
    float alpha = 0;
    float pulse = 1;
    RectF drawn() const { return scaledAbout(rect, pulse); }
};
// Where the featured card is this frame. `records` are the last feed paint's; `split` the poll
// animation's (0..1).
CardMotion featuredMotion(const FrameState& state, const ComposeGeometry& geometry, const HeroPlacement& placement,
                          const std::vector<FeedRecord>& records, float split);

enum class Layer { backdrop, qrCard, feed, feedFlames, featured, featuredFlames, poll };

struct LayerDraw {
    Layer layer;
    RectF rect;
    float alpha = 1;
};

struct LayerInputs {
    bool backdropHasParticles = false;
    bool feedFlames = false;      // the last feed paint had hot posts and their flames painted
    bool featuredFlames = false;  // the featured card's flames painted
    float split = 0;
};
// The quads of this frame, in drawing order.
std::vector<LayerDraw> layerOrder(const FrameState& state, const ComposeGeometry& geometry,
                                  const HeroPlacement& placement, const CardMotion& motion, const LayerInputs& inputs);

// The content keys: a card is painted again only when its key changes. The feed's holds every
// post, the theme and palette, edit mode, the slot kept for the featured post, the texture size
// and the photo cache's generation (a photo arriving repaints the posts that show it).
std::string feedKey(const FrameState& state, SizeI texture, std::uint64_t photoGeneration);
// The QR card's: the join address, brand label and logo, theme and accent, the caption row and
// its alpha in sixteenths, the texture size.
std::string qrKey(const FrameState& state, const CaptionState& caption, SizeI texture);

}  // namespace lumvo

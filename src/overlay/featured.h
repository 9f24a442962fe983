#pragma once
// The featured card: the highlighted post drawn big in the hero box, painted into its own texture
// from the featured fields of the frame's state. The compose step moves, scales and fades the
// texture's quad (lifting out of the feed, the stay, the flight back); the texture is painted
// again only when what it shows changes. In layout edit mode with nothing featured the card is a
// "HIGHLIGHT" placeholder, so that the DJ can place the box.
#include <cstdint>
#include <string>

#include "overlay/canvas.h"
#include "overlay/compose.h"
#include "overlay/feed.h"
#include "overlay/frame_state.h"

namespace lumvo {

// The featured card's texture: the hero box's (at least 80 x 64), or, while the poll panel is
// shown beside it, the card's share of the split box at its end (the left half), so the card is
// never painted at one width and drawn squeezed into the other.
SizeI featuredTextureSize(const ComposeGeometry& geometry, bool pollShown);

// Paints the card into a w x h bitmap: the post bubble at card scale on (10, 10, w - 20, h - 20)
// with the photo looked up by the featured photo id, or the "HIGHLIGHT" placeholder in edit mode
// when no post is featured; in edit mode the resize handle over it.
void paintFeatured(Canvas& canvas, const FrameState& state, int w, int h, const PhotoLookup& photos);

// The card's content key: the featured post's fields, the theme and palette, edit mode and the
// texture size, and, for a post with a photo, the photo cache's generation (its photo may arrive
// after the post). Nothing that moves the card is in it.
std::string featuredKey(const FrameState& state, SizeI texture, std::uint64_t photoGeneration);

}  // namespace lumvo

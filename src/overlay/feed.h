#pragma once
// The chat feed: the column of approved posts in the chat box, newest at the bottom, and the post
// bubble that the featured card draws at card scale. A feed paint leaves behind where each post
// went (the featured card's flight starts and ends there) and where the hot posts are (the flame
// layer burns there).
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "overlay/canvas.h"
#include "overlay/frame_state.h"

namespace lumvo {

// The decoded picture of a photo by its id (the photo cache on Windows); null when not held.
using PhotoLookup = std::function<PictureRef(std::string_view photoId)>;

// Where one post went in the last feed paint, in feed-texture pixels.
struct FeedRecord {
    std::string id;
    RectF rect;
    // true: the post's own line (left empty while the post is out as the featured card, see
    // holdsFeaturedLine); false: the slot kept free for a featured post that is not in the feed.
    bool drawn = true;
};

struct FeedPaint {
    std::vector<FeedRecord> records;  // bottom first
    std::vector<RectF> hotRects;      // each hot post's rectangle inset by 6
};

struct Reaction {
    std::string emoji;  // UTF-8
    int count = 0;      // >= 1
};

// "emoji:count" items separated by ","; items without ":" or without a whole count of at least 1
// are left out. Highest count first (equal counts keep their order).
std::vector<Reaction> parseReactions(std::string_view text);

// The featured post's fields as a feed item.
FeedItem featuredItem(const FrameState& state);
// Puts `post` in the state's featured fields (an empty id empties featuredId and leaves the rest).
void showFeatured(FrameState& state, const FeedItem& post);

// The height of a post in a feed column of `width`.
float feedItemHeight(const FeedItem& item, float width);

// Whether the feed keeps a slot at the bottom for the featured post: it is flying back into the
// feed (its last 0.34 of the duration, at most 0.95 s), it is not in the feed list, and layout edit
// mode is off.
bool reservesFeaturedSlot(const FrameState& state);

// Whether the featured post is out in the hero box (featured, its time not up, edit mode off): its
// own line in the feed is then kept empty, so the post is never on the TV twice.
bool holdsFeaturedLine(const FrameState& state);

// Paints the feed into a w x h card and says where everything went. An item that does not fit
// ends the column (older posts are not shown).
FeedPaint paintFeed(Canvas& canvas, const FrameState& state, int w, int h, const PhotoLookup& photos);

// One post in `r`: at feed scale (isFeedItem) or as the featured card, with its decoded photo
// (null: none, or not held yet).
void drawPostBubble(Canvas& canvas, const FeedItem& post, const PictureRef& photo, const RectF& r,
                    const FrameState& state, bool isFeedItem);

// The row of reaction pills over the lower-left corner and edge of the bubble `r`.
void drawReactionChips(Canvas& canvas, const std::vector<Reaction>& reactions, const RectF& r, bool isFeedItem);

}  // namespace lumvo

#pragma once
// The kit every card paints with: the five themes and their frame decorations, the accent colour
// of a post, the rounded-rectangle rule, the layout-edit handle and text fitting. Everything is
// drawn through a Canvas, so the numbers here are the numbers a recording canvas sees.
#include <span>
#include <string>
#include <string_view>

#include "overlay/canvas.h"
#include "overlay/frame_state.h"

namespace lumvo {

// The four accent colours of the settings: shout-out, request, photo, venue.
using Palette = std::span<const Argb, 4>;

inline constexpr Argb kTipAccent = 0xFFFACC15;
inline constexpr Argb kVoteAccent = 0xFFFF7A18;

struct Theme {
    Argb panel = 0;               // cards and post bubbles
    Argb panelAlt = 0;            // venue posts, and hot posts in the feed
    Argb text = 0;                // body text, captions
    Argb venueText = 0;           // body text of venue posts
    Argb line = 0;                // frame line (0: none)
    Argb lineInner = 0;           // inner frame line (0: none)
    float radiusCard = 0;         // cards and the featured post
    float radiusPost = 0;         // post bubbles in the feed
    float barWidth = 0;           // accent bar at a post's left edge (0: none)
    int frameStyle = 0;           // 0 none, 1 outline, 2 double outline, 3 corner brackets
    const char* fontFamily = "";  // UTF-8 family name
    bool diamond = false;         // a small diamond in the frame line's colour at a post bubble's left edge
};

// The look of the theme the setting names (settings/themes.h: one look per name of kThemeNames;
// anything else is the fallback's look).
const Theme& themeFor(std::string_view name);

// The accent of a post type: request, photo, venue from the palette, tip and vote fixed, anything
// else (a shout-out) the shout-out colour.
Argb typeAccent(std::string_view type, Palette palette);
// The accent of a post: tip, vote and venue always by type; else a valid "#RRGGBB" colour field
// (hex digits of either case, exactly seven characters); else typeAccent.
Argb postAccent(const FeedItem& post, Palette palette);

// The corner radius drawn for a w x h rectangle asked for `radius`: at most 0.45 of its shorter
// side, at least 4.
float roundedRadius(float w, float h, float radius);
// `r` with that radius.
RoundedRect roundedRect(const RectF& r, float radius);

// `r` shrunk by `by` on each side, width and height at least `minSide`.
RectF inset(const RectF& r, float by, float minSide = 8);

// The theme's border decoration of a post bubble (isFeedItem: at feed scale) or of a panel
// (isPanel: the QR card, the poll panel, placeholders). A bubble also gets the accent bar and, in
// the garden theme, the diamond.
void drawThemeFrame(Canvas& canvas, const RectF& rect, const Theme& theme, Argb accent, bool isFeedItem, bool isPanel);
// Two lines of `arm` length at each corner of `rect`, round caps.
void drawCornerBrackets(Canvas& canvas, const RectF& rect, Argb colour, float arm, float width);
// The resize handle of layout edit mode: bars along the right and bottom edges, a square in the
// bottom-right corner.
void drawEditHandle(Canvas& canvas, const RectF& rect);
// The outline the feed shows around its box in layout edit mode.
void drawEditOutline(Canvas& canvas, const RectF& rect);

// The largest size in [max(minSize, 4), max(maxSize, minSize, 4)] at which `text` fits `box`
// (eight bisection steps; the lower bound when nothing fits). An empty text or a box below 4 x 4
// gives minSize unchanged.
float fitTextSize(Canvas& canvas, std::string_view text, SizeF box, TextStyle style, float minSize, float maxSize);

// A title and a sub-line at one size, with a gap of max(0.22 size, 3) between them.
struct TwoLineFit {
    float size = 0;
    float titleHeight = 0;
    float subHeight = 0;
    float gap = 0;
    float blockHeight() const { return titleHeight + gap + subHeight; }
};
// The largest size in [lo, hi] (eight bisection steps; lo when none fits) at which both lines,
// measured in the full box, fit its height (plus one pixel) with the gap.
TwoLineFit fitTitleAndSubline(Canvas& canvas, std::string_view title, std::string_view subline, const RectF& box,
                              TextStyle style, float lo, float hi);

// x*x*(3 - 2x) of x clamped to 0..1.
float smoothstep(float x);
// Quintic ease 6p^5 - 15p^4 + 10p^3 of p clamped to 0..1.
float smootherstep(float p);

}  // namespace lumvo

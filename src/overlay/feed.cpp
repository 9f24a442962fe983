#include "overlay/feed.h"

#include <algorithm>
#include <charconv>

#include "overlay/toolkit.h"

namespace lumvo {

std::vector<Reaction> parseReactions(std::string_view text) {
    std::vector<Reaction> out;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const std::size_t colon = item.rfind(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view digits = item.substr(colon + 1);
        int count = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
        if (error != std::errc{} || end != digits.data() + digits.size() || count < 1) continue;
        out.push_back({std::string(item.substr(0, colon)), count});
    }
    std::stable_sort(out.begin(), out.end(), [](const Reaction& a, const Reaction& b) { return a.count > b.count; });
    return out;
}

FeedItem featuredItem(const FrameState& s) {
    FeedItem item;
    item.id = s.featuredId;
    item.type = s.type;
    item.name = s.name;
    item.text = s.text;
    item.photo = s.photo;
    item.reactions = s.reactions;
    item.color = s.color;
    item.hot = s.hot;
    return item;
}

void showFeatured(FrameState& s, const FeedItem& post) {
    if (post.id.empty()) {
        s.featuredId.clear();
        return;
    }
    s.featuredId = post.id;
    s.type = post.type;
    s.name = post.name;
    s.text = post.text;
    s.photo = post.photo;
    s.reactions = post.reactions;
    s.color = post.color;
    s.hot = post.hot;
}

float feedItemHeight(const FeedItem& item, float width) {
    const float base = std::min(0.45f * static_cast<float>(item.text.size()), 90.0f);
    if (!item.photo.empty()) return std::max(std::min(base + 70, width * 0.24f), 72.0f);
    if (item.type == "venue" || item.hot) return std::max(std::min(base + 58, width * 0.26f), 64.0f);
    return std::max(std::min(base + 48, width * 0.22f), 56.0f);
}

bool reservesFeaturedSlot(const FrameState& s) {
    if (s.featuredId.empty() || s.editMode) return false;
    const bool inFeed =
        std::any_of(s.feed.begin(), s.feed.end(), [&](const FeedItem& i) { return i.id == s.featuredId; });
    const double outTime = std::min(s.duration * 0.34, 0.95);
    return !inFeed && s.heroElapsed > s.duration - outTime;
}

bool holdsFeaturedLine(const FrameState& s) {
    return !s.featuredId.empty() && !s.editMode && s.heroElapsed < s.duration;
}

FeedPaint paintFeed(Canvas& canvas, const FrameState& state, int w, int h, const PhotoLookup& photos) {
    FeedPaint paint;
    const RectF panel{6, 6, static_cast<float>(w) - 12, static_cast<float>(h) - 12};
    if (state.editMode) drawEditOutline(canvas, panel);

    const float left = 16, width = std::max(static_cast<float>(w) - 12 - 20, 8.0f);
    float y = panel.h + 6 - 8;
    const float topLimit = panel.y + 6;
    auto place = [&](float height) -> std::optional<RectF> {
        if (y - height < topLimit) return std::nullopt;
        y -= height;
        return RectF{left, y, width, height};
    };

    if (reservesFeaturedSlot(state)) {
        if (auto slot = place(feedItemHeight(featuredItem(state), width))) {
            paint.records.push_back({state.featuredId, *slot, false});
            y -= 8;
        }
    }
    for (auto item = state.feed.rbegin(); item != state.feed.rend(); ++item) {
        const auto rect = place(feedItemHeight(*item, width));
        if (!rect) break;
        paint.records.push_back({item->id, *rect, true});
        if (holdsFeaturedLine(state) && item->id == state.featuredId) {
            y -= 8;
            continue;
        }
        const PictureRef photo = !item->photo.empty() && photos ? photos(item->photo) : nullptr;
        drawPostBubble(canvas, *item, photo, *rect, state, true);
        if (item->hot) paint.hotRects.push_back(inset(*rect, 6));
        y -= 8;
    }
    if (state.editMode) drawEditHandle(canvas, panel);
    return paint;
}

namespace {

Argb withAlpha(Argb colour, std::uint32_t alpha) { return (colour & 0x00FFFFFFu) | (alpha << 24); }

// The glow around an emphasised bubble and its bright outline.
void drawGlow(Canvas& canvas, const RectF& r, float radius, Argb accent, bool isFeedItem) {
    for (int k = isFeedItem ? 4 : 6; k >= 1; --k) {
        const float d = static_cast<float>(k) * (isFeedItem ? 1.8f : 3.0f);
        const RectF ring{r.x - d, r.y - d, r.w + 2 * d, r.h + 2 * d};
        const auto alpha = static_cast<std::uint32_t>(std::max(88 - 12 * k, 16));
        canvas.strokeRoundedRect(roundedRect(ring, radius + 0.35f * d), isFeedItem ? 2.2f : 3.2f,
                                 withAlpha(accent, alpha));
    }
    const Argb red = (accent >> 16) & 0xFF, green = std::min<Argb>(((accent >> 8) & 0xFF) + 40, 255);
    canvas.strokeRoundedRect(roundedRect(r, radius), isFeedItem ? 2.4f : 3.4f,
                             0xE6000000u | red << 16 | green << 8 | 0x28);
}

TextStyle bubbleStyle(const Theme& theme, float lineSpacing, bool wrap, bool centre, Argb colour) {
    TextStyle style;
    style.bold = true;
    style.wrap = wrap;
    style.centre = centre;
    style.lineSpacing = lineSpacing;
    style.fontFamily = theme.fontFamily;
    style.colour = colour;
    return style;
}

// Name line over wrapped text, from the top of the content box.
void drawFeedItemText(Canvas& canvas, const FeedItem& post, const RectF& box, const Theme& theme, Argb accent,
                      bool venue) {
    float nameHeight = 0;
    if (!post.name.empty()) {
        TextStyle style = bubbleStyle(theme, 1.08f, false, false, accent);
        const float cap = std::min(box.h * 0.22f, venue ? 18.0f : 15.0f);
        const SizeF nameBox{box.w, std::max(cap, 12.0f)};
        style.size = fitTextSize(canvas, post.name, nameBox, style, 6, cap);
        nameHeight = std::min(nameBox.h, std::max(style.size * 1.1f, canvas.measureText(post.name, nameBox, style).h));
        canvas.drawText(post.name, {box.x, box.y, box.w, nameHeight}, style);
    }
    if (!post.text.empty()) {
        const float gap = post.name.empty() ? 0.0f : 2.0f;
        const RectF textBox{box.x, box.y + nameHeight + gap, box.w, std::max(box.h - nameHeight - gap, 10.0f)};
        TextStyle style = bubbleStyle(theme, 1.05f, true, false, venue ? theme.venueText : theme.text);
        style.size = fitTextSize(canvas, post.text, {textBox.w, textBox.h}, style, 4,
                                 std::max(std::min(venue ? 32.0f : 28.0f, textBox.h * 0.95f), 4.0f));
        canvas.drawText(post.text, textBox, style);
    }
}

// Name over text, both centred, as one block centred vertically in the content box.
void drawFeaturedText(Canvas& canvas, const FeedItem& post, const RectF& box, const Theme& theme, Argb accent,
                      bool venue) {
    TextStyle nameStyle = bubbleStyle(theme, 1.12f, true, true, accent);
    TextStyle textStyle = bubbleStyle(theme, 1.12f, true, true, venue ? theme.venueText : theme.text);
    float nameHeight = 0, textHeight = 0;
    if (!post.name.empty()) {
        const float cap = std::min(box.w * 0.16f, box.h * 0.18f);
        const SizeF nameBox{box.w, std::max(cap * 1.5f, 18.0f)};
        nameStyle.size = fitTextSize(canvas, post.name, nameBox, nameStyle, 10, std::max(cap, 12.0f));
        nameHeight =
            std::min(nameBox.h, std::max(nameStyle.size * 1.05f, canvas.measureText(post.name, nameBox, nameStyle).h));
    }
    const float gap = !post.name.empty() && !post.text.empty() ? std::max(box.h * 0.03f, 6.0f) : 0.0f;
    if (!post.text.empty()) {
        const SizeF textBox{box.w, std::max(box.h - nameHeight - gap, 16.0f)};
        textStyle.size = fitTextSize(canvas, post.text, textBox, textStyle, 12,
                                     std::max(std::min(box.w * 0.62f, textBox.h * 0.92f), 14.0f));
        textHeight =
            std::min(textBox.h, std::max(textStyle.size * 1.05f, canvas.measureText(post.text, textBox, textStyle).h));
    }
    const float top = box.y + std::max((box.h - (nameHeight + gap + textHeight)) / 2, 0.0f);
    if (nameHeight > 0) canvas.drawText(post.name, {box.x, top, box.w, nameHeight}, nameStyle);
    if (textHeight > 0) canvas.drawText(post.text, {box.x, top + nameHeight + gap, box.w, textHeight}, textStyle);
}

}  // namespace

void drawPostBubble(Canvas& canvas, const FeedItem& post, const PictureRef& photoPicture, const RectF& bubble,
                    const FrameState& state, bool isFeedItem) {
    if (bubble.w < 8 || bubble.h < 8) return;
    const Theme& theme = themeFor(state.theme);
    const Argb accent = postAccent(post, state.palette);
    const bool venue = post.type == "venue";
    const bool emphasised = venue || (post.hot && isFeedItem);
    const float radius = isFeedItem ? theme.radiusPost : theme.radiusCard;

    RectF r = bubble;
    if (emphasised) {
        r = inset(r, isFeedItem ? 6.0f : 10.0f);
        drawGlow(canvas, r, radius, accent, isFeedItem);
    }
    const RoundedRect shape = roundedRect(r, radius);
    canvas.fillRoundedRect(shape, emphasised ? theme.panelAlt : theme.panel);
    drawThemeFrame(canvas, r, theme, accent, isFeedItem, false);

    canvas.pushClip(shape);
    const float pad = isFeedItem ? 10.0f : 12.0f;
    RectF box{r.x + 12, r.y + pad, std::max(r.w - 22, 8.0f), std::max(r.h - 2 * pad, 8.0f)};
    if (theme.barWidth > 0.5f) {
        box.x += theme.barWidth;
        box.w = std::max(box.w - theme.barWidth, 8.0f);
    }
    if (theme.diamond) {
        box.x += 8;
        box.w = std::max(box.w - 8, 8.0f);
    }
    if (photoPicture) {
        if (const auto photo = canvas.pictureImage(photoPicture)) {
            float side = isFeedItem ? box.h : std::min(box.w * 0.46f, box.h);
            if (!post.name.empty() || !post.text.empty()) side = std::min(box.w * (isFeedItem ? 0.38f : 0.46f), side);
            side = std::max(side, 18.0f);
            canvas.drawImage(*photo, {box.x, box.y + (box.h - side) / 2, side, side});
            box.x += side + 8;
            box.w = std::max(r.right() - box.x - pad, 8.0f);
        }
    }
    if (isFeedItem) drawFeedItemText(canvas, post, box, theme, accent, venue);
    else drawFeaturedText(canvas, post, box, theme, accent, venue);
    canvas.popClip();

    drawReactionChips(canvas, parseReactions(post.reactions), r, isFeedItem);
}

void drawReactionChips(Canvas& canvas, const std::vector<Reaction>& reactions, const RectF& r, bool isFeedItem) {
    const float height = isFeedItem ? 20.0f : 28.0f;
    const float margin = isFeedItem ? 7.0f : 10.0f;
    const float overlap = isFeedItem ? 5.0f : 7.0f;
    TextStyle style;
    style.size = isFeedItem ? 11.0f : 16.0f;
    style.bold = style.centre = style.middle = true;
    style.colour = 0xFFFFFFFF;
    float x = isFeedItem ? r.x - 7 : r.x - 2;
    const float y = isFeedItem ? r.bottom() - 20 + 7 : r.bottom() - 28 + 4;
    for (const Reaction& reaction : reactions) {
        const std::string label = reaction.emoji + " " + std::to_string(reaction.count);
        const float width = std::max(2 * margin + canvas.measureText(label, {4000, height}, style).w, height);
        if (x + width > r.right() - 8 + 0.5f) break;
        const RoundedRect pill{{x, y, width, height}, height / 2};
        canvas.fillRoundedRect(pill, isFeedItem ? 0xE10C0C14 : 0xEB0C0C14);
        canvas.strokeRoundedRect(pill, isFeedItem ? 1.4f : 1.8f, 0xFFFFFFFF);
        canvas.drawText(label, pill.rect, style);
        x += width - overlap;
    }
}

}  // namespace lumvo

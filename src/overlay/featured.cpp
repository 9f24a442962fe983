#include "overlay/featured.h"

#include <algorithm>

#include "overlay/toolkit.h"

namespace lumvo {

SizeI featuredTextureSize(const ComposeGeometry& g, bool pollShown) {
    const RectF card = pollShown ? heroPlacement(g.hero, true, 1.0f).featured : g.hero;
    return {std::max(static_cast<int>(card.w), 80), std::max(static_cast<int>(card.h), 64)};
}

void paintFeatured(Canvas& canvas, const FrameState& s, int w, int h, const PhotoLookup& photos) {
    const RectF card{10, 10, static_cast<float>(w) - 20, static_cast<float>(h) - 20};
    if (!s.editMode || !s.featuredId.empty() || !s.name.empty() || !s.text.empty()) {
        const PictureRef photo = !s.photo.empty() && photos ? photos(s.photo) : nullptr;
        drawPostBubble(canvas, featuredItem(s), photo, card, s, false);
    } else {
        const Theme& theme = themeFor(s.theme);
        const Argb accent = typeAccent("shoutout", s.palette);
        canvas.fillRoundedRect(roundedRect(card, theme.radiusCard), theme.panel);
        drawThemeFrame(canvas, card, theme, accent, false, true);
        TextStyle style;
        style.bold = style.centre = style.middle = true;
        style.lineSpacing = 1.2f;
        style.fontFamily = theme.fontFamily;
        style.colour = accent;
        style.size = std::min({28.0f, card.w * 0.12f, card.h * 0.18f});
        canvas.drawText("HIGHLIGHT", card, style);
    }
    if (s.editMode) drawEditHandle(canvas, card);
}

std::string featuredKey(const FrameState& s, SizeI texture, std::uint64_t photoGeneration) {
    // Length-prefixed fields, so that no text can pass for another field.
    std::string key;
    auto add = [&key](std::string_view field) {
        key += std::to_string(field.size());
        key += ':';
        key += field;
    };
    const FeedItem post = featuredItem(s);
    for (const std::string* field :
         {&post.id, &post.type, &post.name, &post.text, &post.photo, &post.reactions, &post.color, &s.theme})
        add(*field);
    key += post.hot ? 'h' : '-';
    key += s.editMode ? 'e' : '-';
    for (Argb colour : s.palette) add(std::to_string(colour));
    add(std::to_string(texture.w));
    add(std::to_string(texture.h));
    if (!post.photo.empty()) add(std::to_string(photoGeneration));
    return key;
}

}  // namespace lumvo

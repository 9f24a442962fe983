#include "moderator/row_look.h"

namespace lumvo {
namespace {

std::uint32_t chosen(std::uint32_t setting, std::uint32_t dflt) {
    const std::uint32_t rgb = setting & 0xFFFFFF;
    return rgb != 0 ? rgb : dflt;
}

std::uint32_t blend(std::uint32_t background, std::uint32_t tag) {
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const std::uint32_t b = background >> shift & 0xFF;
        const std::uint32_t t = tag >> shift & 0xFF;
        out |= ((3 * b + t) / 4) << shift;
    }
    return out;
}

}  // namespace

std::string secondsLeftText(std::int64_t liveAt, std::int64_t nowMs) {
    const std::int64_t left = liveAt > nowMs ? (liveAt - nowMs + 999) / 1000 : 0;
    return "in " + std::to_string(left) + "s";
}

RowLook rowLook(const PostRecord& post, PostList list, bool selected, const ChatColours& colours,
                const TimeOfDayText& timeOfDay, std::int64_t nowMs) {
    RowLook look;
    const std::uint32_t photoColour = chosen(colours.photo, 0xF472B6);
    if (post.type == "request") {
        look.tag = "REQUEST";
        look.tagColour = chosen(colours.request, 0x22D3EE);
    } else if (post.type == "photo") {
        look.tag = "PHOTO";
        look.tagColour = photoColour;
    } else if (post.type == "tip") {
        look.tag = "TIP";
        look.tagColour = 0xFACC15;
    } else if (post.type == "vote") {
        look.tag = "VOTE";
        look.tagColour = 0xFF7A18;
    } else if (post.type == "venue") {
        look.tag = "VENUE";
        look.tagColour = chosen(colours.venue, 0xFF4B1F);
    } else if (list == PostList::blocked) {
        look.tag = "BLOCKED";
        look.tagColour = 0x9A9AB0;
    } else if (post.hasPhoto()) {
        look.tag = "PHOTO";
        look.tagColour = photoColour;
    } else {
        look.tag = "SHOUT";
        look.tagColour = chosen(colours.shoutout, 0xFF7A18);
    }
    if (post.hot && post.type != "venue") look.tag = "HOT";

    look.background = selected ? 0x2A2430 : 0x20202A;
    look.secondLineColour = 0x9A93B0;
    if (post.mark == "played") {
        look.tag = "PLAYED";
        look.tagColour = 0x34D399;
        look.background = selected ? 0x165636 : 0x12402A;
        look.secondLineColour = 0xBAE6CC;
    } else if (post.mark == "refuse") {
        look.tag = "REFUSE";
        look.tagColour = 0xFB7185;
        look.background = selected ? 0x60202A : 0x481C24;
        look.secondLineColour = 0xFFD6DA;
    }
    look.pillFill = blend(look.background, look.tagColour);

    look.name = post.name.empty() ? "Guest" : post.name;
    if (list == PostList::blocked) {
        look.secondLine = "This phone cannot send until you unblock it.";
    } else if (post.text.empty() && post.hasPhoto()) {
        look.secondLine = "Photo";
    } else {
        look.secondLine = post.text;
    }

    if (list == PostList::requests && post.count > 1) {
        look.rightText = "\xC3\x97" + std::to_string(post.count);
        look.rightIsCount = true;
        look.nameRightInset = 48;
    } else if (list == PostList::messages && post.liveAt > 0 && nowMs > 0) {
        look.rightText = secondsLeftText(post.liveAt, nowMs);
        look.nameRightInset = 64;
    } else if (list != PostList::blocked && timeOfDay) {
        const std::int64_t when = post.lastAt > 0 ? post.lastAt : post.createdAt;
        if (when > 0) look.rightText = timeOfDay(when);
        if (!look.rightText.empty()) look.nameRightInset = 64;
    }
    return look;
}

}  // namespace lumvo

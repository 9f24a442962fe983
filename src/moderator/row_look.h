#pragma once
// How one row of a post list looks: the Win32 custom draw paints exactly this.
#include <cstdint>
#include <string>

#include "moderator/moderation_text.h"
#include "moderator/post_record.h"

namespace lumvo {

// The DJ's chat colours as 0xRRGGBB; 0 (or an alpha-only value) keeps the row's default.
struct ChatColours {
    std::uint32_t shoutout = 0;
    std::uint32_t request = 0;
    std::uint32_t photo = 0;
    std::uint32_t venue = 0;
};

struct RowLook {
    std::string tag;              // "REQUEST", "PHOTO", "TIP", "VOTE", "VENUE", "BLOCKED", "SHOUT",
                                  // "HOT", "PLAYED", "REFUSE"
    std::uint32_t tagColour = 0;  // 0xRRGGBB, also the accent bar, the selected outline and a count
    std::uint32_t background = 0;
    std::uint32_t secondLineColour = 0;
    std::uint32_t pillFill = 0;  // (3 × background + tag colour) / 4 per channel
    std::string name;            // the name, or "Guest"
    std::string secondLine;      // the text; "Photo" for an empty text with a photo; the Blocked note
    std::string rightText;       // "×N" (a request sent N > 1 times), "in Ns" (a post that goes live
                                 // by itself in N seconds), "HH:MM", or empty
    bool rightIsCount = false;   // a count: drawn in the tag colour 44..10 px from the right;
                                 // a time: in #78748A, 62..10 px from the right
    int nameRightInset = 12;     // the name ends this far before the right edge (48, 64 or 12)
};

inline constexpr std::uint32_t kRowTimeColour = 0x78748A;
inline constexpr std::uint32_t kRowNameColour = 0xF5F5FA;

// nowMs: the time now (milliseconds since 1970), for the seconds a post has left before it goes
// live by itself.
RowLook rowLook(const PostRecord& post, PostList list, bool selected, const ChatColours& colours,
                const TimeOfDayText& timeOfDay, std::int64_t nowMs = 0);

// "in Ns": the whole seconds, rounded up, until `liveAt` (at least 0).
std::string secondsLeftText(std::int64_t liveAt, std::int64_t nowMs);

}  // namespace lumvo

#pragma once
// A featured post for every word backdrop (one word of each keyword group, a tip and a venue
// post), shared by the gallery and the flash check.
#include <string>
#include <vector>

#include "documents/display_document.h"

namespace lumvo::test {

struct BackdropPost {
    const char* name;  // also the gallery's file name
    const char* type;
    const char* text;
    int frames;  // 50 ms apart before the gallery's picture
};

inline const std::vector<BackdropPost>& backdropPosts() {
    static const std::vector<BackdropPost> posts{
        {"01-birthday", "shoutout", "Happy 30th birthday Jo!", 16},
        {"02-love", "shoutout", "Love you all", 30},
        {"03-chase", "shoutout", "Looking sexy, table 4", 40},
        {"04-cheers", "shoutout", "Cheers to the weekend", 20},
        {"05-congrats", "shoutout", "Congrats on the new job", 20},
        {"06-dance", "shoutout", "Everybody dance now", 30},
        {"07-kiss", "shoutout", "Kiss kiss from the bar", 40},
        {"08-wedding", "shoutout", "Just engaged!", 40},
        {"09-fire", "shoutout", "This track is fire", 30},
        {"10-wild", "shoutout", "Wild night", 30},
        {"11-happy", "shoutout", "So happy right now", 16},
        {"12-sad", "shoutout", "Miss you Dad", 40},
        {"13-wow", "shoutout", "Wow what a set", 14},
        {"14-lucky", "shoutout", "Lucky night at table 9", 20},
        {"15-shots", "shoutout", "Shots for the whole bar", 40},
        {"16-sing", "shoutout", "Sing along everyone", 40},
        {"17-home", "shoutout", "Greetings to my hometown", 40},
        {"18-tip", "tip", "For the DJ", 24},
        {"19-venue", "venue", "Last orders at the bar in 15 minutes", 30},
    };
    return posts;
}

// The wall with `text` featured (and alone in the feed).
inline DisplayDocument featuredPost(const std::string& id, const std::string& type, const std::string& text) {
    DisplayDocument d;
    d.featuredId = id, d.type = type, d.name = "Mia", d.text = text, d.duration = 7;
    d.feed = {{.id = id, .type = type, .name = "Mia", .text = text}};
    return d;
}

}  // namespace lumvo::test

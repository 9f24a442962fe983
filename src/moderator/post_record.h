#pragma once
// A guest post as the moderator window holds it, and the six lists the moderation document
// (GET /api/state) fills. All strings are UTF-8 as the wall server sent them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

struct PostRecord {
    std::string id;      // the server's post id; every action names the post by it
    std::string type;    // "request", "photo", "tip", "vote", "venue", or anything else: a shout-out
    std::string name;    // the guest's name
    std::string text;    // the message (a song for a request)
    std::string photo;   // the photo's path on the wall server; non-empty: the post has a photo
    std::string search;  // a request's text for the host's song search
    std::string mark;    // a request's mark: "played", "refuse" or empty
    std::string color;   // the guest's name colour
    bool hot = false;
    std::int64_t createdAt = 0;  // milliseconds since 1970
    std::int64_t lastAt = 0;     // when it was last sent again; createdAt when the key is missing
    int count = 1;               // times sent (requests); never below 1
    std::int64_t liveAt = 0;     // a waiting post goes live by itself then (auto approve after a
                                 // delay); 0: it waits for the DJ

    bool hasPhoto() const { return !photo.empty(); }
    // The fields whose change makes a list view refill (id, name, text, photo, count, mark,
    // color, hot, liveAt); the other times are not among them.
    bool sameRow(const PostRecord& other) const;
};

// The six lists, in the order of their tabs (the Blocked list lives on a Settings page).
enum class PostList { messages = 0, requests, tips, rejected, live, blocked };
inline constexpr int kPostListCount = 6;
inline constexpr int listIndex(PostList list) { return static_cast<int>(list); }

using PostLists = std::array<std::vector<PostRecord>, kPostListCount>;

// One post object of the document; missing keys give the defaults above.
PostRecord readPostRecord(std::string_view object);

// A guest look of the moderation document ("guestLooks").
struct GuestLook {
    std::string id;
    std::string name;
};

// Everything the window reads from a moderation document. Reading never fails: a missing key
// gives its default, a missing or non-array list an empty list.
struct ModerationDocument {
    PostLists lists;  // Messages: "pending" without requests and tips; Requests: "requests"; Tips:
                      // "tips"; Rejected: "rejected"; Live: "feed"; Blocked: "blocked"
    bool voteActive = false;
    bool voteClosed = false;
    std::string voteTitle;
    double voteRemain = 0;  // seconds
    std::string voteSummary;
    std::string venuePin;
    std::string guestBgStatus;
    std::vector<GuestLook> guestLooks;  // as sent, items without an id too
    std::string guestLookActive;        // the active look's id
    std::string vdjSearch;              // a song search the server asks the host to run
    bool repeatMessages = true;
};

ModerationDocument readModerationDocument(std::string_view body);

// True when `after` would show differently from `before` (size, or any row's sameRow).
bool listChanged(const std::vector<PostRecord>& before, const std::vector<PostRecord>& after);

}  // namespace lumvo

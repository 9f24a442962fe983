#include "moderator/post_record.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/json.h"

namespace lumvo {
namespace {

std::int64_t readMillis(std::string_view object, std::string_view key, std::int64_t dflt) {
    const double value = jsonGetNumber(object, key, static_cast<double>(dflt));
    // Beyond ±2^62 ms (about 146 million years) is nonsense; clamp rather than overflow.
    constexpr double kLimit = 4.6e18;
    if (value > kLimit) return static_cast<std::int64_t>(kLimit);
    if (value < -kLimit) return static_cast<std::int64_t>(-kLimit);
    return static_cast<std::int64_t>(value);
}

int readCount(std::string_view object) {
    const double value = jsonGetNumber(object, "count", 1);
    if (!(value >= 1)) return 1;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

std::vector<PostRecord> readList(std::string_view body, std::string_view key) {
    std::vector<PostRecord> list;
    for (const std::string& object : jsonGetArrayObjects(body, key)) list.push_back(readPostRecord(object));
    return list;
}

}  // namespace

bool PostRecord::sameRow(const PostRecord& o) const {
    return id == o.id && name == o.name && text == o.text && photo == o.photo && count == o.count && mark == o.mark &&
           color == o.color && hot == o.hot && liveAt == o.liveAt;
}

PostRecord readPostRecord(std::string_view object) {
    PostRecord post;
    post.id = jsonGetString(object, "id");
    post.type = jsonGetString(object, "type");
    post.name = jsonGetString(object, "name");
    post.text = jsonGetString(object, "text");
    post.photo = jsonGetString(object, "photo");
    post.search = jsonGetString(object, "search");
    post.mark = jsonGetString(object, "mark");
    post.color = jsonGetString(object, "color");
    post.hot = jsonGetBool(object, "hot", false);
    post.createdAt = readMillis(object, "createdAt", 0);
    post.lastAt = readMillis(object, "lastAt", post.createdAt);
    post.count = readCount(object);
    post.liveAt = std::max<std::int64_t>(0, readMillis(object, "liveAt", 0));
    return post;
}

ModerationDocument readModerationDocument(std::string_view body) {
    ModerationDocument doc;
    for (PostRecord& post : readList(body, "pending")) {
        if (post.type == "request" || post.type == "tip") continue;
        doc.lists[listIndex(PostList::messages)].push_back(std::move(post));
    }
    doc.lists[listIndex(PostList::requests)] = readList(body, "requests");
    doc.lists[listIndex(PostList::tips)] = readList(body, "tips");
    doc.lists[listIndex(PostList::rejected)] = readList(body, "rejected");
    doc.lists[listIndex(PostList::live)] = readList(body, "feed");
    doc.lists[listIndex(PostList::blocked)] = readList(body, "blocked");
    doc.voteActive = jsonGetBool(body, "voteActive", false);
    doc.voteClosed = jsonGetBool(body, "voteClosed", false);
    doc.voteTitle = jsonGetString(body, "voteTitle");
    doc.voteRemain = jsonGetNumber(body, "voteRemain", 0);
    doc.voteSummary = jsonGetString(body, "voteSummary");
    doc.venuePin = jsonGetString(body, "venuePin");
    doc.guestBgStatus = jsonGetString(body, "guestBgStatus");
    for (const std::string& look : jsonGetArrayObjects(body, "guestLooks")) {
        doc.guestLooks.push_back({jsonGetString(look, "id"), jsonGetString(look, "name")});
    }
    doc.guestLookActive = jsonGetString(body, "guestLookActive");
    doc.vdjSearch = jsonGetString(body, "vdjSearch");
    doc.repeatMessages = jsonGetBool(body, "repeatMessages", true);
    return doc;
}

bool listChanged(const std::vector<PostRecord>& before, const std::vector<PostRecord>& after) {
    if (before.size() != after.size()) return true;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!before[i].sameRow(after[i])) return true;
    return false;
}

}  // namespace lumvo

#include "moderator/moderation_model.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace lumvo {
namespace {

constexpr const char* kTabNames[5] = {"Messages", "Requests", "Tips", "Rejected", "Live"};
constexpr const char* kPinLineStart = "Venue PIN  ";
constexpr const char* kPinLineEnd = "   Give this to the manager. Same QR, then Venue login.";

std::size_t codePoints(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// Line feeds become CR LF (a CR LF already there stays as it is), as an edit box wants them.
std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

const PostRecord* findById(const std::vector<PostRecord>& list, const std::string& id) {
    for (const PostRecord& post : list)
        if (post.id == id) return &post;
    return nullptr;
}

std::string format(const char* pattern, long long a) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a);
    return text;
}

}  // namespace

NewPosts findNewPosts(const PostLists& before, const PostLists& after) {
    NewPosts found;
    const auto& oldRequests = before[listIndex(PostList::requests)];
    for (const PostRecord& post : after[listIndex(PostList::requests)]) {
        const PostRecord* old = findById(oldRequests, post.id);
        if (!old || old->count < post.count) {
            found.newRequest = true;
            found.kind = "request";
        }
    }
    const auto& oldMessages = before[listIndex(PostList::messages)];
    for (const PostRecord& post : after[listIndex(PostList::messages)]) {
        if (findById(oldMessages, post.id)) continue;
        found.kind = post.type;
        if (post.hasPhoto() || post.type == "photo") found.photo = true;
    }
    const auto& oldTips = before[listIndex(PostList::tips)];
    for (const PostRecord& post : after[listIndex(PostList::tips)])
        if (!findById(oldTips, post.id)) found.kind = "tip";
    return found;
}

PostAlert chooseAlert(int n, const NewPosts& what) {
    if (n < 1) n = 1;
    if (n >= 2) return {"POSTS", format("You have %lld new posts to approve", n), n};
    if (what.photo || what.kind == "photo") return {"PHOTO", "You have a new photo to approve", 1};
    if (what.kind == "tip") return {"TIP", "You have a new tip to confirm", 1};
    if (what.kind == "request") return {"REQUEST", "You have a new request", 1};
    return {"SHOUTOUT", "You have a new shout out to approve", 1};
}

ModerationModel::ModerationModel(TimeOfDayText timeOfDay, std::function<std::int64_t()> nowMs)
    : timeOfDay_(std::move(timeOfDay)), nowMs_(std::move(nowMs)) {
    if (!nowMs_) {
        nowMs_ = [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        };
    }
    pinLine_ = std::string(kPinLineStart) + "-----" + kPinLineEnd;
    guestBgStatus_ = "Lumvo Theme is on phones";
    for (int i = 0; i < 5; ++i) captions_[i] = kTabNames[i];
}

ModerationUpdate ModerationModel::apply(std::string_view body) {
    ModerationUpdate update;
    if (gotBody_ && body == previousBody_) {
        update.unchanged = true;
        update.repeatMessages = doc_.repeatMessages;
        return update;
    }
    previousBody_.assign(body);
    gotBody_ = true;

    ModerationDocument doc = readModerationDocument(body);

    if (codePoints(doc.venuePin) == 5) {
        std::string line = kPinLineStart + doc.venuePin + kPinLineEnd;
        update.pinChanged = line != pinLine_;
        pinLine_ = std::move(line);
    }
    std::string bg = doc.guestBgStatus.empty() ? std::string("Lumvo Theme is on phones") : doc.guestBgStatus;
    update.guestBgStatusChanged = bg != guestBgStatus_;
    guestBgStatus_ = std::move(bg);
    update.songSearch = doc.vdjSearch;
    update.repeatMessages = doc.repeatMessages;

    for (int i = 0; i < kPostListCount; ++i) {
        update.refill[i] = listChanged(lists_[i], doc.lists[i]);
        // A selected post that has gone leaves its list without a selection.
        if (!selectedId_[i].empty() && !findById(doc.lists[i], selectedId_[i])) selectedId_[i].clear();
    }

    const NewPosts fresh = findNewPosts(lists_, doc.lists);
    const int total =
        static_cast<int>(doc.lists[listIndex(PostList::messages)].size() +
                         doc.lists[listIndex(PostList::requests)].size() + doc.lists[listIndex(PostList::tips)].size());
    const bool alertBefore = alertOn_;
    if (counted_ && (total > previousTotal_ || fresh.newRequest)) {
        alertOn_ = true;
        update.alert = chooseAlert(total - previousTotal_, fresh);
    }
    counted_ = true;
    if (total == 0) alertOn_ = false;
    previousTotal_ = total;
    update.alertChanged = alertOn_ != alertBefore;

    lists_ = std::move(doc.lists);
    doc.lists = {};
    doc_ = std::move(doc);

    std::string title = computeTitle();
    update.titleChanged = title != title_;
    title_ = std::move(title);
    for (int i = 0; i < 5; ++i) {
        std::string caption = std::string(kTabNames[i]) + " (" + std::to_string(lists_[i].size()) + ")";
        update.captionChanged[i] = caption != captions_[i];
        captions_[i] = std::move(caption);
    }
    std::string vote = doc_.voteActive ? std::string("Vote \xE2\x80\xA2") : std::string("Vote");
    update.voteCaptionChanged = vote != voteCaption_;
    voteCaption_ = std::move(vote);

    std::string voteStatus = "No vote running.";
    if (doc_.voteActive) {
        double remain = std::ceil(doc_.voteRemain);
        if (!(remain > 0)) remain = 0;
        if (remain > 1e9) remain = 1e9;
        const long long s = static_cast<long long>(remain);
        char left[64];
        if (doc_.voteClosed) left[0] = '\0';
        else if (s >= 3600)
            std::snprintf(left, sizeof left, "%lld:%02lld:%02lld left\r\n", s / 3600, s / 60 % 60, s % 60);
        else std::snprintf(left, sizeof left, "%lld:%02lld left\r\n", s / 60, s % 60);
        voteStatus = doc_.voteTitle + "\r\n" + left + doc_.voteSummary;
    }
    update.voteStatusChanged = voteStatus != voteStatus_;
    voteStatus_ = std::move(voteStatus);

    std::string status = computeStatus();
    update.statusChanged = status != status_;
    status_ = std::move(status);
    return update;
}

namespace {
constexpr int kSilentPollsBeforeNotice = 3;
constexpr const char* kNotAnswering = "The wall server is not answering. Posts wait on it until it does.";
}  // namespace

bool ModerationModel::pollFailed() {
    if (++failedPolls_ != kSilentPollsBeforeNotice) return false;
    status_ = kNotAnswering;
    return true;
}

bool ModerationModel::pollAnswered() {
    const bool noticed = failedPolls_ >= kSilentPollsBeforeNotice;
    failedPolls_ = 0;
    if (!noticed || status_ != kNotAnswering || !counted_) return false;
    status_ = computeStatus();
    return true;
}

std::string ModerationModel::computeTitle() const {
    const std::size_t waiting =
        lists_[listIndex(PostList::messages)].size() + lists_[listIndex(PostList::requests)].size();
    if (waiting == 0) return "LUMVO Moderator";
    return std::string("LUMVO Moderator  \xE2\x80\xA2  ") + (alertOn_ ? "NEW  \xE2\x80\xA2  " : "") +
           std::to_string(waiting) + " waiting";
}

std::string ModerationModel::computeStatus() const {
    if (alertOn_) return "New post waiting. Open Messages, Requests or Tips";
    return std::to_string(lists_[listIndex(PostList::messages)].size()) + " messages   " +
           std::to_string(lists_[listIndex(PostList::requests)].size()) + " requests   " +
           std::to_string(lists_[listIndex(PostList::tips)].size()) + " tips   " +
           std::to_string(lists_[listIndex(PostList::live)].size()) + " live";
}

void ModerationModel::select(PostList list, int row) {
    const auto& posts = lists_[listIndex(list)];
    if (row < 0 || static_cast<std::size_t>(row) >= posts.size()) selectedId_[listIndex(list)].clear();
    else selectedId_[listIndex(list)] = posts[static_cast<std::size_t>(row)].id;
}

int ModerationModel::selectedRow(PostList list) const {
    const std::string& id = selectedId_[listIndex(list)];
    if (id.empty()) return -1;
    const auto& posts = lists_[listIndex(list)];
    for (std::size_t i = 0; i < posts.size(); ++i)
        if (posts[i].id == id) return static_cast<int>(i);
    return -1;
}

std::optional<PostRecord> ModerationModel::selectedRecord(PostList list) const {
    const int row = selectedRow(list);
    if (row < 0) return std::nullopt;
    return lists_[listIndex(list)][static_cast<std::size_t>(row)];
}

std::string ModerationModel::tabCaption(int tab) const {
    if (tab < 0 || tab >= 5) return {};
    return captions_[tab];
}

std::string ModerationModel::voteCaption() const { return voteCaption_; }
std::string ModerationModel::voteStatus() const { return voteStatus_; }
std::string ModerationModel::venuePinLine() const { return pinLine_; }
std::string ModerationModel::guestBgStatus() const { return guestBgStatus_; }

std::string ModerationModel::detailText(PostList list) const {
    const std::optional<PostRecord> post = selectedRecord(list);
    if (!post) {
        switch (list) {
            case PostList::requests: return "Select a request to read it";
            case PostList::tips: return "Select a tip to confirm it";
            case PostList::rejected: return "Select a rejected post to read it";
            default: return "Select a post to read the full message";
        }
    }
    std::string text = withCrLf(post->text);
    if (text.empty()) text = post->hasPhoto() ? "(photo)" : "(no message)";
    const std::string name = post->name.empty() ? std::string("Guest") : post->name;
    switch (list) {
        case PostList::tips:
            return name + " " + text +
                   "\r\n\r\nCheck the money in your app, then Approve & show. Coins and hearts play on the wall.";
        case PostList::requests: {
            const int count = post->count < 1 ? 1 : post->count;
            std::string out = std::to_string(count) + " request" + (count == 1 ? "" : "s") + " \xC2\xB7 last " + name;
            const std::int64_t when = post->lastAt > 0 ? post->lastAt : post->createdAt;
            const std::string clock = when > 0 && timeOfDay_ ? timeOfDay_(when) : std::string();
            if (!clock.empty()) out += " \xC2\xB7 " + clock;
            return out + "\r\n\r\n" + text;
        }
        default: return text;
    }
}

RowLook ModerationModel::rowLook(PostList list, int row, bool selected, const ChatColours& colours) const {
    const auto& posts = lists_[listIndex(list)];
    if (row < 0 || static_cast<std::size_t>(row) >= posts.size()) return {};
    return lumvo::rowLook(posts[static_cast<std::size_t>(row)], list, selected, colours, timeOfDay_, nowMs_());
}

bool ModerationModel::countsDown(PostList list) const {
    if (list != PostList::messages) return false;
    const auto& posts = lists_[listIndex(list)];
    return std::any_of(posts.begin(), posts.end(), [](const PostRecord& p) { return p.liveAt > 0; });
}

}  // namespace lumvo

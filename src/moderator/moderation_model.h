#pragma once
// The moderator window's state, without a window: the six post lists mirrored from the wall
// server's moderation document, the alert decision, the selection of each list (kept by post id
// across refills), and every text the window shows (title, tab captions, status line, venue PIN
// line, detail boxes, vote status). The Win32 code feeds it each reply with apply() and shows what
// apply() says changed; it never decides anything itself.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/http_client.h"
#include "moderator/moderation_text.h"
#include "moderator/post_record.h"
#include "moderator/row_look.h"

namespace lumvo {

// A new-post alert: ping with this label and message (the count is what it is about).
struct PostAlert {
    std::string label;    // "POSTS", "PHOTO", "TIP", "REQUEST" or "SHOUTOUT"
    std::string message;  // e.g. "You have 3 new posts to approve"
    int count = 1;
    bool operator==(const PostAlert&) const = default;
};

// What is new in a reply, compared with the lists before it (by id).
struct NewPosts {
    bool newRequest = false;  // a request with a new id, or an old id with a higher count
    bool photo = false;       // a new message with a photo, or of type "photo"
    std::string kind;         // the last new post's kind: "request", a message's type, or "tip"
};
NewPosts findNewPosts(const PostLists& before, const PostLists& after);
// The label and message for n new posts of `what` (n >= 2: "POSTS").
PostAlert chooseAlert(int n, const NewPosts& what);

// What one reply changed; the window updates exactly these.
struct ModerationUpdate {
    bool unchanged = false;                     // the body equals the previous one: nothing else is set
    std::array<bool, kPostListCount> refill{};  // refill these list views, then select selectedRow()
    std::optional<PostAlert> alert;             // ping with it (not forced)
    bool alertChanged = false;                  // the alert went on or off: repaint tabs and status line
    std::string songSearch;                     // non-empty: search the host with it, then send
                                                // vdjSearchClearRequest()
    bool titleChanged = false;
    std::array<bool, 5> captionChanged{};  // tabs Messages..Live
    bool voteCaptionChanged = false;
    bool voteStatusChanged = false;
    bool statusChanged = false;
    bool pinChanged = false;
    bool guestBgStatusChanged = false;
    bool repeatMessages = true;  // the reply's idle-repeat switch (set it if it differs)
};

class ModerationModel {
public:
    // nowMs: the time now in milliseconds since 1970 (the seconds a post has left before it goes
    // live by itself); the system clock when empty.
    explicit ModerationModel(TimeOfDayText timeOfDay = localTimeOfDay, std::function<std::int64_t()> nowMs = {});

    // Takes one reply body of GET /api/state. A body equal to the previous one changes nothing;
    // any other body is kept (so an unchanged faulty one is not read again) and read.
    ModerationUpdate apply(std::string_view body);

    const std::vector<PostRecord>& list(PostList list) const { return lists_[listIndex(list)]; }

    // Selection, by post id: select() when the DJ picks a row (-1: none); selectedRow() is where
    // that post is now (-1 when it is gone), which is the row to select after a refill.
    void select(PostList list, int row);
    int selectedRow(PostList list) const;
    // A copy of the selected post, so a handler keeps it whatever a later poll does to the lists.
    std::optional<PostRecord> selectedRecord(PostList list) const;

    // The alert: on when new posts came; off when a Messages, Requests or Tips tab is shown
    // (clearAlert) or nothing waits any more.
    bool alertOn() const { return alertOn_; }
    void clearAlert() { alertOn_ = false; }

    std::string windowTitle() const { return title_; }
    // Tabs 0..4: "Messages (%d)" ... "Live (%d)"; before any reply the plain names.
    std::string tabCaption(int tab) const;
    std::string voteCaption() const;  // "Vote •" while a vote runs
    std::string voteStatus() const;   // the Vote tab's status box
    std::string venuePinLine() const;
    std::string guestBgStatus() const;  // "Lumvo Theme is on phones" for an empty value
    // The last reply's guest looks as sent, and the active one's id.
    const std::vector<GuestLook>& guestLooks() const { return doc_.guestLooks; }
    const std::string& guestLookActive() const { return doc_.guestLookActive; }
    std::string detailText(PostList list) const;  // for the selected post, or the hint

    // The status line. An action may put its own text there; it stays until a changed reply.
    const std::string& statusLine() const { return status_; }
    void setStatusLine(std::string text) { status_ = std::move(text); }
    // A poll that got no reply. From the third in a row the status line says the wall server is
    // not answering; true when that changed it.
    bool pollFailed();
    // A poll that got a reply: the status line that said the server was not answering shows the
    // lists' counts again (an unchanged reply would not); true when that changed it.
    bool pollAnswered();

    RowLook rowLook(PostList list, int row, bool selected, const ChatColours& colours) const;
    // Whether a row of the list counts seconds down (the window repaints it every second).
    bool countsDown(PostList list) const;

private:
    std::string computeTitle() const;
    std::string computeStatus() const;

    TimeOfDayText timeOfDay_;
    std::function<std::int64_t()> nowMs_;
    PostLists lists_;
    std::array<std::string, kPostListCount> selectedId_;
    std::string previousBody_;
    bool gotBody_ = false;
    bool counted_ = false;  // the first total has been taken
    int previousTotal_ = 0;
    bool alertOn_ = false;
    ModerationDocument doc_;
    std::string title_ = "LUMVO Moderator";
    std::array<std::string, 5> captions_;
    std::string voteCaption_ = "Vote";
    std::string voteStatus_ = "No vote running.";
    std::string status_ = "Waiting for guests\xE2\x80\xA6";
    int failedPolls_ = 0;
    std::string pinLine_;
    std::string guestBgStatus_;
};

}  // namespace lumvo

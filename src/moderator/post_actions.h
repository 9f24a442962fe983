#pragma once
// The buttons under the post lists and what each does, decided without a window. A handler asks
// planAction() for a plan: the plan holds copies of the post's id and name taken at that moment,
// so a confirmation box (during which the one-second poll goes on) or a slow request can never
// make it act on another post. The Win32 code then asks the box if any, sends the request with
// sendWallRequest(), polls if told, and shows the status text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "moderator/post_record.h"

namespace lumvo {

class HttpClient;
struct HttpOptions;

enum class PostAction {
    show,
    reject,
    viewPhoto,
    block,
    search,
    markPlayed,
    markRefuse,
    drop,
    restore,
    unblock,
    highlight,
    remove,
    unblockAll,
    showNext,
    skip,
    clearChat,
    browserMod,
    // Reject every waiting post from the phone, or from the network address, the post's row names
    // (the wall server answers how many it rejected). Not on any row of the desk yet.
    rejectPhone,
    rejectAddress,
    // Opens the night's report (the wall server's page) in the default browser.
    nightReport,
};

// What a button sends to the wall server.
enum class ActionBody : std::uint8_t {
    none,      // nothing: the button acts on this PC (see BoothAction::runs)
    postId,    // {"id":"<post id>"}
    postMark,  // {"id":"<post id>","mark":"<mark>"}, or "" when the post has that mark already
    everyone,  // {"all":true}
    empty,     // {}
};

// One button of the desk. The buttons, the lists they are under and the requests they send are
// exported to tests/contract/booth-actions.json, against which the wall server's tests check its
// routes and the browser moderator page's buttons.
struct BoothAction {
    PostAction action;
    const char* name;     // the button's name in the exported table
    const char* caption;  // as the button shows it
    bool onPost;          // acts on the selected post (no post selected: the button does nothing)
    const char* method;   // the request; null for a button that sends none
    const char* path;
    ActionBody body;
    const char* mark = nullptr;        // postMark: the mark it sets
    const char* runs = nullptr;        // a button that sends nothing: what it runs on this PC
    const char* notForType = nullptr;  // a post type it is never offered for, because the server refuses it
};

// Every button, each once.
std::span<const BoothAction> boothActions();
const BoothAction& boothAction(PostAction action);

// A row of buttons: under a post list (left to right), or, with no list, the Settings tab's row.
struct ButtonRow {
    const char* name;  // the row's name in the exported table
    std::optional<PostList> list;
    std::span<const PostAction> buttons;
};
// Every row: the six lists in the order of their tabs, then the Settings tab's.
std::span<const ButtonRow> buttonRows();

// The button's caption.
inline const char* actionCaption(PostAction action) { return boothAction(action).caption; }
// The buttons under a list, left to right (the Blocked list's are on its Settings page).
std::vector<PostAction> listButtons(PostList list);
// The row of buttons at the bottom of the Settings tab.
std::vector<PostAction> settingsButtons();

// A POST to the wall server.
struct WallRequest {
    std::string method = "POST";
    std::string path;
    std::string body;
    bool operator==(const WallRequest&) const = default;
};

// A yes/no box with "No" as the default button.
struct Confirmation {
    enum class Icon { warning, question };
    std::string title;
    std::string text;
    Icon icon = Icon::warning;
};

struct ActionPlan {
    PostAction action{};                  // what it is the plan for
    bool enabled = false;                 // false: do nothing at all (no request, no poll)
    std::optional<Confirmation> confirm;  // ask first; "No" ends here
    std::optional<WallRequest> request;   // send it (the outcome decides the status text)
    bool pollAfter = false;               // poll the state after the request, whatever its outcome
    std::string songSearch;               // hand to the host's song search
    std::string photoPath;                // open the photo preview for it
    std::string openUrl;                  // open in the default browser
    std::string statusText;               // set on the status line at once ("Searching VirtualDJ…")
    // Copies of the post, taken when the plan was made.
    std::string postId;
    std::string postName;
};

// The plan for `action` on `selected` (a copy of the list's selected post, or none). `blockedCount`
// is the Blocked list's size (Unblock all asks nothing and does nothing when it is 0).
ActionPlan planAction(PostAction action, const std::optional<PostRecord>& selected, std::size_t blockedCount = 0);
// Whether the button is enabled for that selection: the same rule as planAction's `enabled`.
inline bool actionEnabled(PostAction action, const std::optional<PostRecord>& selected, std::size_t blockedCount = 0) {
    return planAction(action, selected, blockedCount).enabled;
}

// The status line after the request: a short note on failure; on success empty (leave it), but for
// the bulk rejections how many posts went ("Rejected 3 posts."), read from the server's `reply`.
std::string actionStatusAfter(const ActionPlan& plan, bool succeeded, std::string_view reply = {});

// Sends a request to the wall server (with the client's default time-outs unless `options` say
// otherwise); true for a 2xx reply.
// `reply`, when given, receives the reply's body.
bool sendWallRequest(HttpClient& http, const WallRequest& request, const HttpOptions& options,
                     std::string* reply = nullptr);
bool sendWallRequest(HttpClient& http, const WallRequest& request);

// After a song search taken from the moderation document: the server drops its request.
WallRequest vdjSearchClearRequest();

}  // namespace lumvo

#include "moderator/post_actions.h"

#include "moderator/moderation_text.h"
#include "base/http_client.h"
#include "base/json.h"

namespace lumvo {
namespace {

using A = PostAction;
using B = ActionBody;

// In the order of PostAction.
constexpr BoothAction kActions[] = {
    {A::show, "show", "Approve & show", true, "POST", "/api/show", B::postId},
    {A::reject, "reject", "Reject", true, "POST", "/api/reject", B::postId},
    {A::viewPhoto, "viewPhoto", "View photo", true, nullptr, nullptr, B::none, nullptr, "photo preview"},
    // A vote result comes from no phone: there is nobody to block, and the server says so.
    {A::block, "block", "Block", true, "POST", "/api/block", B::postId, nullptr, nullptr, "vote"},
    {A::search, "search", "Search", true, nullptr, nullptr, B::none, nullptr, "song search"},
    {A::markPlayed, "markPlayed", "Played", true, "POST", "/api/request-mark", B::postMark, "played"},
    {A::markRefuse, "markRefuse", "Refuse", true, "POST", "/api/request-mark", B::postMark, "refuse"},
    {A::drop, "drop", "Clear", true, "POST", "/api/drop", B::postId},
    {A::restore, "restore", "Restore", true, "POST", "/api/restore", B::postId},
    {A::unblock, "unblock", "Unblock", true, "POST", "/api/unblock", B::postId},
    {A::highlight, "highlight", "Show again", true, "POST", "/api/highlight", B::postId},
    {A::remove, "remove", "Remove", true, "POST", "/api/remove", B::postId},
    {A::unblockAll, "unblockAll", "Unblock all", false, "POST", "/api/unblock", B::everyone},
    {A::showNext, "showNext", "Show next", false, "POST", "/api/next", B::empty},
    {A::skip, "skip", "Skip", false, "POST", "/api/skip", B::empty},
    {A::clearChat, "clearChat", "Clear chat", false, "POST", "/api/clear", B::empty},
    {A::browserMod, "browserMod", "Browser mod", false, nullptr, nullptr, B::none, nullptr, "browser"},
    {A::rejectPhone, "rejectPhone", "Reject all from phone", true, "POST", "/api/reject-phone", B::postId, nullptr,
     nullptr, "vote"},
    {A::rejectAddress, "rejectAddress", "Reject all from network", true, "POST", "/api/reject-address", B::postId,
     nullptr, nullptr, "vote"},
    {A::nightReport, "nightReport", "Night report", false, nullptr, nullptr, B::none, nullptr, "browser"},
};

constexpr bool actionsInOrder() {
    for (std::size_t i = 0; i < std::size(kActions); ++i)
        if (static_cast<std::size_t>(kActions[i].action) != i) return false;
    return std::size(kActions) == static_cast<std::size_t>(A::nightReport) + 1;
}
static_assert(actionsInOrder(), "one row per PostAction, in its order");

// The waiting lists end with the bulk rejections: everything one phone, or one network address,
// has waiting goes at once (a phone or a script that floods the queue).
constexpr PostAction kMessages[] = {A::show, A::reject, A::viewPhoto, A::block, A::rejectPhone, A::rejectAddress};
constexpr PostAction kRequests[] = {A::search, A::markPlayed,  A::markRefuse,   A::drop,
                                    A::block,  A::rejectPhone, A::rejectAddress};
constexpr PostAction kTips[] = {A::show, A::reject, A::block, A::rejectPhone, A::rejectAddress};
constexpr PostAction kRejected[] = {A::restore, A::block, A::unblock, A::viewPhoto};
constexpr PostAction kLive[] = {A::highlight, A::remove, A::viewPhoto, A::block, A::nightReport};
constexpr PostAction kBlocked[] = {A::unblock, A::unblockAll};
constexpr PostAction kSettings[] = {A::showNext, A::skip, A::clearChat, A::browserMod};

constexpr ButtonRow kRows[] = {
    {"messages", PostList::messages, kMessages},
    {"requests", PostList::requests, kRequests},
    {"tips", PostList::tips, kTips},
    {"rejected", PostList::rejected, kRejected},
    {"live", PostList::live, kLive},
    {"blocked", PostList::blocked, kBlocked},
    {"settings", std::nullopt, kSettings},
};

// {"id":"ID"}; the id is escaped, so an id with a quote or a back-slash still makes valid JSON.
std::string idBody(const std::string& id) { return "{\"id\":\"" + jsonEscapeControlsAsSpaces(id) + "\"}"; }

std::string requestBody(const BoothAction& a, const PostRecord* post) {
    switch (a.body) {
        case B::postId: return idBody(post->id);
        case B::postMark: {
            const std::string sent =
                post->mark == a.mark ? std::string() : a.mark;  // the same button again takes it off
            return "{\"id\":\"" + jsonEscapeControlsAsSpaces(post->id) + "\",\"mark\":\"" + sent + "\"}";
        }
        case B::everyone: return "{\"all\":true}";
        case B::empty:
        case B::none: break;
    }
    return "{}";
}

}  // namespace

std::span<const BoothAction> boothActions() { return kActions; }
const BoothAction& boothAction(PostAction action) { return kActions[static_cast<std::size_t>(action)]; }
std::span<const ButtonRow> buttonRows() { return kRows; }

std::vector<PostAction> listButtons(PostList list) {
    for (const ButtonRow& row : kRows)
        if (row.list == list) return {row.buttons.begin(), row.buttons.end()};
    return {};
}

std::vector<PostAction> settingsButtons() {
    for (const ButtonRow& row : kRows)
        if (!row.list) return {row.buttons.begin(), row.buttons.end()};
    return {};
}

ActionPlan planAction(PostAction action, const std::optional<PostRecord>& selected, std::size_t blockedCount) {
    const BoothAction& button = boothAction(action);
    // A post without an id cannot be named to the server.
    const PostRecord* post = selected && !selected->id.empty() ? &*selected : nullptr;
    if (button.onPost && (!post || (button.notForType && post->type == button.notForType))) return {};

    ActionPlan plan;
    plan.enabled = true;
    plan.action = action;
    if (button.path) {
        plan.request = WallRequest{button.method, button.path, requestBody(button, post)};
        // A request about posts polls at once; Show next, Skip and Clear chat show on the next tick.
        plan.pollAfter = button.body != ActionBody::empty;
    }
    switch (action) {
        case PostAction::clearChat:
            // One click would empty the wall in front of the room: ask, "No" the default.
            plan.confirm = Confirmation{"Clear the chat?", "Clear the chat? Every post goes off the wall.",
                                        Confirmation::Icon::question};
            break;
        case PostAction::unblockAll:
            if (blockedCount == 0) return {};
            plan.confirm = Confirmation{"Unblock all?", "Unblock every guest? They will be able to send again.",
                                        Confirmation::Icon::question};
            break;
        case PostAction::block: {
            const std::string who =
                post->name.empty() ? std::string("this guest") : cutWithEllipsis(post->name, kBoxNameMax);
            plan.confirm = Confirmation{"Block guest?",
                                        "Block " + who +
                                            " from sending more messages, requests and photos on that phone?\n\n"
                                            "You can unblock them later in Settings.",
                                        Confirmation::Icon::warning};
            break;
        }
        case PostAction::search: {
            const std::string& text = post->search.empty() ? post->text : post->search;
            if (text.empty()) return {};
            plan.songSearch = text;
            plan.statusText = "Searching VirtualDJ\xE2\x80\xA6";
            break;
        }
        case PostAction::viewPhoto:
            if (!post->hasPhoto()) return {};
            plan.photoPath = post->photo;
            break;
        case PostAction::rejectPhone:
        case PostAction::rejectAddress: {
            const bool phone = action == PostAction::rejectPhone;
            const std::string who =
                post->name.empty() ? std::string("this guest") : cutWithEllipsis(post->name, kBoxNameMax);
            plan.confirm = Confirmation{
                phone ? "Reject all from this phone?" : "Reject all from this network?",
                phone ? "Reject every post waiting from " + who + "'s phone? The phone is not blocked."
                      : "Reject every post waiting from the network address " + who +
                            "'s phone sent from? Other guests on that address lose their waiting posts too.",
                Confirmation::Icon::warning};
            break;
        }
        case PostAction::browserMod: plan.openUrl = "http://127.0.0.1:8787/mod"; break;
        case PostAction::nightReport: plan.openUrl = "http://127.0.0.1:8787/api/report"; break;
        default: break;
    }
    if (button.onPost) {
        plan.postId = post->id;
        plan.postName = post->name;
    }
    return plan;
}

std::string actionStatusAfter(const ActionPlan& plan, bool succeeded, std::string_view reply) {
    if (!plan.request) return {};
    if (!succeeded) return "The wall server did not take that. Try again.";
    if (plan.action != PostAction::rejectPhone && plan.action != PostAction::rejectAddress) return {};
    // The server says how many it rejected; a reply without the count says nothing false.
    const double count = jsonGetNumber(reply, "rejected", -1);
    if (!(count >= 0 && count < 1e9)) return "Rejected.";
    const long long n = static_cast<long long>(count);
    return "Rejected " + std::to_string(n) + (n == 1 ? " post." : " posts.");
}

bool sendWallRequest(HttpClient& http, const WallRequest& request, const HttpOptions& options, std::string* reply) {
    std::string body;
    const bool ok = request.method == "GET" ? httpGet(http, request.path, body, options)
                                            : httpPost(http, request.path, request.body, body, options);
    if (reply) *reply = std::move(body);
    return ok;
}

bool sendWallRequest(HttpClient& http, const WallRequest& request) { return sendWallRequest(http, request, {}); }

WallRequest vdjSearchClearRequest() { return {"POST", "/api/vdj-search", "{\"clear\":true}"}; }

}  // namespace lumvo

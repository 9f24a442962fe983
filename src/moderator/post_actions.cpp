#include "moderator/post_actions.h"

#include "moderator/moderation_text.h"
#include "base/http_client.h"
#include "base/json.h"

namespace lumvo {
namespace {

// {"id":"ID"}; the id is escaped, so an id with a quote or a back-slash still makes valid JSON.
std::string idBody(const std::string& id) {
    return "{\"id\":\"" + jsonEscapeControlsAsSpaces(id) + "\"}";
}

ActionPlan postRequest(const char* path, std::string body) {
    ActionPlan plan;
    plan.enabled = true;
    plan.request = WallRequest{"POST", path, std::move(body)};
    plan.pollAfter = true;
    return plan;
}

}  // namespace

const char* actionCaption(PostAction action) {
    switch (action) {
        case PostAction::show: return "Approve & show";
        case PostAction::reject: return "Reject";
        case PostAction::viewPhoto: return "View photo";
        case PostAction::block: return "Block";
        case PostAction::search: return "Search";
        case PostAction::markPlayed: return "Played";
        case PostAction::markRefuse: return "Refuse";
        case PostAction::drop: return "Clear";
        case PostAction::restore: return "Restore";
        case PostAction::unblock: return "Unblock";
        case PostAction::highlight: return "Show again";
        case PostAction::remove: return "Remove";
        case PostAction::unblockAll: return "Unblock all";
        case PostAction::showNext: return "Show next";
        case PostAction::skip: return "Skip";
        case PostAction::clearChat: return "Clear chat";
        case PostAction::browserMod: return "Browser mod";
    }
    return "";
}

std::vector<PostAction> listButtons(PostList list) {
    using A = PostAction;
    switch (list) {
        case PostList::messages: return {A::show, A::reject, A::viewPhoto, A::block};
        case PostList::requests: return {A::search, A::markPlayed, A::markRefuse, A::drop, A::block};
        case PostList::tips: return {A::show, A::reject, A::block};
        case PostList::rejected: return {A::restore, A::block, A::unblock, A::viewPhoto};
        case PostList::live: return {A::highlight, A::remove, A::viewPhoto, A::block};
        case PostList::blocked: return {A::unblock, A::unblockAll};
    }
    return {};
}

std::vector<PostAction> settingsButtons() {
    return {PostAction::showNext, PostAction::skip, PostAction::clearChat, PostAction::browserMod};
}

ActionPlan planAction(PostAction action, const std::optional<PostRecord>& selected, std::size_t blockedCount) {
    // Actions on no post.
    switch (action) {
        case PostAction::showNext:
        case PostAction::skip:
        case PostAction::clearChat: {
            ActionPlan plan;
            plan.enabled = true;
            const char* path = action == PostAction::showNext ? "/api/next" : action == PostAction::skip ? "/api/skip" : "/api/clear";
            plan.request = WallRequest{"POST", path, "{}"};
            return plan;  // no poll: the next tick shows the effect
        }
        case PostAction::browserMod: {
            ActionPlan plan;
            plan.enabled = true;
            plan.openUrl = "http://127.0.0.1:8787/mod";
            return plan;
        }
        case PostAction::unblockAll: {
            ActionPlan plan;
            if (blockedCount == 0) return plan;
            plan = postRequest("/api/unblock", "{\"all\":true}");
            plan.confirm = Confirmation{"Unblock all?", "Unblock every guest? They will be able to send again.",
                                        Confirmation::Icon::question};
            return plan;
        }
        default: break;
    }

    // Actions on the selected post. A post without an id cannot be named to the server.
    if (!selected || selected->id.empty()) return {};
    const PostRecord& post = *selected;
    ActionPlan plan;
    switch (action) {
        case PostAction::show: plan = postRequest("/api/show", idBody(post.id)); break;
        case PostAction::reject: plan = postRequest("/api/reject", idBody(post.id)); break;
        case PostAction::drop: plan = postRequest("/api/drop", idBody(post.id)); break;
        case PostAction::highlight: plan = postRequest("/api/highlight", idBody(post.id)); break;
        case PostAction::remove: plan = postRequest("/api/remove", idBody(post.id)); break;
        case PostAction::restore: plan = postRequest("/api/restore", idBody(post.id)); break;
        case PostAction::unblock: plan = postRequest("/api/unblock", idBody(post.id)); break;
        case PostAction::block: {
            plan = postRequest("/api/block", idBody(post.id));
            const std::string who = post.name.empty() ? std::string("this guest") : cutWithEllipsis(post.name, kBoxNameMax);
            plan.confirm = Confirmation{"Block guest?",
                                        "Block " + who +
                                            " from sending more messages, requests and photos on that phone?\n\n"
                                            "You can unblock them later in Settings.",
                                        Confirmation::Icon::warning};
            break;
        }
        case PostAction::markPlayed:
        case PostAction::markRefuse: {
            const std::string mark = action == PostAction::markPlayed ? "played" : "refuse";
            const std::string sent = post.mark == mark ? std::string() : mark;  // the same button again takes it off
            plan = postRequest("/api/request-mark",
                               "{\"id\":\"" + jsonEscapeControlsAsSpaces(post.id) + "\",\"mark\":\"" + sent + "\"}");
            break;
        }
        case PostAction::search: {
            const std::string& text = post.search.empty() ? post.text : post.search;
            if (text.empty()) return {};
            plan.enabled = true;
            plan.songSearch = text;
            plan.statusText = "Searching VirtualDJ\xE2\x80\xA6";
            break;
        }
        case PostAction::viewPhoto:
            if (!post.hasPhoto()) return {};
            plan.enabled = true;
            plan.photoPath = post.photo;
            break;
        default: return {};
    }
    plan.postId = post.id;
    plan.postName = post.name;
    return plan;
}

std::string actionStatusAfter(const ActionPlan& plan, bool succeeded) {
    if (succeeded || !plan.request) return {};
    return "The wall server did not take that. Try again.";
}

bool sendWallRequest(HttpClient& http, const WallRequest& request) {
    std::string reply;
    if (request.method == "GET") return httpGet(http, request.path, reply);
    return httpPost(http, request.path, request.body, reply);
}

WallRequest vdjSearchClearRequest() { return {"POST", "/api/vdj-search", "{\"clear\":true}"}; }

}  // namespace lumvo

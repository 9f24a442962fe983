// The post buttons' plans: the request each one sends (checked with a real JSON parser), the
// confirmations, when a button does nothing, and that a plan keeps the post it was made for
// whatever the lists do while a box is up or a request is slow.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "moderator/moderation_model.h"
#include "moderator/post_actions.h"
#include "support/scripted_http_client.h"

namespace lumvo {
namespace {

using nlohmann::json;

json post(const std::string& id, const std::string& name = "Ann") {
    return {{"id", id}, {"type", "shoutout"}, {"name", name}, {"text", "hi"}};
}

std::string messagesBody(const json& pending) {
    return json{{"pending", pending}, {"requests", json::array()}, {"tips", json::array()}}.dump();
}

PostRecord record(const std::string& id, const std::string& name = "Ann") { return readPostRecord(post(id, name).dump()); }

TEST(PostActions, EveryPostButtonSendsItsBodyToItsEndpointAndPolls) {
    const std::pair<PostAction, const char*> simple[] = {
        {PostAction::show, "/api/show"},       {PostAction::reject, "/api/reject"}, {PostAction::drop, "/api/drop"},
        {PostAction::highlight, "/api/highlight"}, {PostAction::remove, "/api/remove"}, {PostAction::restore, "/api/restore"},
        {PostAction::unblock, "/api/unblock"}, {PostAction::block, "/api/block"}};
    // An id with a quote and a back-slash still gives valid JSON naming exactly that id.
    const PostRecord odd = record("p_\"7\\x");
    for (const auto& [action, path] : simple) {
        const ActionPlan plan = planAction(action, odd);
        ASSERT_TRUE(plan.enabled && plan.request) << path;
        EXPECT_EQ(std::tie(plan.request->method, plan.request->path), std::tie("POST", path));
        EXPECT_EQ(json::parse(plan.request->body), (json{{"id", "p_\"7\\x"}})) << path;
        EXPECT_TRUE(plan.pollAfter) << path;
        EXPECT_EQ(plan.confirm.has_value(), action == PostAction::block) << path;

        // No row selected, or a post the server gave no id: nothing at all.
        EXPECT_FALSE(planAction(action, std::nullopt).enabled || planAction(action, std::nullopt).request) << path;
        EXPECT_FALSE(planAction(action, record("")).enabled) << path;
    }

    // The settings row: no post, no poll.
    for (const auto& [action, path] : {std::pair{PostAction::showNext, "/api/next"}, std::pair{PostAction::skip, "/api/skip"},
                                       std::pair{PostAction::clearChat, "/api/clear"}}) {
        const ActionPlan plan = planAction(action, std::nullopt);
        ASSERT_TRUE(plan.request);
        EXPECT_EQ(plan.request->path, path);
        EXPECT_EQ(plan.request->body, "{}");
        EXPECT_FALSE(plan.pollAfter) << "the next tick shows the effect";
    }
    // Every button under every list acts on a whole post (one with a photo and a text).
    PostRecord full = record("p9");
    full.photo = "/uploads/p9.jpg";
    for (int list = 0; list < kPostListCount; ++list)
        for (PostAction action : listButtons(static_cast<PostList>(list)))
            EXPECT_TRUE(planAction(action, full, 1).enabled) << list << " " << actionCaption(action);
}

TEST(PostActions, MarksToggleAndSearchPhotoAndUnblockAllFollowTheirRules) {
    PostRecord request = record("r1");
    request.type = "request";
    request.text = "Song - Artist";
    auto markOf = [](const ActionPlan& plan) { return json::parse(plan.request->body).at("mark").get<std::string>(); };
    EXPECT_EQ(markOf(planAction(PostAction::markPlayed, request)), "played");
    request.mark = "played";
    EXPECT_EQ(markOf(planAction(PostAction::markPlayed, request)), "") << "the same button takes the mark off";
    EXPECT_EQ(markOf(planAction(PostAction::markRefuse, request)), "refuse");
    EXPECT_EQ(json::parse(planAction(PostAction::markRefuse, request).request->body).at("id"), "r1");

    // Search: the request's search text, else its text; nothing goes to the server.
    const ActionPlan search = planAction(PostAction::search, request);
    EXPECT_EQ(search.songSearch, "Song - Artist");
    EXPECT_FALSE(search.request);
    request.search = "Song Artist";
    EXPECT_EQ(planAction(PostAction::search, request).songSearch, "Song Artist");
    request.search.clear();
    request.text.clear();
    EXPECT_FALSE(planAction(PostAction::search, request).enabled);

    // View photo only for a post with a photo.
    PostRecord photo = record("p1");
    EXPECT_FALSE(planAction(PostAction::viewPhoto, photo).enabled);
    photo.photo = "/uploads/a.jpg";
    EXPECT_EQ(planAction(PostAction::viewPhoto, photo).photoPath, "/uploads/a.jpg");

    // Unblock all asks first, and with nobody blocked neither asks nor sends.
    EXPECT_FALSE(planAction(PostAction::unblockAll, std::nullopt, 0).enabled);
    const ActionPlan all = planAction(PostAction::unblockAll, std::nullopt, 2);
    ASSERT_TRUE(all.confirm);
    EXPECT_EQ(json::parse(all.request->body), (json{{"all", true}}));

    EXPECT_EQ(actionStatusAfter(all, true), "");
    EXPECT_FALSE(actionStatusAfter(all, false).empty()) << "a request the server did not take is said so";
    EXPECT_EQ(actionStatusAfter(search, false), "") << "no request, nothing to report";
}

TEST(PostActions, TheBlockBoxNamesTheGuestWithinABound) {
    const ActionPlan anonymous = planAction(PostAction::block, record("p1", ""));
    ASSERT_TRUE(anonymous.confirm);
    EXPECT_EQ(anonymous.confirm->text.find("Block  "), std::string::npos) << "no empty name in the question";

    const std::string longName(5000, 'N');
    const ActionPlan named = planAction(PostAction::block, record("p2", longName));
    const std::string& text = named.confirm->text;
    EXPECT_LT(text.size(), 200u);
    EXPECT_NE(text.find(std::string(kBoxNameMax - 1, 'N') + "\xE2\x80\xA6 from sending"), std::string::npos);
    EXPECT_EQ(named.postName, longName) << "the plan keeps the whole name; only the box text is bounded";
}

TEST(PostActions, ARequestCarriesTheIdTakenBeforeTheBoxWhateverThePollDidMeanwhile) {
    ModerationModel model;
    test::ScriptedHttpClient http;
    model.apply(messagesBody(json::array({post("m1", "Ann"), post("m2", "Rex"), post("m3", "Kim")})));
    model.select(PostList::messages, 1);

    // The DJ clicks Block on Rex; the plan is made before the box opens.
    const ActionPlan plan = planAction(PostAction::block, model.selectedRecord(PostList::messages));
    ASSERT_TRUE(plan.confirm);
    EXPECT_NE(plan.confirm->text.find("Block Rex "), std::string::npos);

    // While the box is up the timer polls: Rex's post was approved in the browser, the lists now
    // hold other posts at his row.
    model.apply(messagesBody(json::array({post("m1", "Ann"), post("m9", "Zed"), post("m3", "Kim")})));
    EXPECT_FALSE(model.selectedRecord(PostList::messages)) << "his post has gone from the list";

    // "Yes": the request still names Rex's post, never the post now at his row.
    http.script("/api/block", {.status = 200, .body = "{}"});
    ASSERT_TRUE(sendWallRequest(http, *plan.request));
    const auto sent = http.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(json::parse(*sent[0].request.body), (json{{"id", "m2"}}));

    // A request the server refuses or never answers is a failure.
    http.script("/api/show", {.status = 404, .body = "{}"});
    EXPECT_FALSE(sendWallRequest(http, *planAction(PostAction::show, record("m1")).request));
    EXPECT_FALSE(sendWallRequest(http, *planAction(PostAction::show, record("m1")).request));
}

}  // namespace
}  // namespace lumvo

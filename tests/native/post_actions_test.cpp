// The desk's buttons against their exported copy in tests/contract/booth-actions.json (which the
// wall server's tests check its routes and the browser moderator page against), and the plans'
// own rules: bodies that survive any id (checked with a real JSON parser), the confirmations, when
// a button does nothing, and that a plan keeps the post it was made for whatever the lists do
// while a box is up or a request is slow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "moderator/moderation_model.h"
#include "moderator/post_actions.h"
#include "support/scripted_http_client.h"

namespace lumvo {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

json post(const std::string& id, const std::string& name = "Ann") {
    return {{"id", id}, {"type", "shoutout"}, {"name", name}, {"text", "hi"}};
}

std::string messagesBody(const json& pending) {
    return json{{"pending", pending}, {"requests", json::array()}, {"tips", json::array()}}.dump();
}

PostRecord record(const std::string& id, const std::string& name = "Ann") {
    return readPostRecord(post(id, name).dump());
}

// The desk's buttons as the wall server's tests read them: every button with the request its plan
// sends for a post (or what it runs on this PC instead), and the rows of buttons. Built from
// planAction, so the file says what the desk really sends.
ordered_json exportedActions() {
    PostRecord sample = record("p_1");
    sample.photo = "/uploads/p_1.jpg";
    ordered_json actions = ordered_json::array();
    for (const BoothAction& button : boothActions()) {
        const ActionPlan plan = planAction(button.action, sample, 1);
        ordered_json a = {{"action", button.name}, {"caption", button.caption}, {"onPost", button.onPost}};
        if (plan.request) {
            a["method"] = plan.request->method;
            a["path"] = plan.request->path;
            a["body"] = ordered_json::parse(plan.request->body);
        } else {
            a["runs"] = button.runs;
        }
        if (button.notForType) a["notForTypes"] = {button.notForType};
        actions.push_back(a);
    }
    ordered_json rows = ordered_json::array();
    for (const ButtonRow& row : buttonRows()) {
        ordered_json names = ordered_json::array();
        for (PostAction action : row.buttons) names.push_back(boothAction(action).name);
        rows.push_back({{"row", row.name}, {"buttons", names}});
    }
    const WallRequest search = vdjSearchClearRequest();
    return {{"about",
             "The moderator window's buttons: each with the request it sends for the post {\"id\":\"p_1\"} (or what "
             "it runs on the DJ's PC), the post types it is never offered for, and the rows of buttons under each "
             "list and on the Settings tab, left to right. songSearch is how the wall server hands a song search to "
             "the host. Written by the native tests (LUMVO_WRITE_CONTRACT=1); the wall server's tests check its "
             "routes and the browser moderator page against it."},
            {"actions", actions},
            {"rows", rows},
            {"songSearch", {{"method", search.method}, {"path", search.path}}}};
}

TEST(PostActions, MatchTheCopyTheWallServerReads) {
    const std::string path = std::string(LUMVO_SOURCE_DIR) + "/tests/contract/booth-actions.json";
    const ordered_json table = exportedActions();
    if (std::getenv("LUMVO_WRITE_CONTRACT")) {
        // One button or row a line, so that a change to one is a one-line diff.
        std::ofstream out(path);
        out << "{\n  \"about\": " << table["about"].dump();
        for (const char* key : {"actions", "rows"}) {
            out << ",\n  \"" << key << "\": [\n";
            const auto& items = table[key];
            for (std::size_t i = 0; i < items.size(); ++i)
                out << "    " << items[i].dump() << (i + 1 < items.size() ? ",\n" : "\n");
            out << "  ]";
        }
        out << ",\n  \"songSearch\": " << table["songSearch"].dump() << "\n}\n";
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream file(path);
    ASSERT_TRUE(file) << "missing " << path;
    EXPECT_EQ(ordered_json::parse(file), table) << path << " is out of date: after an intended change run the native "
                                                << "tests with LUMVO_WRITE_CONTRACT=1 and check the wall server";
}

TEST(PostActions, APostButtonNamesExactlyItsPostAndNeedsOne) {
    // An id with a quote and a back-slash still gives valid JSON naming exactly that id.
    const PostRecord odd = record("p_\"7\\x");
    for (const BoothAction& button : boothActions()) {
        if (!button.onPost) continue;
        if (button.path) {
            const ActionPlan plan = planAction(button.action, odd);
            ASSERT_TRUE(plan.enabled && plan.request) << button.name;
            EXPECT_EQ(json::parse(plan.request->body).at("id"), "p_\"7\\x") << button.name;
            EXPECT_TRUE(plan.pollAfter) << button.name;
        }
        // No row selected, or a post the server gave no id: nothing at all.
        EXPECT_FALSE(planAction(button.action, std::nullopt).enabled || planAction(button.action, std::nullopt).request)
            << button.name;
        EXPECT_FALSE(planAction(button.action, record("")).enabled) << button.name;
    }
    // Every button under every list acts on a whole post (one with a photo and a text), but Block
    // is not offered on a vote result, which the server refuses to block.
    PostRecord full = record("p9");
    full.photo = "/uploads/p9.jpg";
    for (int list = 0; list < kPostListCount; ++list)
        for (PostAction action : listButtons(static_cast<PostList>(list)))
            EXPECT_TRUE(planAction(action, full, 1).enabled) << list << " " << actionCaption(action);
    full.type = "vote";
    EXPECT_FALSE(actionEnabled(PostAction::block, full));
    EXPECT_TRUE(actionEnabled(PostAction::remove, full));
    // Rejecting everything from a phone or a network asks first, naming the guest, and a vote
    // result (from no phone) never offers it.
    PostRecord guest = record("p5");
    guest.name = "Rex";
    for (PostAction action : {PostAction::rejectPhone, PostAction::rejectAddress}) {
        EXPECT_FALSE(actionEnabled(action, full)) << actionCaption(action);
        const ActionPlan plan = planAction(action, guest);
        ASSERT_TRUE(plan.confirm) << actionCaption(action);
        EXPECT_NE(plan.confirm->text.find("Rex"), std::string::npos) << plan.confirm->text;
        // The status says how many went, as the server counted them, and nothing false without a count.
        EXPECT_EQ(actionStatusAfter(plan, true, R"({"rejected":3})"), "Rejected 3 posts.");
        EXPECT_EQ(actionStatusAfter(plan, true, R"({"rejected":1})"), "Rejected 1 post.");
        EXPECT_EQ(actionStatusAfter(plan, true, "{}"), "Rejected.");
        EXPECT_EQ(actionStatusAfter(plan, false, R"({"rejected":3})"), "The wall server did not take that. Try again.");
    }
    EXPECT_EQ(actionStatusAfter(planAction(PostAction::reject, guest), true, R"({"rejected":3})"), "");
    // Emptying the wall asks first, as Block and Unblock all do.
    const ActionPlan clear = planAction(PostAction::clearChat, std::nullopt);
    ASSERT_TRUE(clear.confirm);
    EXPECT_EQ(clear.confirm->text, "Clear the chat? Every post goes off the wall.");
}

TEST(PostActions, MarksToggleAndSearchPhotoAndUnblockAllFollowTheirRules) {
    PostRecord request = record("r1");
    request.type = "request";
    request.text = "Song - Artist";
    auto markOf = [](const ActionPlan& plan) { return json::parse(plan.request->body).at("mark").get<std::string>(); };
    EXPECT_EQ(markOf(planAction(PostAction::markPlayed, request)), "played");
    request.mark = "played";
    EXPECT_EQ(markOf(planAction(PostAction::markPlayed, request)), "") << "the same button takes the mark off";
    EXPECT_EQ(markOf(planAction(PostAction::markRefuse, request)), "refuse") << "the other mark replaces it";

    // Search: the request's search text, else its text; nothing goes to the server.
    const ActionPlan search = planAction(PostAction::search, request);
    EXPECT_EQ(search.songSearch, "Song - Artist");
    EXPECT_FALSE(search.request);
    request.search = "Song Artist";
    EXPECT_EQ(planAction(PostAction::search, request).songSearch, "Song Artist");
    request.search.clear();
    request.text.clear();
    EXPECT_FALSE(planAction(PostAction::search, request).enabled);

    EXPECT_FALSE(planAction(PostAction::viewPhoto, record("p1")).enabled) << "no photo to view";

    // Unblock all asks first, and with nobody blocked neither asks nor sends.
    EXPECT_FALSE(planAction(PostAction::unblockAll, std::nullopt, 0).enabled);
    const ActionPlan all = planAction(PostAction::unblockAll, std::nullopt, 2);
    ASSERT_TRUE(all.confirm);
    EXPECT_EQ(json::parse(all.request->body), (json{{"all", true}}));
    EXPECT_FALSE(actionStatusAfter(all, false).empty()) << "a request the server did not take is said so";
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
    http.script(boothAction(PostAction::block).path, {.status = 200, .body = "{}"});
    ASSERT_TRUE(sendWallRequest(http, *plan.request));
    const auto sent = http.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(json::parse(*sent[0].body), (json{{"id", "m2"}}));

    // A request the server refuses or never answers is a failure.
    http.script(boothAction(PostAction::show).path, {.status = 404, .body = "{}"});
    EXPECT_FALSE(sendWallRequest(http, *planAction(PostAction::show, record("m1")).request));
    EXPECT_FALSE(sendWallRequest(http, *planAction(PostAction::show, record("m1")).request));
}

}  // namespace
}  // namespace lumvo

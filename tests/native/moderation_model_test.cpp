// The moderator window's decisions without a window: the moderation document read into the six
// lists, the alert, the selection across refills, the texts it shows, and the geometry of its
// toast and photo preview.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "moderator/desk_requests.h"
#include "moderator/moderation_model.h"
#include "moderator/moderation_text.h"
#include "moderator/photo_fit.h"
#include "moderator/toast_geometry.h"
#include "support/file_text.h"
#include "support/scripted_http_client.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json post(const std::string& id, const std::string& type = "shoutout", const std::string& name = "Ann",
          const std::string& text = "hi") {
    return {{"id", id}, {"type", type}, {"name", name}, {"text", text}};
}

// A moderation document with the given lists (absent ones are empty arrays).
std::string stateBody(json pending, json requests = json::array(), json tips = json::array(),
                      json extra = json::object()) {
    json doc = {
        {"voteActive", false}, {"venuePin", "K7Q2M"},       {"pending", pending},    {"requests", requests},
        {"tips", tips},        {"rejected", json::array()}, {"feed", json::array()}, {"blocked", json::array()}};
    doc.update(extra);
    return doc.dump();
}

std::vector<std::string> ids(const std::vector<PostRecord>& list) {
    std::vector<std::string> out;
    for (const PostRecord& p : list) out.push_back(p.id);
    return out;
}

TEST(ModerationDocument, EveryContractReplyFillsTheSixListsAsAParserReadsIt) {
    const fs::path folder = fs::path(LUMVO_SOURCE_DIR) / "tests" / "contract" / "state";
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".json") || name.ends_with(".expect.json")) continue;
        const std::string body = test::fileText(entry.path());
        const json want = json::parse(body);
        const ModerationDocument doc = readModerationDocument(body);
        const std::pair<PostList, const char*> arrays[] = {
            {PostList::messages, "pending"},  {PostList::requests, "requests"}, {PostList::tips, "tips"},
            {PostList::rejected, "rejected"}, {PostList::live, "feed"},         {PostList::blocked, "blocked"}};
        for (const auto& [list, key] : arrays) {
            std::vector<json> expected;
            for (const json& p : want.value(key, json::array())) {
                const std::string type = p.value("type", "");
                if (list == PostList::messages && (type == "request" || type == "tip")) continue;
                expected.push_back(p);
            }
            const auto& got = doc.lists[listIndex(list)];
            ASSERT_EQ(got.size(), expected.size()) << name << " " << key;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const json& p = expected[i];
                const PostRecord& g = got[i];
                EXPECT_EQ(
                    std::tie(g.id, g.type, g.name, g.text, g.photo, g.search, g.mark),
                    std::make_tuple(p.value("id", ""), p.value("type", ""), p.value("name", ""), p.value("text", ""),
                                    p.value("photo", ""), p.value("search", ""), p.value("mark", "")))
                    << name << " " << key << " " << i;
                EXPECT_EQ(std::make_tuple(g.hot, g.count, g.lastAt, g.liveAt),
                          std::make_tuple(p.value("hot", false), std::max(1, p.value("count", 1)),
                                          p.value("lastAt", p.value("createdAt", std::int64_t{0})),
                                          p.value("liveAt", std::int64_t{0})))
                    << name << " " << key << " " << i;
            }
        }
        EXPECT_EQ(doc.venuePin, want.value("venuePin", ""));
        EXPECT_EQ(doc.vdjSearch, want.value("vdjSearch", ""));
        EXPECT_EQ(doc.voteActive, want.value("voteActive", false));
        ++documents;
    }
    EXPECT_GE(documents, 4);
}

// That a wrong value never borrows a later array is the flat readers' (json_test).
TEST(ModerationDocument, MissingKeysGiveDefaultsAndRequestsAndTipsKeepToTheirTabs) {
    // Post fields missing or out of range.
    const ModerationDocument sparse = readModerationDocument(
        R"({"requests":[{"id":"r1"},{"id":"r2","count":0,"createdAt":5000},{"id":"r3","count":-4,"createdAt":5000,"lastAt":9000}]})");
    const auto& requests = sparse.lists[listIndex(PostList::requests)];
    ASSERT_EQ(ids(requests), (std::vector<std::string>{"r1", "r2", "r3"}));
    for (const PostRecord& r : requests) EXPECT_EQ(r.count, 1) << r.id << ": a count below 1 (or none) is 1";
    EXPECT_EQ(requests[1].lastAt, 5000) << "lastAt defaults to createdAt";
    EXPECT_EQ(requests[2].lastAt, 9000);

    // Requests and tips that arrive among the pending posts belong to their own tabs only.
    const ModerationDocument mixed = readModerationDocument(
        stateBody(json::array({post("m1"), post("r1", "request"), post("t1", "tip"), post("m2", "photo")})));
    EXPECT_EQ(ids(mixed.lists[listIndex(PostList::messages)]), (std::vector<std::string>{"m1", "m2"}));
}

TEST(ModerationModel, ABadBodyIsKeptSoItIsNotReadAgainAndAFailedPollChangesNothing) {
    ModerationModel model;
    ASSERT_FALSE(model.apply(stateBody(json::array({post("m1"), post("m2")}))).unchanged);
    ASSERT_EQ(model.list(PostList::messages).size(), 2u);
    EXPECT_TRUE(model.apply(stateBody(json::array({post("m1"), post("m2")}))).unchanged);

    // A reply that is not a document: the lists go empty (every key missing), and the same reply
    // again is recognised without reading it.
    const ModerationUpdate bad = model.apply("<html>502 Bad Gateway</html>");
    EXPECT_FALSE(bad.unchanged);
    EXPECT_TRUE(bad.refill[listIndex(PostList::messages)]);
    EXPECT_TRUE(model.list(PostList::messages).empty());
    EXPECT_TRUE(model.apply("<html>502 Bad Gateway</html>").unchanged);

    // Through the desk's fetch: a failed request, an error status or a document over the cap
    // (announced, or arriving without a length) gives nothing, so the model keeps what it had.
    test::ScriptedHttpClient http;
    const std::string huge(kModerationBodyCap + 1, ' ');
    http.script("/api/state", {.status = 200, .body = stateBody(json::array({post("m9")}))});
    http.script("/api/state", {.failure = test::ScriptedReply::Failure::atSend});
    http.script("/api/state", {.status = 500, .body = stateBody(json::array())});
    http.script("/api/state", {.body = huge});
    http.script("/api/state", {.body = huge, .contentLength = std::nullopt, .chunkBytes = 1 << 20});
    http.script("/api/state", {.body = std::string(kModerationBodyCap, ' ')});
    const auto first = fetchModeration(http);
    ASSERT_TRUE(first.has_value());
    model.apply(*first);
    EXPECT_EQ(ids(model.list(PostList::messages)), std::vector<std::string>{"m9"});
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(fetchModeration(http).has_value()) << i;
    EXPECT_TRUE(fetchModeration(http).has_value()) << "a document of exactly the cap is taken";
    EXPECT_EQ(http.requests().front().options.timeoutMs, kDeskPollTimeoutMs);

    // Polls that go unanswered: the third in a row says so on the status line, and the first
    // answer puts the counts back even when its body is the one seen before.
    const std::string counts = model.statusLine();
    EXPECT_FALSE(model.pollFailed() || model.pollFailed());
    EXPECT_TRUE(model.pollFailed());
    EXPECT_NE(model.statusLine().find("not answering"), std::string::npos);
    EXPECT_FALSE(model.pollFailed()) << "said once, not at every tick";
    EXPECT_TRUE(model.pollAnswered());
    EXPECT_EQ(model.statusLine(), counts);
    EXPECT_FALSE(model.pollFailed() || model.pollFailed() || model.pollAnswered()) << "two misses are not silence";
}

TEST(ModerationModel, AlertsComeForNewPostsButNeverForTheFirstReply) {
    ModerationModel model;
    const json tips = json::array({post("t1", "tip")});
    json pending = json::array({post("m1"), post("m2"), post("m3")}), requests = json::array({post("r1", "request")});
    ModerationUpdate u = model.apply(stateBody(pending, requests, tips));
    EXPECT_FALSE(u.alert) << "posts that already wait when the window opens";
    EXPECT_FALSE(model.alertOn());

    // Three new posts between two polls: one alert for all three.
    pending.push_back(post("m4")), pending.push_back(post("m5", "photo")), requests.push_back(post("r2", "request"));
    u = model.apply(stateBody(pending, requests, tips));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(std::make_pair(u.alert->label, u.alert->count), std::make_pair(std::string("POSTS"), 3));
    EXPECT_TRUE(u.alertChanged && model.alertOn());

    // The DJ opens a tab; then a request is sent again by another guest: same id, higher count,
    // the total does not grow, and still a request alert.
    model.clearAlert();
    requests[1]["count"] = 2;
    u = model.apply(stateBody(pending, requests, tips));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(std::make_pair(u.alert->label, u.alert->count), std::make_pair(std::string("REQUEST"), 1));

    // One post less and one other new: the total does not grow, no alert.
    pending[4] = post("m6");
    u = model.apply(stateBody(pending, requests, tips));
    EXPECT_FALSE(u.alert);

    // A shout-out with a photo attached gives the photo alert, as a post of type "photo" does.
    json withPhoto = post("m7");
    withPhoto["photo"] = "/uploads/a.jpg";
    pending.push_back(withPhoto);
    u = model.apply(stateBody(pending, requests, tips));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(u.alert->label, "PHOTO");
    EXPECT_EQ(chooseAlert(0, {true, false, "request"}).count, 1) << "a count below 1 is never shown";

    // Everything handled: the alert goes off.
    u = model.apply(stateBody(json::array()));
    EXPECT_TRUE(u.alertChanged);
    EXPECT_FALSE(model.alertOn());
}

TEST(ModerationModel, TheSelectionFollowsItsPostAcrossRefillsAndOnlyChangedListsRefill) {
    ModerationModel model;
    model.apply(
        stateBody(json::array({post("m1"), post("m2"), post("m3")}), json::array(), json::array({post("t1", "tip")})));
    model.select(PostList::messages, 1);
    ASSERT_EQ(model.selectedRecord(PostList::messages)->id, "m2");

    // A post arrives on top: the list refills and m2 is now row 2; Tips did not change. A new
    // time alone is not a change a row would show.
    json laterTip = post("t1", "tip");
    laterTip["lastAt"] = 1767225700000;
    ModerationUpdate u = model.apply(stateBody(json::array({post("m0"), post("m1"), post("m2"), post("m3")}),
                                               json::array(), json::array({laterTip})));
    EXPECT_TRUE(u.refill[listIndex(PostList::messages)]);
    EXPECT_FALSE(u.refill[listIndex(PostList::tips)]);
    EXPECT_FALSE(u.refill[listIndex(PostList::requests)]);
    EXPECT_EQ(model.selectedRow(PostList::messages), 2);
    EXPECT_EQ(model.detailText(PostList::messages), "hi");

    // An edited row refills too.
    u = model.apply(stateBody(json::array({post("m0"), post("m1"), post("m2", "shoutout", "Ann", "hi!"), post("m3")})));
    EXPECT_TRUE(u.refill[listIndex(PostList::messages)]);
    EXPECT_EQ(model.selectedRow(PostList::messages), 2);

    // The post goes (approved elsewhere): no selection, and it does not come back by itself.
    model.apply(stateBody(json::array({post("m0"), post("m1"), post("m3")})));
    EXPECT_EQ(model.selectedRow(PostList::messages), -1);
    EXPECT_FALSE(model.selectedRecord(PostList::messages));
    EXPECT_EQ(model.detailText(PostList::messages), "Select a post to read the full message");
    model.apply(stateBody(json::array({post("m0"), post("m1"), post("m2"), post("m3")})));
    EXPECT_EQ(model.selectedRow(PostList::messages), -1);

    model.select(PostList::messages, 99);
    EXPECT_EQ(model.selectedRow(PostList::messages), -1);
}

TEST(ModerationModel, WaitingCountPinLineAndTheTextsForTheEditBoxes) {
    ModerationModel model;
    const json fourTips = json::array({post("t1", "tip"), post("t2", "tip"), post("t3", "tip"), post("t4", "tip")});
    const json request = post("r1", "request", "", "Song\nArtist");
    ModerationUpdate u =
        model.apply(stateBody(json::array({post("m1"), post("m2")}), json::array({request}), fourTips));
    EXPECT_NE(model.windowTitle().find(" 3 waiting"), std::string::npos) << "tips are not counted";
    EXPECT_TRUE(u.pinChanged);
    const std::string pinLine = model.venuePinLine();
    EXPECT_NE(pinLine.find("K7Q2M"), std::string::npos);

    // Only a PIN of exactly five characters replaces the line; a caption that did not change is
    // not set again.
    for (const char* pin : {"AB12", "AB1234", ""}) {
        u = model.apply(
            stateBody(json::array({post("m1"), post("m2")}), json::array({request}), fourTips, {{"venuePin", pin}}));
        EXPECT_FALSE(u.pinChanged || u.captionChanged[0]) << pin;
        EXPECT_EQ(model.venuePinLine(), pinLine);
    }
    u = model.apply(stateBody(json::array(), json::array({request}), json::array(),
                              {{"venuePin",
                                "Z\xC3\x9C"
                                "123"}}));
    EXPECT_TRUE(u.pinChanged) << "five characters, six bytes";

    // Line breaks as an edit box needs them; the vote's seconds rounded up, hours from an hour on.
    model.select(PostList::requests, 0);
    EXPECT_NE(model.detailText(PostList::requests).find("\r\n\r\nSong\r\nArtist"), std::string::npos);
    model.apply(
        stateBody(json::array(), json::array(), json::array(),
                  {{"voteActive", true}, {"voteTitle", "Next?"}, {"voteRemain", 3725.2}, {"voteSummary", "A 3"}}));
    EXPECT_EQ(model.voteStatus(), "Next?\r\n1:02:06 left\r\nA 3");
}

TEST(ModerationModel, RowLooksFollowMarksHotAndTheDjsColours) {
    ModerationModel model;
    json request = post("r1", "request"), venue = post("m1", "venue"), photo = post("m2", "shoutout", "Kim", "");
    request["mark"] = "played";
    venue["hot"] = true;
    photo["hot"] = true, photo["photo"] = "/uploads/k.jpg";
    model.apply(stateBody(json::array({venue, photo}), json::array({request})));
    const ChatColours colours{.shoutout = 0, .request = 0xFF00AA00, .photo = 0x123456, .venue = 0};
    EXPECT_EQ(model.rowLook(PostList::requests, 0, true, colours).tag, "PLAYED");
    EXPECT_EQ(model.rowLook(PostList::messages, 0, false, colours).tag, "VENUE") << "a hot venue post keeps its tag";
    EXPECT_EQ(model.rowLook(PostList::messages, 1, false, colours).tagColour, 0x123456u) << "the DJ's photo colour";
    model.select(PostList::messages, 1);
    EXPECT_EQ(model.detailText(PostList::messages), "(photo)") << "a photo without text";
}

TEST(ModerationModel, RequestsKeepTheServersTurnsAndPostsOnATimerCountDown) {
    std::int64_t now = 1'000'000;
    ModerationModel model(localTimeOfDay, [&] { return now; });
    // The server puts a phone's first request before one that more phones asked for in a later
    // turn: the desk shows that order, not its own.
    json first = post("r1", "request"), popular = post("r2", "request");
    first["createdAt"] = 5000, popular["createdAt"] = 4000, popular["count"] = 3;
    json timed = post("m1"), plain = post("m2");
    timed["liveAt"] = now + 12'500, plain["createdAt"] = now - 60'000;
    model.apply(stateBody(json::array({timed, plain}), json::array({first, popular})));
    EXPECT_EQ(ids(model.list(PostList::requests)), (std::vector<std::string>{"r1", "r2"}));

    const ChatColours colours{};
    EXPECT_TRUE(model.countsDown(PostList::messages));
    EXPECT_EQ(model.rowLook(PostList::messages, 0, false, colours).rightText, "in 13s");
    now += 12'000;
    EXPECT_EQ(model.rowLook(PostList::messages, 0, false, colours).rightText, "in 1s");
    now += 5'000;
    EXPECT_EQ(model.rowLook(PostList::messages, 0, false, colours).rightText, "in 0s") << "late, never negative";
    EXPECT_EQ(model.rowLook(PostList::messages, 1, false, colours).rightText.rfind("in ", 0), std::string::npos)
        << "a post without a deadline shows its time";

    // The DJ turned auto approve off: the deadline goes, the row is drawn again without it.
    timed.erase("liveAt");
    const ModerationUpdate update = model.apply(stateBody(json::array({timed, plain}), json::array({first, popular})));
    EXPECT_TRUE(update.refill[listIndex(PostList::messages)]);
    EXPECT_FALSE(model.countsDown(PostList::messages));
}

TEST(ModeratorText, LabelsMessagesAndNamesAreCutNotRefused) {
    EXPECT_EQ(toastLabel(""), "POST");
    EXPECT_EQ(toastLabel(std::string(50, 'L')), std::string(39, 'L'));
    // Emoji take two UTF-16 units; the cut never splits one, nor a two-byte character.
    std::string emoji, accents = "a";
    for (int i = 0; i < 100; ++i) emoji += "\xF0\x9F\x8E\x89";  // U+1F389
    for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(toastMessage(emoji).size(), 79u * 4) << "79 emoji are 158 units; an 80th would make 160";
    EXPECT_EQ(toastMessage(accents).size(), 1u + 158 * 2);
    EXPECT_EQ(cutWithEllipsis(accents, 3), "a\xC3\xA9\xE2\x80\xA6");
    // A broken byte counts as one unit and is kept for the wide conversion to replace.
    EXPECT_EQ(cutToUnits("ab\xFF"
                         "cd",
                         3),
              "ab\xFF");
}

// The toast over a 1280 by 720 host window and the preview of a usual photo are checked on the
// real windows (tests/windows); here, the sizes at the edges.
TEST(ModeratorGeometry, TinyWindowsAndEmptyPicturesStillGetABoxAndTheToastStopsGrowing) {
    const ScreenRect tiny = toastPlacement({10, 20, 110, 60});
    EXPECT_TRUE(tiny.left > 10 && tiny.top > 20) << "inside the window's top left when it does not fit";
    EXPECT_EQ(toastPlacement({0, 0, 7680, 4320}).width(), toastPlacement({0, 0, 15360, 8640}).width());
    const PreviewSize empty = previewSize(0, -5);  // counts as 1 by 1
    const FitRect dot = previewPictureRect(empty.clientWidth, empty.clientHeight, 0, -5);
    EXPECT_TRUE(dot.width == dot.height && dot.width > 0) << "a square, not a division by zero";
    EXPECT_EQ(previewPictureRect(4, 4, 100, 100), (FitRect{8, 8, 8, 8}));
}

}  // namespace
}  // namespace lumvo

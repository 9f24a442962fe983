// The moderator window's decisions without a window: the moderation document read into the six
// lists, the alert, the selection across refills, the texts it shows, and the geometry of its
// toast and photo preview.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

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

// "HH:MM" of the UTC time, so the tests do not depend on the machine's zone.
std::string utcClock(std::int64_t ms) {
    if (ms <= 0) return {};
    const std::int64_t minutes = ms / 60000;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(minutes / 60 % 24), static_cast<int>(minutes % 60));
    return text;
}

json post(const std::string& id, const std::string& type = "shoutout", const std::string& name = "Ann",
          const std::string& text = "hi") {
    return {{"id", id},
            {"type", type},
            {"name", name},
            {"text", text},
            {"photo", ""},
            {"count", 1},
            {"createdAt", 1767225600000}};
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
                EXPECT_EQ(std::make_tuple(g.hot, g.count, g.lastAt),
                          std::make_tuple(p.value("hot", false), std::max(1, p.value("count", 1)),
                                          p.value("lastAt", p.value("createdAt", std::int64_t{0}))))
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

TEST(ModerationDocument, MissingKeysGiveDefaultsAndAWrongValueNeverBorrowsAnotherArray) {
    // Post fields missing or out of range.
    const ModerationDocument sparse = readModerationDocument(
        R"({"requests":[{"id":"r1"},{"id":"r2","count":0,"createdAt":5000},{"id":"r3","count":-4,"createdAt":5000,"lastAt":9000}]})");
    const auto& requests = sparse.lists[listIndex(PostList::requests)];
    ASSERT_EQ(ids(requests), (std::vector<std::string>{"r1", "r2", "r3"}));
    for (const PostRecord& r : requests) EXPECT_EQ(r.count, 1) << r.id << ": a count below 1 (or none) is 1";
    EXPECT_EQ(requests[1].lastAt, 5000) << "lastAt defaults to createdAt";
    EXPECT_EQ(requests[2].lastAt, 9000);
    EXPECT_TRUE(sparse.repeatMessages) << "idle repeat defaults to on";

    // A list that is null or a string, or a guest text that spells another list's key, must not
    // pick up the next array of the document.
    const std::string tricky =
        R"({"pending":null,"feed":"none","requests":[{"id":"r1","type":"request","text":"tips"}],)"
        R"("tips":[{"id":"t1","type":"tip","name":"rejected","text":"blocked"}],"rejected":{"id":"x"},)"
        R"("blocked":[]})";
    const ModerationDocument doc = readModerationDocument(tricky);
    EXPECT_TRUE(doc.lists[listIndex(PostList::messages)].empty());
    EXPECT_TRUE(doc.lists[listIndex(PostList::live)].empty());
    EXPECT_EQ(ids(doc.lists[listIndex(PostList::requests)]), std::vector<std::string>{"r1"});
    EXPECT_EQ(ids(doc.lists[listIndex(PostList::tips)]), std::vector<std::string>{"t1"});
    EXPECT_TRUE(doc.lists[listIndex(PostList::rejected)].empty());
    EXPECT_TRUE(doc.lists[listIndex(PostList::blocked)].empty());

    // Requests and tips that arrive among the pending posts belong to their own tabs only.
    const ModerationDocument mixed = readModerationDocument(
        stateBody(json::array({post("m1"), post("r1", "request"), post("t1", "tip"), post("m2", "photo")})));
    EXPECT_EQ(ids(mixed.lists[listIndex(PostList::messages)]), (std::vector<std::string>{"m1", "m2"}));
}

TEST(ModerationModel, ABadBodyIsKeptSoItIsNotReadAgainAndAFailedPollChangesNothing) {
    ModerationModel model(utcClock);
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

    // Through the HTTP seam: a failed request leaves everything; a reply is applied; the poll
    // asks with the short time-out.
    test::ScriptedHttpClient http;
    http.script("/api/state", {.status = 200, .body = stateBody(json::array({post("m9")}))});
    http.script("/api/state", {.failure = test::ScriptedReply::Failure::atSend});
    http.script("/api/state", {.status = 500, .body = stateBody(json::array())});
    ASSERT_TRUE(pollModeration(http, model).has_value());
    EXPECT_EQ(ids(model.list(PostList::messages)), std::vector<std::string>{"m9"});
    EXPECT_FALSE(pollModeration(http, model).has_value());
    EXPECT_FALSE(pollModeration(http, model).has_value()) << "an error status is a failed poll";
    EXPECT_EQ(ids(model.list(PostList::messages)), std::vector<std::string>{"m9"});
    for (const auto& sent : http.requests()) {
        EXPECT_EQ(sent.request.method, "GET");
        EXPECT_EQ(sent.request.options.timeoutMs, 400);
    }
}

TEST(ModerationModel, AlertsComeForNewPostsButNeverForTheFirstReply) {
    ModerationModel model(utcClock);
    // Five posts already wait when the window opens: no alert.
    ModerationUpdate u = model.apply(stateBody(json::array({post("m1"), post("m2"), post("m3")}),
                                               json::array({post("r1", "request")}), json::array({post("t1", "tip")})));
    EXPECT_FALSE(u.alert);
    EXPECT_FALSE(model.alertOn());

    // Three new posts between two polls: one "POSTS" alert with 3.
    u = model.apply(stateBody(json::array({post("m1"), post("m2"), post("m3"), post("m4"), post("m5", "photo")}),
                              json::array({post("r1", "request"), post("r2", "request")}),
                              json::array({post("t1", "tip")})));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(*u.alert, (PostAlert{"POSTS", "You have 3 new posts to approve", 3}));
    EXPECT_TRUE(u.alertChanged);
    EXPECT_TRUE(model.alertOn());
    EXPECT_EQ(model.windowTitle(), "LUMVO Moderator  \xE2\x80\xA2  NEW  \xE2\x80\xA2  7 waiting");

    // The DJ opens a tab; then a request is sent again by another guest: same id, higher count,
    // the total does not grow, and still a "REQUEST" alert.
    model.clearAlert();
    json again = post("r2", "request");
    again["count"] = 2;
    u = model.apply(stateBody(json::array({post("m1"), post("m2"), post("m3"), post("m4"), post("m5", "photo")}),
                              json::array({post("r1", "request"), again}), json::array({post("t1", "tip")})));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(*u.alert, (PostAlert{"REQUEST", "You have a new request", 1}));
    EXPECT_TRUE(model.alertOn());

    // One post less and one other new: the total does not grow, no alert.
    u = model.apply(stateBody(json::array({post("m1"), post("m2"), post("m3"), post("m4"), post("m6")}),
                              json::array({post("r1", "request"), again}), json::array({post("t1", "tip")})));
    EXPECT_FALSE(u.alert);

    // A shout-out with a photo attached gives the photo alert, as a post of type "photo" does.
    json withPhoto = post("m7");
    withPhoto["photo"] = "/uploads/a.jpg";
    u = model.apply(stateBody(json::array({post("m1"), post("m2"), post("m3"), post("m4"), post("m6"), withPhoto}),
                              json::array({post("r1", "request"), again}), json::array({post("t1", "tip")})));
    ASSERT_TRUE(u.alert);
    EXPECT_EQ(u.alert->label, "PHOTO");
    EXPECT_EQ(chooseAlert(0, {true, false, "request"}).count, 1) << "a count below 1 is never shown";

    // Everything handled: the alert goes off and the title says so.
    u = model.apply(stateBody(json::array()));
    EXPECT_TRUE(u.alertChanged);
    EXPECT_FALSE(model.alertOn());
    EXPECT_EQ(model.windowTitle(), "LUMVO Moderator");
}

TEST(ModerationModel, TheSelectionFollowsItsPostAcrossRefillsAndOnlyChangedListsRefill) {
    ModerationModel model(utcClock);
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

TEST(ModerationModel, TitleCaptionsPinLineAndVoteTexts) {
    ModerationModel model(utcClock);
    const json fourTips = json::array({post("t1", "tip"), post("t2", "tip"), post("t3", "tip"), post("t4", "tip")});
    // 2 messages, 1 request and 4 tips: 3 waiting; tips are not counted.
    ModerationUpdate u =
        model.apply(stateBody(json::array({post("m1"), post("m2")}), json::array({post("r1", "request")}), fourTips));
    EXPECT_EQ(model.windowTitle(), "LUMVO Moderator  \xE2\x80\xA2  3 waiting");
    EXPECT_EQ(model.tabCaption(2), "Tips (4)");
    EXPECT_TRUE(u.pinChanged);
    const std::string pinLine = "Venue PIN  K7Q2M   Give this to the manager. Same QR, then Venue login.";
    EXPECT_EQ(model.venuePinLine(), pinLine);

    // Only a PIN of exactly five characters replaces the line; a caption that did not change is
    // not set again.
    for (const char* pin : {"AB12", "AB1234", ""}) {
        u = model.apply(stateBody(json::array({post("m1"), post("m2")}), json::array({post("r1", "request")}), fourTips,
                                  {{"venuePin", pin}}));
        EXPECT_FALSE(u.pinChanged) << pin;
        EXPECT_FALSE(u.captionChanged[0]) << pin;
        EXPECT_EQ(model.venuePinLine(), pinLine);
    }
    u = model.apply(stateBody(json::array(), json::array(), json::array(),
                              {{"venuePin",
                                "Z\xC3\x9C"
                                "123"}}));
    EXPECT_TRUE(u.pinChanged) << "five characters, six bytes";

    // The vote tab: seconds rounded up, hours shown from an hour on.
    model.apply(
        stateBody(json::array(), json::array(), json::array(),
                  {{"voteActive", true}, {"voteTitle", "Next?"}, {"voteRemain", 3725.2}, {"voteSummary", "A 3"}}));
    EXPECT_EQ(model.voteStatus(), "Next?\r\n1:02:06 left\r\nA 3");
}

TEST(ModerationModel, DetailBoxesAndRowLooks) {
    ModerationModel model(utcClock);
    json request = post("r1", "request", "", "Song\nArtist");
    request["count"] = 3;
    request["lastAt"] = 1767225600000 + (13 * 60 + 5) * 60000LL;  // 13:05 UTC
    request["mark"] = "played";
    json venue = post("m1", "venue", "Bar", "Happy hour");
    venue["hot"] = true;
    json hot = post("m2", "shoutout", "Kim", "");
    hot["hot"] = true;
    hot["photo"] = "/uploads/k.jpg";
    model.apply(stateBody(json::array({venue, hot}), json::array({request}), json::array(),
                          {{"blocked", json::array({post("b1", "shoutout", "Spam", "x")})}}));
    model.select(PostList::requests, 0);
    EXPECT_EQ(model.detailText(PostList::requests),
              "3 requests \xC2\xB7 last Guest \xC2\xB7 13:05\r\n\r\nSong\r\nArtist");
    model.select(PostList::messages, 1);
    EXPECT_EQ(model.detailText(PostList::messages), "(photo)");

    const ChatColours colours{.shoutout = 0, .request = 0xFF00AA00, .photo = 0x123456, .venue = 0};
    const RowLook played = model.rowLook(PostList::requests, 0, true, colours);
    EXPECT_EQ(played.tag, "PLAYED");
    EXPECT_EQ(played.rightText,
              "\xC3\x97"
              "3");
    const RowLook venueRow = model.rowLook(PostList::messages, 0, false, colours);
    EXPECT_EQ(venueRow.tag, "VENUE") << "a hot venue post keeps its tag";
    EXPECT_NE(venueRow.tagColour, 0u) << "a chat colour of 0 keeps the default";
    const RowLook hotRow = model.rowLook(PostList::messages, 1, false, colours);
    EXPECT_EQ(hotRow.tag, "HOT");
    EXPECT_EQ(hotRow.tagColour, 0x123456u) << "the DJ's photo colour";
    EXPECT_TRUE(model.rowLook(PostList::blocked, 0, false, colours).rightText.empty());
}

// The poll's host-thread cost outside the HTTP call, medians printed as "measured:" lines: an
// unchanged reply must be next to free.
TEST(ModerationModel, AppliesAnUnchangedReplyInMicroseconds) {
    auto body = [](int generation) {
        json pending = json::array();
        for (int i = 0; i < 200; ++i)
            pending.push_back(
                post("p" + std::to_string(i), i % 3 ? "shoutout" : "photo", "Guest " + std::to_string(i),
                     "A message of a usual length from a guest, number " + std::to_string(i + generation)));
        return stateBody(pending);
    };
    auto medianMicros = [](ModerationModel& model, const std::vector<std::string>& bodies) {
        std::vector<double> times;
        for (const std::string& b : bodies) {
            const auto t0 = std::chrono::steady_clock::now();
            model.apply(b);
            times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    ModerationModel model(utcClock);
    std::vector<std::string> same(201, body(0)), changing;
    for (int run = 1; run <= 51; ++run) changing.push_back(body(run));
    model.apply(same[0]);
    const double unchanged = medianMicros(model, same);
    const double changed = medianMicros(model, changing);
    EXPECT_EQ(model.list(PostList::messages).size(), 200u);
    std::printf(
        "measured: moderation reply of 200 posts (%zu bytes) applied, median: unchanged %.1f us, changed %.1f us\n",
        same[0].size(), unchanged, changed);
    EXPECT_LT(unchanged, 1000.0) << "an unchanged reply must cost well under a millisecond";
}

TEST(ModeratorToast, SizeAndPlaceFollowTheHostWindow) {
    // A 1280 by 720 host window at (100, 50): s = 0.667, 200 by 64 raised to 220 by 72, 9 px in.
    const ScreenRect toast = toastPlacement({100, 50, 1380, 770});
    EXPECT_EQ(toast, (ScreenRect{1380 - 9 - 220, 770 - 9 - 72, 1380 - 9, 770 - 9}));
    EXPECT_EQ(toastPlacement({0, 0, 7680, 4320}).width(), 600) << "the scale stops at 2";
    // A window smaller than the toast: it stays inside the left and top margin.
    const ScreenRect tiny = toastPlacement({10, 20, 110, 60});
    EXPECT_EQ(tiny.left, 18);
    EXPECT_EQ(tiny.top, 28);
    EXPECT_EQ(tiny.width(), 220);
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

TEST(PhotoPreviewFit, PicturesAreOnlyShrunkAndDrawnCentredInTheirBox) {
    const PreviewSize wide = previewSize(840, 420);
    EXPECT_EQ(std::pair(wide.clientWidth, wide.clientHeight), std::pair(444, 282));
    const PreviewSize own = previewSize(300, 200);
    EXPECT_EQ(std::pair(own.clientWidth, own.clientHeight), std::pair(324, 272));
    EXPECT_EQ(previewSize(0, -5).clientWidth, 25) << "a size below 1 counts as 1";
    // In its 444 by 282 window the 840 by 420 picture fills the 428 by 218 box's width, centred.
    EXPECT_EQ(previewPictureRect(444, 282, 840, 420), (FitRect{8, 10, 428, 214}));
    EXPECT_EQ(previewPictureRect(4, 4, 100, 100), (FitRect{8, 8, 8, 8}));
}

}  // namespace
}  // namespace lumvo

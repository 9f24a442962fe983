// The Vote tab's and the booth composer's decisions without a window: the bodies they send (read
// back with a real JSON parser), the spinners and time modes, what the status line says after the
// server answered, photos as data addresses, and the words of every refusal.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "moderator/booth_post.h"
#include "moderator/vote_form.h"

namespace lumvo {
namespace {

using nlohmann::ordered_json;

ordered_json bodyOf(const WallRequest& request) { return ordered_json::parse(request.body); }

std::string pngOf(std::size_t size) {
    std::string bytes(size, 'x');
    bytes.replace(0, 8, "\x89PNG\r\n\x1a\n");
    return bytes;
}

TEST(VoteForm, TheStartBodyInBothModes) {
    struct Case {
        VoteTimeMode mode;
        ClockFields time;
        std::string picture;
        const char* expected;  // the whole body as the server reads it
    } cases[] = {
        {VoteTimeMode::length, {0, 0, 3}, "", R"({"title":"T","duration":5,"options":["Yes","Maybe"]})"},
        {VoteTimeMode::length, {1, 30, 0}, "", R"({"title":"T","duration":5400,"options":["Yes","Maybe"]})"},
        {VoteTimeMode::length,
         {30, 75, -4},
         "/uploads/LUMVO_poll_9.png",
         R"({"title":"T","duration":86340,"photo":"/uploads/LUMVO_poll_9.png","options":["Yes","Maybe"]})"},
        {VoteTimeMode::endAt, {7, 5, 9}, "", R"({"title":"T","endAt":"07:05:09","options":["Yes","Maybe"]})"},
        {VoteTimeMode::endAt, {24, 60, 99}, "", R"({"title":"T","endAt":"23:59:59","options":["Yes","Maybe"]})"},
    };
    for (const Case& c : cases) {
        VoteForm form{"T", {"Yes", "", "Maybe", ""}, c.mode, c.time, c.picture};
        const WallRequest request = voteStartRequest(form);
        EXPECT_EQ(request.path, "/api/vote-start");
        EXPECT_EQ(bodyOf(request), ordered_json::parse(c.expected)) << request.body;
    }
    EXPECT_EQ(bodyOf(voteStopRequest()), ordered_json::object());
}

TEST(VoteForm, EveryStringSurvivesEscaping) {
    // Quotes and backslashes kept, a line feed kept, other control bytes become spaces, UTF-8 whole.
    const std::string typed =
        "Say \"hi\" \\ to\tthe\rcrowd\nGr\xC3\xB6\xC3\x9F"
        "e \xF0\x9F\x8E\x89";
    const std::string read =
        "Say \"hi\" \\ to the crowd\nGr\xC3\xB6\xC3\x9F"
        "e \xF0\x9F\x8E\x89";
    const ordered_json vote = bodyOf(voteStartRequest({typed, {typed, "No", "", ""}, VoteTimeMode::length, {}, typed}));
    EXPECT_EQ(vote["title"], read);
    EXPECT_EQ(vote["options"][0], read);
    EXPECT_EQ(vote["photo"], read);
    const BoothPlan booth = planBoothPost(typed, typed, std::nullopt);
    ASSERT_TRUE(booth.refusal.empty());
    EXPECT_EQ(bodyOf(booth.request)["name"], read);
    EXPECT_EQ(bodyOf(booth.request)["text"], read);
}

TEST(VoteForm, SpinnersWrapAndTheModesKeepTheirOwnTimes) {
    struct Step {
        ClockField field;
        const char* shown;
        int step;
        int expected;
    } steps[] = {
        {ClockField::minutes, "59", 1, 0},  {ClockField::hours, "00", -1, 23},  {ClockField::hours, "23", 1, 0},
        {ClockField::seconds, "0", -1, 59}, {ClockField::seconds, "41", 1, 42}, {ClockField::minutes, "x", 1, 1},
        {ClockField::hours, "", -1, 23},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(stepField(s.field, fieldNumber(s.shown), s.step), s.expected) << s.shown << " " << s.step;
    }

    VoteClock clock;
    EXPECT_EQ(clock.mode(), VoteTimeMode::length);
    // The first End at local time shows the time now; back in Length, the length last used.
    EXPECT_EQ(clock.choose(VoteTimeMode::endAt, {0, 2, 30}, {21, 14, 5}), (ClockFields{21, 14, 5}));
    EXPECT_EQ(clock.choose(VoteTimeMode::length, {22, 0, 0}, {21, 15, 0}), (ClockFields{0, 2, 30}));
    // The end time the DJ nudged stays; it is not refilled with the time now.
    EXPECT_EQ(clock.choose(VoteTimeMode::endAt, {0, 2, 30}, {21, 16, 0}), (ClockFields{22, 0, 0}));
    EXPECT_EQ(clock.choose(VoteTimeMode::endAt, {40, 0, 0}, {21, 16, 0}), (ClockFields{23, 0, 0}));
}

TEST(VoteForm, TheStatusLineSaysWhatTheServerDid) {
    const std::string refused = R"({"error":"Give the vote two to four answers.","code":"bad_poll"})";
    EXPECT_EQ(voteStartStatus(true, R"({"ok":true,"id":"v_1"})"), "Vote started");
    EXPECT_EQ(voteStartStatus(false, refused), "Give the vote two to four answers.");
    EXPECT_EQ(voteStopStatus(true, "{}"), "Vote stopped");
    EXPECT_EQ(voteStopStatus(false, refused), "Give the vote two to four answers.");
    // No answer at all is not a start.
    EXPECT_NE(voteStartStatus(false, ""), "Vote started");
    EXPECT_NE(voteStopStatus(false, ""), "Vote stopped");
}

TEST(VoteForm, ThePictureCopyKeepsItsKindOfName) {
    EXPECT_EQ(pollPictureFileName(123, "Crowd.PNG"), "LUMVO_poll_123.png");
    EXPECT_EQ(pollPictureFileName(7, "a.b.WebP"), "LUMVO_poll_7.webp");
    for (const char* other : {"shot.jpeg", "shot.JPG", "png", "shot.png.txt", ""})
        EXPECT_EQ(pollPictureExtension(other), ".jpg") << other;
    EXPECT_FALSE(pollPictureSizeOk(23));
    EXPECT_TRUE(pollPictureSizeOk(24));
    EXPECT_TRUE(pollPictureSizeOk(2097152));
    EXPECT_FALSE(pollPictureSizeOk(2097153));
}

TEST(BoothPost, PhotosBecomeDataAddressesByTheirContent) {
    struct Vector {
        std::string in;
        const char* out;
    } rfc[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"},
               {std::string("\xff\xfe\x00", 3), "//4A"}};
    for (const Vector& v : rfc) EXPECT_EQ(base64(v.in), v.out) << v.in;

    std::string webp(40, '\0');
    webp.replace(0, 4, "RIFF");
    webp.replace(8, 4, "WEBP");
    std::string wave = webp;
    wave.replace(8, 4, "WAVE");
    std::string jpeg(40, '\0');
    jpeg[0] = '\xFF';
    jpeg[1] = '\xD8';
    const std::string gif = "GIF89a" + std::string(40, '\0');
    struct Kind {
        std::string bytes;
        const char* type;  // "" for refused
    } kinds[] = {{pngOf(24), "image/png"}, {webp, "image/webp"},          {jpeg, "image/jpeg"}, {gif, ""}, {wave, ""},
                 {pngOf(23), ""},          {pngOf(5242880), "image/png"}, {pngOf(5242881), ""}};
    for (const Kind& k : kinds) {
        const auto address = photoDataAddress(k.bytes);
        if (*k.type == 0) {
            EXPECT_FALSE(address) << k.bytes.size();
            continue;
        }
        ASSERT_TRUE(address) << k.type << " " << k.bytes.size();
        EXPECT_EQ(*address, "data:" + std::string(k.type) + ";base64," + base64(k.bytes));
    }
}

TEST(BoothPost, RefusalsAndWhatIsSent) {
    struct Case {
        const char* message;
        std::optional<std::string> photo;
        const char* refusal;
        bool warning;
    } refusals[] = {
        {"   ", std::nullopt, "Add a message or a photo.", false},
        {"\r\n \r", std::nullopt, "Add a message or a photo.", false},
        {"Hi", "GIF89a" + std::string(40, '\0'), "Use a JPG, PNG, or WebP under 5 MB.", true},  // named .jpg
        {"Hi", std::string(), "Use a JPG, PNG, or WebP under 5 MB.", true},                     // unreadable
        {"Hi", pngOf(5242881), "Use a JPG, PNG, or WebP under 5 MB.", true},
    };
    for (const Case& c : refusals) {
        const BoothPlan plan = planBoothPost("DJ", c.message, c.photo);
        EXPECT_EQ(plan.refusal, c.refusal) << c.message;
        EXPECT_EQ(plan.refusalIsWarning, c.warning) << c.message;
    }

    // Spaces go from the name's ends; spaces, line feeds and carriage returns from the message's.
    const BoothPlan text = planBoothPost("  DJ Ro  ", "\r\n  Last call \r\n line two\r\n ", std::nullopt);
    ASSERT_TRUE(text.refusal.empty());
    EXPECT_EQ(text.request.path, "/api/booth-post");
    EXPECT_EQ(bodyOf(text.request), ordered_json::parse(R"({"name":"DJ Ro","text":"Last call  \n line two"})"));
    const BoothPlan photo = planBoothPost("DJ", "", pngOf(64));
    ASSERT_TRUE(photo.refusal.empty());
    EXPECT_EQ(bodyOf(photo.request)["photo"], *photoDataAddress(pngOf(64)));
    EXPECT_GT(photo.timeoutMs, text.timeoutMs);

    EXPECT_EQ(boothFailureText(R"({"error":"That photo is bigger than 5 MB. Use a smaller one.","code":"too_large"})"),
              "That photo is bigger than 5 MB. Use a smaller one.");
    EXPECT_EQ(boothFailureText(""), "Could not show that on the wall. Is VirtualDJ running with LUMVO on?");
}

}  // namespace
}  // namespace lumvo

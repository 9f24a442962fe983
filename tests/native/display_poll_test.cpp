// The worker's display poll against a scripted wall server on a manual clock: when it pushes the
// settings, when it takes the server's, what it parses, what it keeps when the server goes, and
// how photos are fetched into the bounded cache.
#include "serverlink/display_poll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/manual_clock.h"
#include "support/scripted_http_client.h"

namespace lumvo {
namespace {

using test::ScriptedReply;

std::string display(const std::string& featured, const std::string& extra = "") {
    return R"({"featuredId":")" + featured + R"(","text":"hi","allowWordFx":false,"hotNeed":12,"theme":"garden",)" +
           R"("feedPacked":"p1\tshoutout\tAna\thello\t/uploads/p1.jpg")" + extra + "}";
}

const std::string kJpeg = "\xFF\xD8\xFF\xE0" + std::string(60, 'j');

struct PollBench {
    explicit PollBench(std::size_t photoBudget = 1000) : photos(photoBudget) {}
    SharedSettings settings;
    PublishedDisplay display;
    PhotoCache photos;
    test::ManualClock clock{1000};
    test::ScriptedHttpClient http;
    bool wallFiles = true;
    std::map<std::string, std::string> disk;
    // Every decode, as "<last byte or 'broken'>@<side>"; a square picture of one pixel per byte (at
    // most the side), none for bytes ending in "broken".
    std::vector<std::string> decoded;
    PictureRef decode(std::string_view bytes, int side) {
        const bool broken = bytes.ends_with("broken");
        decoded.push_back((broken ? std::string("broken") : std::string(1, bytes.back())) + "@" + std::to_string(side));
        if (broken) return nullptr;
        auto picture = std::make_shared<DecodedPicture>();
        picture->width = picture->height = std::min(static_cast<int>(bytes.size()), side);
        picture->pixels.assign(static_cast<std::size_t>(picture->width) * picture->height * 4, 0x40);
        return picture;
    }
    DisplayPoll poll{display,
                     settings,
                     photos,
                     http,
                     clock,
                     {.wallFilesPresent = [this] { return wallFiles; },
                      .photoFromDisk = [this](std::string_view ref) -> std::optional<std::string> {
                          const auto found = disk.find(std::string(ref));
                          return found == disk.end() ? std::nullopt : std::optional(found->second);
                      },
                      .defaultMediaFolder = "D:\\Pictures\\LUMVO",
                      .decodePhoto = [this](std::string_view bytes, int side) { return decode(bytes, side); }}};

    DisplayDocument shown() { return display.copy(); }
    std::vector<std::string> paths() {
        std::vector<std::string> out;
        for (const auto& r : http.requests()) out.push_back(r.method + " " + r.path);
        return out;
    }
};

TEST(DisplayPoll, PushesOnTheFirstReplyTakesTheServersSettingsFromTheSecondAndKeepsTheLastState) {
    PollBench b;
    b.settings.change([](WallSettings& s) { s.theme = "wedding"; });

    b.wallFiles = false;
    b.poll.pass();
    EXPECT_TRUE(b.http.requests().empty()) << "without the wall files the poll only waits";
    b.wallFiles = true;

    // The server is not up yet: nothing pushed, nothing changed.
    b.poll.pass();
    EXPECT_EQ(b.paths(), (std::vector<std::string>{"GET /api/display"}));

    b.http.script("/api/display", {.body = display("p1")});
    b.http.script("/api/settings", {.body = "{}"});
    b.http.script("/uploads/p1.jpg", {.body = kJpeg});
    b.poll.pass();
    const auto first = b.http.requests();
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[2].path, "/api/settings");
    EXPECT_NE(first[2].body->find("\"theme\":\"wedding\""), std::string::npos);
    EXPECT_NE(first[2].body->find("D:\\\\Pictures\\\\LUMVO"), std::string::npos) << "default media folder";
    EXPECT_EQ(b.shown().featuredId, "p1");
    EXPECT_EQ(b.settings.copy().theme, "wedding") << "the first reply predates our settings";

    // The same reply again: not parsed, nothing published, no photo fetched again.
    const auto published = b.display.generation();
    b.http.script("/api/display", {.body = display("p1")});
    b.poll.pass();
    EXPECT_EQ(b.display.generation(), published);
    EXPECT_EQ(b.http.requests().size(), 5u);
    EXPECT_EQ(b.settings.copy().theme, "wedding");

    // A changed reply: parsed, and now the server's settings count.
    b.http.script("/api/display", {.body = display("p2", R"(,"hotWindowSec":2.5)")});
    b.poll.pass();
    const WallSettings s = b.settings.copy();
    EXPECT_EQ(std::make_tuple(s.theme, s.allowWordFx, s.hotNeed, s.hotWindow), std::make_tuple("garden", 0, 12, 10));
    EXPECT_EQ(b.shown().featuredId, "p2");

    // The server goes away: the wall keeps showing what it had.
    b.poll.pass();
    EXPECT_EQ(b.shown().featuredId, "p2");
    EXPECT_EQ(b.shown().feed.size(), 1u);

    // It comes back (a new process, maybe): the settings go to it again before its first reply
    // is trusted with the server's own settings.
    b.settings.change([](WallSettings& s) { s.theme = "event"; });
    b.http.script("/api/display", {.body = display("p3")});
    b.http.script("/api/settings", {});
    b.poll.pass();
    EXPECT_EQ(b.paths().back(), "POST /api/settings");
    EXPECT_EQ(b.settings.copy().theme, "event");

    // Fifteen minutes on, the settings are pushed again even without a reply.
    b.clock.advance(15 * 60 * 1000 + 1);
    const auto before = b.http.requests().size();
    b.poll.pass();
    EXPECT_EQ(b.paths()[before], "POST /api/settings");
}

TEST(DisplayPoll, EachPhotoIsDecodedOnceOnTheWorkerLargeOnlyWhileTheHeroBoxShowsItAndAgainAfterEviction) {
    PollBench b(300'000);  // two feed pictures (160 x 160 x 4 bytes each), not three
    const std::string feed = R"({"feedPacked":"a\tphoto\tA\t\t/uploads/a.jpg\nb\tphoto\tB\t\t/uploads/b.jpg\n)"
                             R"(c\tphoto\tC\t\t/uploads/c.jpg\nd\tphoto\tD\t\t/uploads/d.jpg")";
    b.disk["/uploads/poll.png"] = "\x89PNG" + std::string(200, 'p');
    b.http.script("/api/settings", {});
    b.http.script("/api/display", {.body = feed + R"(,"votePhoto":"/uploads/poll.png"})"});
    b.http.script("/uploads/a.jpg", {.body = "<html>oops, not a picture</html>"});
    b.http.script("/uploads/b.jpg", {.body = kJpeg + std::string(200, 'b')});
    b.http.script("/uploads/c.jpg", {.status = 404, .body = kJpeg});
    b.http.script("/uploads/d.jpg", {.body = kJpeg + "broken"});
    b.poll.pass();
    EXPECT_EQ(b.decoded, (std::vector<std::string>{"p@2048", "b@160", "broken@160"}))
        << "the poll picture from disk, b from the server; an error page is no photo";
    ASSERT_TRUE(b.photos.lookup("/uploads/poll.png") && b.photos.lookup("/uploads/b.jpg"));
    EXPECT_EQ(b.photos.lookup("/uploads/b.jpg")->width, 160);

    // The poll closes: the same feed, pass after pass. b is neither fetched nor decoded again, nor
    // is d, whose bytes do not decode; a and c are asked for again (the server may have them now).
    b.decoded.clear();
    const auto before = b.http.requests().size();
    for (int i = 0; i < 5; ++i) {
        b.http.script("/api/display", {.body = feed + "}"});
        b.poll.pass();
        b.clock.advance(150);
    }
    auto paths = b.paths();
    EXPECT_EQ(std::count(paths.begin() + before, paths.end(), "GET /uploads/b.jpg"), 0);
    EXPECT_EQ(std::count(paths.begin() + before, paths.end(), "GET /uploads/d.jpg"), 0);
    EXPECT_EQ(std::count(paths.begin() + before, paths.end(), "GET /uploads/a.jpg"), 5);
    EXPECT_TRUE(b.decoded.empty());

    // b is featured: decoded once more within the large side. The server lets it go; a minute on
    // (the card may still play out) the small copy is made from the large picture, without a fetch
    // or a decode.
    b.http.script("/api/display", {.body = feed + R"(,"featuredId":"b","photo":"/uploads/b.jpg"})"});
    b.http.script("/uploads/b.jpg", {.body = kJpeg + std::string(200, 'b')});
    b.poll.pass();
    EXPECT_EQ(b.decoded, (std::vector<std::string>{"b@2048"}));
    EXPECT_EQ(b.photos.lookup("/uploads/b.jpg")->width, 264) << "the whole picture: it is smaller than the side";
    EXPECT_FALSE(b.photos.lookup("/uploads/poll.png")) << "pushed out by the large one";
    b.http.script("/api/display", {.body = feed + "}"});
    b.poll.pass();
    EXPECT_EQ(b.photos.lookup("/uploads/b.jpg")->width, 264) << "still large while the card may play out";
    b.clock.advance(kLargePhotoHoldMs + 1);
    const auto held = b.http.requests().size();
    b.http.script("/api/display", {.body = feed + "}"});
    b.poll.pass();
    EXPECT_EQ(b.photos.lookup("/uploads/b.jpg")->width, 160);
    EXPECT_EQ(b.decoded, (std::vector<std::string>{"b@2048"}));
    paths = b.paths();
    EXPECT_EQ(std::count(paths.begin() + held, paths.end(), "GET /uploads/b.jpg"), 0);

    // c arrives, and the cache (two feed pictures) pushes out the least recently used: what left
    // is fetched and decoded again when shown, and the cache never passes its budget.
    b.http.script("/api/display", {.body = feed + R"(,"votePhoto":"/uploads/poll.png"})"});
    b.http.script("/uploads/c.jpg", {.body = kJpeg + std::string(200, 'c')});
    b.poll.pass();
    EXPECT_LE(b.photos.totalBytes(), 300'000u);
    EXPECT_EQ(b.poll.fetchedPhotos(), b.photos.size()) << "what left the cache is fetched again when shown";
}

}  // namespace
}  // namespace lumvo

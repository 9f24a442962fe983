// The worker's display poll against a scripted wall server on a manual clock: when it pushes the
// settings, when it takes the server's, what it parses, what it keeps when the server goes, and
// how photos are fetched into the bounded cache.
#include "serverlink/display_poll.h"

#include <gtest/gtest.h>

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
                      .defaultMediaFolder = "D:\\Pictures\\LUMVO"}};

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

TEST(DisplayPoll, PhotosComeFromDiskOrAsPicturesFromTheServerOnceAndAgainAfterEviction) {
    PollBench b;
    const std::string feed = R"({"feedPacked":"a\tphoto\tA\t\t/uploads/a.jpg\nb\tphoto\tB\t\t/uploads/b.jpg\n)"
                             R"(c\tphoto\tC\t\t/uploads/c.jpg","votePhoto":"/uploads/poll.png"})";
    b.disk["/uploads/poll.png"] = "\x89PNG" + std::string(200, 'p');
    b.http.script("/api/settings", {});
    b.http.script("/api/display", {.body = feed});
    b.http.script("/uploads/a.jpg", {.body = "<html>oops, not a picture</html>"});
    b.http.script("/uploads/b.jpg", {.body = kJpeg + std::string(300, 'b')});
    b.http.script("/uploads/c.jpg", {.status = 404, .body = kJpeg});
    b.poll.pass();
    EXPECT_EQ(b.poll.fetchedPhotos(), 2u) << "the poll picture from disk, b from the server";
    EXPECT_TRUE(b.photos.lookup("/uploads/poll.png"));
    EXPECT_FALSE(b.photos.lookup("/uploads/a.jpg")) << "an error page is no photo";

    // a and c are asked for again, b and the poll picture are held. But the cache's 1000 bytes
    // cannot hold them all: a pushes out b (the least recently used; the poll picture was just
    // looked at), so b is fetched again, which pushes out the poll picture, and c pushes out a.
    b.http.script("/api/display", {.body = feed});
    b.http.script("/uploads/a.jpg", {.body = kJpeg + std::string(500, 'a')});
    b.http.script("/uploads/b.jpg", {.body = kJpeg + std::string(300, 'b')});
    b.http.script("/uploads/c.jpg", {.body = kJpeg + std::string(500, 'c')});
    const auto before = b.http.requests().size();
    b.poll.pass();
    auto paths = b.paths();
    EXPECT_EQ(std::vector<std::string>(paths.begin() + before, paths.end()),
              (std::vector<std::string>{"GET /api/display", "GET /uploads/a.jpg", "GET /uploads/b.jpg",
                                        "GET /uploads/c.jpg"}));
    EXPECT_LE(b.photos.totalBytes(), 1000u);
    EXPECT_TRUE(b.photos.lookup("/uploads/b.jpg") && b.photos.lookup("/uploads/c.jpg"));
    EXPECT_EQ(b.poll.fetchedPhotos(), b.photos.size()) << "what left the cache is fetched again when shown";
}

}  // namespace
}  // namespace lumvo

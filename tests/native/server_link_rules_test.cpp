// Rules of the server link that need no server: the photo cache's bound, song-search cleaning and
// which left-over processes may be ended.
#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "media/photo_cache.h"
#include "serverlink/song_search.h"
#include "serverlink/stale_server.h"

namespace lumvo {
namespace {

// A decoded picture of `bytes` bytes (a 1-pixel-high strip).
PictureRef picture(int bytes) {
    auto p = std::make_shared<DecodedPicture>();
    p->width = bytes / 4, p->height = 1;
    p->pixels.assign(static_cast<std::size_t>(bytes / 4) * 4, 0);
    return p;
}

TEST(PhotoCache, DecodedBytesAreBudgetedPhotosInUseStayLongestAndOneLargerThanTheBudgetIsNotKept) {
    PhotoCache cache(1000);
    for (const char* id : {"a", "b", "c"}) EXPECT_TRUE(cache.storePhoto(id, picture(300)));
    const auto before = cache.generation();
    const PictureRef small = picture(100);
    EXPECT_TRUE(cache.storePhoto("c", small));
    EXPECT_EQ(cache.totalBytes(), 700u) << "a replaced picture counts once";
    EXPECT_EQ(cache.lookup("c"), small);
    EXPECT_TRUE(cache.touch("a"));  // shown on the wall
    EXPECT_FALSE(cache.storePhoto("empty", std::make_shared<DecodedPicture>()));
    EXPECT_FALSE(cache.storePhoto("", picture(300)));
    EXPECT_FALSE(cache.storePhoto("none", nullptr));

    // Larger than the whole budget: not kept, and nothing else is pushed out for it.
    std::vector<std::string> evicted;
    EXPECT_FALSE(cache.storePhoto("huge", picture(1004), &evicted));
    EXPECT_TRUE(evicted.empty());
    EXPECT_EQ(std::make_tuple(cache.generation(), cache.size(), cache.totalBytes()),
              std::make_tuple(before + 1, std::size_t{3}, std::size_t{700}));

    // Past the budget the least recently used go (b, then c: a was shown, c looked up after it).
    EXPECT_TRUE(cache.lookup("c"));
    EXPECT_TRUE(cache.storePhoto("d", picture(800), &evicted));
    EXPECT_EQ(evicted, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(std::make_tuple(cache.size(), cache.totalBytes()), std::make_tuple(std::size_t{2}, std::size_t{900}));
}

TEST(DecodedPicture, ShrinkingAveragesEveryPixelIntoItsPlaceAndKeepsTheAspect) {
    // 6 x 4, shrunk into 3 x 2: each output pixel the mean of a 2 x 2 block.
    auto source = std::make_shared<DecodedPicture>();
    source->width = 6, source->height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c) source->pixels.push_back(static_cast<std::uint8_t>(10 * x + 60 * y + c));
    const PictureRef half = shrinkPicture(source, 3);
    ASSERT_TRUE(half);
    ASSERT_EQ(std::make_tuple(half->width, half->height, half->bytes()), std::make_tuple(3, 2, std::size_t{24}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(half->pixels[(y * 3 + x) * 4 + 1], 10 * (2 * x) + 5 + 60 * (2 * y) + 30 + 1) << x << "," << y;
    EXPECT_EQ(shrinkPicture(source, 6), source) << "a picture that fits is not copied";

    // A thin picture keeps every side at least 1.
    const PictureSize thin = boundedSize(3, 9000, 160);
    EXPECT_EQ(std::make_tuple(thin.width, thin.height), std::make_tuple(1, 160));
}

// What any text cleans to is the names fuzz target's property; here, that cleaning keeps the words.
TEST(SongSearch, QuotesDashesAndBlanksBecomeSingleBlanksBetweenTheWords) {
    EXPECT_EQ(songSearchScript("Mr Brightside \xE2\x80\x93 \"The Killers\""),
              "browser_window 'songs' & search 'Mr Brightside The Killers'");
    EXPECT_EQ(cleanSongSearch("  \tDon't   stop\r\nme\xE2\x80\x94now\x7F"), "Don t stop me now");
}

// A scripted process table: image paths by pid, and the listeners the system would report.
class ScriptedProcesses : public ProcessTable {
public:
    std::map<std::uint32_t, std::string> images;
    std::vector<TcpListenerRow> listeners;
    std::vector<std::uint32_t> ended;
    std::vector<TcpListenerRow> tcpListeners() override { return listeners; }
    std::optional<std::string> imagePath(std::uint32_t pid) override {
        const auto found = images.find(pid);
        if (found == images.end()) return std::nullopt;
        return found->second;
    }
    void terminate(std::uint32_t pid, int) override { ended.push_back(pid); }
};

TEST(StaleServer, OnlyNodeProcessesOtherThanOurselvesAreEnded) {
    ScriptedProcesses p;
    p.images = {{10, "C:\\Program Files\\nodejs\\NODE.EXE"},  // from the pid file
                {20, "C:\\Tools\\nginx.exe"},                 // another program on our port
                {30, "C:\\Users\\dj\\AppData\\Local\\LUMVO\\runtime\\node\\node.exe"},
                {40, "C:\\x\\node.exe"},      // a node on another port
                {77, "C:\\Host\\node.exe"}};  // ourselves, whatever our name
    const std::uint32_t port8787 = 0x5322;    // 8787 = 0x2253, bytes swapped
    p.listeners = {{port8787, 20}, {port8787 | 0xABCD0000u, 30}, {0x5422, 40}, {port8787, 0}, {port8787, 77}};
    killStaleServers(p, 10, 77, 8787);
    EXPECT_EQ(p.ended, (std::vector<std::uint32_t>{10, 30}));

    p.ended.clear();
    killStaleServers(p, 77, 77, 8787);  // a pid file naming the host itself
    EXPECT_EQ(p.ended, (std::vector<std::uint32_t>{30}));
}

}  // namespace
}  // namespace lumvo

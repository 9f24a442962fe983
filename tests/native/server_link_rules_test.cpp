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

TEST(PhotoCache, PhotosInUseStayLongestAReplacedOneCountsOnceAndAHugeOneStaysAlone) {
    PhotoCache cache(1000);
    for (const char* id : {"a", "b", "c"}) cache.storePhoto(id, std::string(300, 'j'));
    const auto before = cache.generation();
    cache.storePhoto("c", std::string(100, 'k'));
    EXPECT_EQ(cache.totalBytes(), 700u);
    EXPECT_TRUE(cache.touch("a"));  // shown on the wall
    EXPECT_EQ(*cache.lookup("b"), std::string(300, 'j'));
    cache.storePhoto("tiny", "12345");  // too small to be a photo, and nameless: neither is stored
    cache.storePhoto("", std::string(300, 'j'));
    EXPECT_EQ(std::make_tuple(cache.generation(), cache.size()), std::make_tuple(before + 1, std::size_t{3}));
    // Beyond the whole budget: the rest go, least recently used first; the huge one stays, alone.
    EXPECT_EQ(cache.storePhoto("huge", std::string(5000, 'h')), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(cache.size(), 1u);
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

// The Vote tab and the booth composer under Wine against the repo's wall server run by the real
// node.exe, driven only through their controls (texts typed by WM_SETTEXT, button clicks, timer
// ticks): a poll started from the desk runs on the wall with what was typed and stops; a poll the
// server refuses shows its sentence; a booth post with a photo lands in the feed with its photo.
// The open-file dialog is the one thing stood in for: it hands over the repo's brand mark.
// Pictures of the Vote tab and the composer go to test-output/moderator/.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "moderator_support.h"
#include "serverlink/win/server_process.h"
#include "settings/shared_settings.h"

namespace {

using namespace lumvo::test;
using lumvo::ModeratorWindow;
namespace ids = lumvo::moderator_ids;
namespace vote = lumvo::vote_ids;
namespace booth = lumvo::booth_ids;

void type(HWND box, const std::wstring& text) {
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The display document's poll bars' labels, in order (each line: key TAB label TAB count TAB colour).
std::vector<std::string> barLabels(const std::string& display) {
    std::vector<std::string> labels;
    const std::string bars = lumvo::jsonGetString(display, "voteBars");
    std::size_t at = 0;
    while (at < bars.size()) {
        std::size_t end = bars.find('\n', at);
        if (end == std::string::npos) end = bars.size();
        const std::string line = bars.substr(at, end - at);
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) labels.push_back(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
        at = end + 1;
    }
    return labels;
}

TEST(ModeratorVote, TheDeskStartsAndStopsAPollShowsARefusalAndPostsFromTheBooth) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    stageRealWall(data);
    lumvo::WinHttpClient http;
    lumvo::ServerProcess server(http);
    server.startServer();
    ASSERT_GE(waitForWallServer(), 0) << "the wall server never answered";

    const std::string mark = repoPath("wall/web/brand/lumvo-mark.png");
    lumvo::SharedSettings settings;
    std::atomic<int> saves{0};  // written on the desk's thread
    lumvo::ModeratorServices services;
    services.http = &http;
    services.settings = &settings;
    services.wallFilesPresent = [] { return true; };
    services.nodePresent = [] { return true; };
    services.saveSettings = [&saves](const lumvo::WallSettings&) {
        ++saves;
        return true;
    };
    services.choosePicture = [&mark](const wchar_t*) { return lumvo::utf8ToWide(mark); };
    ModeratorWindow window;
    window.connect(services);
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), nullptr));
    ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
    tick(window);
    makeFolders(repoPath("test-output\\moderator"));

    // The poll as typed, with a picture and the third answer in place of the second.
    click(window.control(ids::kTab + 5));
    type(window.control(vote::kTitle), L"Last song: which one?");
    type(window.control(vote::kAnswer + 0), L"Rock \"n\" roll");
    type(window.control(vote::kAnswer + 1), L"");
    type(window.control(vote::kAnswer + 2), L"Pop");
    click(window.control(vote::kAddPicture));
    EXPECT_EQ(textOf(window.control(vote::kPictureName)), "lumvo-mark.png");
    click(window.control(vote::kUnlimited));
    EXPECT_EQ(settings.copy().allowUnlimitedVoting, 1);
    settle(window);
    EXPECT_EQ(saves.load(), 1) << "the switch is saved to layout.ini";
    click(window, window.control(vote::kStart));
    EXPECT_EQ(textOf(window.control(ids::kStatusLine)), "Vote started");
    const std::string running = wallGet("/api/display");
    EXPECT_TRUE(lumvo::jsonGetBool(running, "voteActive", false)) << running;
    EXPECT_FALSE(lumvo::jsonGetBool(running, "voteClosed", true));
    EXPECT_EQ(lumvo::jsonGetString(running, "voteTitle"), "Last song: which one?");
    EXPECT_EQ(barLabels(running), (std::vector<std::string>{"Rock \"n\" roll", "Pop"}));
    EXPECT_EQ(lumvo::jsonGetString(running, "votePhoto").rfind("/uploads/LUMVO_poll_", 0), 0u) << running;
    EXPECT_EQ(lumvo::jsonGetNumber(running, "voteDuration", 0), 60) << "the length starts at one minute";
    tick(window);
    EXPECT_NE(textOf(window.control(ids::kVoteStatus)).find("Last song"), std::string::npos)
        << textOf(window.control(ids::kVoteStatus));
    EXPECT_TRUE(saveWindowPicture(window.handle(), repoPath("test-output\\moderator\\vote-tab.png")));

    click(window, window.control(vote::kStop));
    EXPECT_EQ(textOf(window.control(ids::kStatusLine)), "Vote stopped");
    EXPECT_TRUE(lumvo::jsonGetBool(wallGet("/api/display"), "voteClosed", false));

    // One answer: the server's sentence, not "Vote started".
    type(window.control(vote::kAnswer + 2), L"");
    click(window, window.control(vote::kStart));
    EXPECT_EQ(textOf(window.control(ids::kStatusLine)), "Give the vote two to four answers.");

    // The booth: a post with a photo reaches the feed with it; the message box empties, the name stays.
    click(window.control(ids::kTab));
    type(window.control(booth::kName), L"DJ Nova");
    type(window.control(booth::kMessage), L"Last call at the bar!");
    EXPECT_FALSE(textOf(window.control(booth::kPhotoLabel)).empty()) << "a hint while no photo is chosen";
    click(window.control(booth::kPhotoButton));
    EXPECT_EQ(textOf(window.control(booth::kPhotoLabel)), "Photo: lumvo-mark.png");
    EXPECT_EQ(textOf(window.control(booth::kPhotoButton)), "Change photo");
    EXPECT_TRUE(saveWindowPicture(window.handle(), repoPath("test-output\\moderator\\booth-composer.png")));
    click(window, window.control(booth::kShow));
    settle(window);
    std::string photo;
    for (const std::string& post : lumvo::jsonGetArrayObjects(wallGet("/api/state"), "feed")) {
        if (lumvo::jsonGetString(post, "name") == "DJ Nova" &&
            lumvo::jsonGetString(post, "text") == "Last call at the bar!") {
            photo = lumvo::jsonGetString(post, "photo");
        }
    }
    ASSERT_FALSE(photo.empty()) << "the booth post with its photo is not in the feed";
    EXPECT_EQ(wallGet(photo), readBytes(mark)) << "the photo the wall serves is the file chosen: " << photo;
    EXPECT_EQ(textOf(window.control(booth::kMessage)), "");
    EXPECT_EQ(textOf(window.control(booth::kName)), "DJ Nova");
    EXPECT_EQ(textOf(window.control(booth::kPhotoButton)), "Add photo");

    window.close();
    server.stopServer();
}

}  // namespace

// What one tick of the moderator window's timer costs the host's thread (the timer's handler and
// the handler that applies its poll's reply; the request itself runs on the desk's thread),
// against an in-process HTTP server on 127.0.0.1:8787 that answers GET /api/state with the same
// body every time, with one of two bodies of 200 posts in turn (every tick a changed reply), or
// not at all (it accepts and stays silent). Also the benchmark bench/moderator-tick.sh
// (LUMVO_BENCH_TICKS ticks a case).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <optional>
#include <vector>

#include "local_http_server.h"
#include "moderator_support.h"
#include "base/win/win_http_client.h"

namespace {

using lumvo::ModeratorWindow;
using lumvo::PostList;

// A moderation document with `posts` pending shout-outs; `variant` changes every text.
std::string stateBody(int posts, char variant) {
    std::string body =
        "{\"voteActive\":false,\"venuePin\":\"K7Q2M\",\"guestBgStatus\":\"\",\"guestLookActive\":\"lumvo\","
        "\"vdjSearch\":\"\",\"repeatMessages\":true,\"voteTitle\":\"\",\"voteRemain\":0,\"voteClosed\":false,"
        "\"voteSummary\":\"\",\"autoApprove\":false,\"guestLooks\":[],\"pending\":[";
    for (int i = 0; i < posts; ++i) {
        body += std::string(i ? "," : "") + "{\"id\":\"p_" + std::to_string(i) +
                "\",\"type\":\"shoutout\",\"name\":\"Guest " + std::to_string(i) + "\",\"text\":\"Message " +
                std::to_string(i) + " " + variant +
                "\",\"photo\":\"\",\"search\":\"\",\"mark\":\"\",\"color\":\"#22d3ee\",\"hot\":false,"
                "\"createdAt\":1767225600000,\"lastAt\":1767225600000,\"count\":1}";
    }
    return body + "],\"requests\":[],\"tips\":[],\"rejected\":[],\"feed\":[],\"blocked\":[]}";
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Milliseconds the window's thread spends handling each of `ticks` timer ticks and their replies.
std::vector<double> timeTicks(const ModeratorWindow& window, int ticks) {
    std::vector<double> ms;
    for (int i = 0; i < ticks; ++i) ms.push_back(lumvo::test::tick(window));
    return ms;
}

TEST(ModeratorTick, AnUnchangedReplyCostsNoRefillAChangedOneRefillsOnceAndASilentServerOnlyItsTimeOut) {
    const char* requested = std::getenv("LUMVO_BENCH_TICKS");
    const int ticks = std::max(requested ? std::atoi(requested) : 0, 21);
    ASSERT_TRUE(lumvo::test::wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    // The wall server's port, served from this process: the same body, two bodies in turn, or silence.
    enum class Mode { same, changing, silent };
    std::atomic<Mode> mode{Mode::same};
    std::atomic<unsigned> served{0};
    const std::string a = stateBody(200, 'a'), b = stateBody(200, 'b');
    lumvo::test::LocalHttpServer server(
        [&](const lumvo::test::Request&) -> std::optional<std::string> {
            if (mode == Mode::silent) return std::nullopt;
            const std::string& body = mode == Mode::changing && (++served % 2) ? b : a;
            return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body;
        },
        lumvo::test::LocalHttpServer::After::keepAlive, 8787);
    ASSERT_NE(server.port(), 0);

    lumvo::WinHttpClient http;
    lumvo::ModeratorServices services;
    services.http = &http;
    services.wallFilesPresent = [] { return true; };
    services.nodePresent = [] { return true; };
    ModeratorWindow window;
    window.connect(services);
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), nullptr));
    ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
    lumvo::test::tick(window);  // the first reply fills the list
    ASSERT_EQ(window.model().list(PostList::messages).size(), 200u);
    const int filled = window.refills(PostList::messages);

    // Unchanged: the body comparison ends the tick; no list view is touched. Beside it, the bare
    // GET of the same reply, which is most of such a tick.
    const double same = median(timeTicks(window, ticks));
    std::vector<double> exchanges;
    for (int i = 0; i < ticks; ++i) {
        LARGE_INTEGER frequency, before, after;
        QueryPerformanceFrequency(&frequency);
        std::string body;
        lumvo::HttpOptions options;
        options.timeoutMs = 400;
        QueryPerformanceCounter(&before);
        lumvo::httpGet(http, "/api/state", body, options);
        QueryPerformanceCounter(&after);
        exchanges.push_back(1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                            static_cast<double>(frequency.QuadPart));
    }
    const double exchange = median(exchanges);
    EXPECT_EQ(window.refills(PostList::messages), filled) << "an unchanged reply refilled the list";

    // Changed every tick: the Messages list view is refilled once per tick, the others never.
    mode = Mode::changing;
    const double changed = median(timeTicks(window, ticks));
    EXPECT_EQ(window.refills(PostList::messages), filled + ticks);
    EXPECT_EQ(window.refills(PostList::requests), window.refills(PostList::tips));
    EXPECT_LE(window.refills(PostList::requests), 1);

    // Silent: the poll waits out its 400 ms on the desk's thread, not on the window's, and
    // changes nothing.
    mode = Mode::silent;
    const auto before = window.model().list(PostList::messages).size();
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const std::vector<double> silentTicks = timeTicks(window, 3);
    const double silentWall = lumvo::test::msSince(start) / 3;
    const double silent = *std::max_element(silentTicks.begin(), silentTicks.end());
    EXPECT_EQ(window.model().list(PostList::messages).size(), before);
    EXPECT_LT(silent, 16) << "a silent server held the window's thread";
    EXPECT_GT(silentWall, 300) << "the poll did not wait for the silent server at all";

    std::printf(
        "measured: moderator tick under Wine, the window's thread (median of %d): unchanged reply %.3f ms "
        "(the GET alone, on the desk's thread, %.3f ms), changed reply of 200 posts %.2f ms, silent server "
        "%.2f ms at most of 3 (each reply came after %.0f ms)\n",
        ticks, same, exchange, changed, silent, silentWall);
    window.close();
}

}  // namespace

// WinHttpClient against a real local server run by the test: error replies with their bodies,
// bodies in both directions and the JSON content type, callers on several threads at once, big and
// chunked replies, a download to a non-ASCII file with progress, bodies cut off, and time-outs,
// measured.
// (What counts as a success is the portable exchange's, tested natively.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/win/wide_text.h"
#include "base/win/win_http_client.h"
#include "local_http_server.h"
#include "test_support.h"

namespace {

using lumvo::test::LocalHttpServer;
using lumvo::test::Request;

// A complete reply with Content-Length and Connection: close.
std::string reply(int status, const std::string& body, const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// Options for the test server on `port`, with a short time-out unless one is given.
lumvo::HttpOptions at(std::uint16_t port, int timeoutMs = 2000) { return {.port = port, .timeoutMs = timeoutMs}; }

TEST(WinHttpClient, OnlyA2xxReplyIsSuccessTheBodyIsKeptEitherWayBodiesGoAsJsonAndCallersShareTheSession) {
    LocalHttpServer server([](const Request& r) {
        if (r.target == "/missing") return reply(404, "{\"error\":\"no such post\"}");
        if (r.target == "/nothing") return reply(204, "");
        if (r.method == "POST") return reply(200, r.body);
        return reply(200, "{\"path\":\"" + r.target + "\"}");
    });
    ASSERT_NE(server.port(), 0);
    lumvo::WinHttpClient http;
    const struct {
        const char* path;
        bool ok;
        std::string body;
    } cases[] = {
        {"/api/display?x=1&y=%20", true, "{\"path\":\"/api/display?x=1&y=%20\"}"},
        {"/missing", false, "{\"error\":\"no such post\"}"},  // the caller can still read why
        {"/nothing", true, ""},                               // no body: out is emptied, not left stale
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(lumvo::httpGet(http, c.path, out, at(server.port())), c.ok) << c.path;
        EXPECT_EQ(out, c.body) << c.path;
    }

    const std::string body = "{\"text\":\"50% off \\u00e9 \xC3\xA9\",\"n\":1}";
    std::string out;
    EXPECT_TRUE(lumvo::httpPost(http, "/api/show", body, out, at(server.port())));
    EXPECT_EQ(out, body);
    EXPECT_TRUE(lumvo::httpPostEx(http, "/api/shutdown", "", out, at(server.port())));
    // POST without a body at all: no content type.
    lumvo::MemorySink sink(out);
    EXPECT_TRUE(lumvo::httpExchange(http, {.method = "POST", .path = "/api/next", .options = at(server.port())}, sink));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_FALSE(requests[0].header("Content-Type").has_value()) << "a GET: no body, no content type";
    EXPECT_EQ(requests[3].method + requests[3].header("Content-Type").value_or(""), "POSTapplication/json");
    EXPECT_EQ(requests[3].body, body);
    EXPECT_EQ(requests[4].header("Content-Type").value_or("") + requests[4].header("Content-Length").value_or(""),
              "application/json0");
    EXPECT_EQ(requests[5].method, "POST");
    EXPECT_FALSE(requests[5].header("Content-Type").has_value());

    // Eight callers at once, each with a client of its own over the process's one session.
    std::atomic<int> good{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back([&, i] {
            lumvo::WinHttpClient client;
            const std::string path = "/caller/" + std::to_string(i);
            std::string got;
            good += lumvo::httpGet(client, path, got, at(server.port(), 5000)) && got == "{\"path\":\"" + path + "\"}";
        });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(good, 8);
}

TEST(WinHttpClient, LongAndChunkedRepliesAreReadToTheEndAndDownloadsReachTheirFileWithProgress) {
    std::string photo(300 * 1024 + 7, '\0');
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>((i * 131) ^ (i >> 8));
    LocalHttpServer server([&](const Request& r) {
        if (r.target != "/chunked") return reply(200, photo, "Content-Type: image/jpeg\r\n");
        return std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n") +
               "5\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n";
    });
    ASSERT_NE(server.port(), 0);
    lumvo::WinHttpClient http;
    std::string out;
    EXPECT_TRUE(lumvo::httpGet(http, "/uploads/big.jpg", out, {.port = server.port(), .longReceive = true}));
    EXPECT_TRUE(out == photo) << out.size() << " of " << photo.size() << " bytes";
    EXPECT_TRUE(lumvo::httpGet(http, "/chunked", out, at(server.port())));
    EXPECT_EQ(out, "hello world");

    // To disk, under a name that is not ASCII (replacing a file is the portable sink's, tested natively).
    lumvo::test::TempFolder folder;
    const std::string target = folder /
                               "\xC3\xBC"
                               "ber.zip";
    const std::filesystem::path file(lumvo::utf8ToWide(target));
    std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> progress;
    lumvo::FileSink sink(file, [&](std::uint64_t received, std::optional<std::uint64_t> total) {
        progress.emplace_back(received, total);
        return true;
    });
    const lumvo::HttpOptions longReceive{.port = server.port(), .longReceive = true};
    EXPECT_TRUE(lumvo::httpExchange(http, {.path = "/node.zip", .options = longReceive}, sink));
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == photo);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file) += ".part"));
    // Progress against the total WinHTTP read from the reply's headers.
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t{photo.size()}, std::optional<std::uint64_t>(photo.size())));
}

TEST(WinHttpClient, AServerThatNeverAnswersOrStallsCostsNoMoreThanTheTimeOutAndACutBodyFails) {
    // A GET with a 400 ms time-out: its result, what it left in out, and how long it took.
    struct Timed {
        bool ok;
        std::string out;
        long long ms;
    };
    auto timedGet = [](std::uint16_t port) {
        // A client that ignored its time-out would wait here for good: the request runs on its own
        // thread, and after 10 s the test program ends with a failure instead of hanging the run.
        auto result = std::make_shared<std::promise<Timed>>();
        auto done = result->get_future();
        std::thread([result, port] {
            Timed t{false, "stale", 0};
            const auto start = std::chrono::steady_clock::now();
            lumvo::WinHttpClient http;
            t.ok = lumvo::httpGet(http, "/api/display", t.out, at(port, 400));
            t.ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            result->set_value(std::move(t));
        }).detach();
        if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "FAILED: a GET with a 400 ms time-out was still waiting after 10 s\n");
            std::fflush(nullptr);
            std::_Exit(1);
        }
        return done.get();
    };
    auto never = [](const Request&) { return std::optional<std::string>(); };

    LocalHttpServer hung(never);
    const Timed silent = timedGet(hung.port());
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.out, "");
    EXPECT_GE(silent.ms, 300) << "gave up before the time-out";
    EXPECT_LT(silent.ms, 1500) << "the 400 ms time-out did not hold";
    std::printf("measured: GET to a server that never answers, time-out 400 ms: returned false after %lld ms\n",
                silent.ms);

    // Headers and part of the body, then silence: the read gives up after the time-out as well.
    auto partial = [](const Request&) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123"); };
    LocalHttpServer stalled(partial, LocalHttpServer::After::hold);
    const Timed cut = timedGet(stalled.port());
    EXPECT_FALSE(cut.ok) << "a body cut off is a failure";
    EXPECT_LT(cut.ms, 1500);
    std::printf("measured: GET whose body stalls after 4 of 100 bytes, time-out 400 ms: returned after %lld ms\n",
                cut.ms);

    // The same, then the connection closes. Wine's WinHTTP reports that as the body's end: only
    // the Content-Length tells it from a whole body.
    LocalHttpServer closing(partial);
    const Timed early = timedGet(closing.port());
    EXPECT_FALSE(early.ok) << "a body that ends early is a failure";
    EXPECT_EQ(early.out, "0123");

    // Nobody listening at all: refused at once, not after the time-out.
    const std::uint16_t closedPort = LocalHttpServer(never).port();
    const Timed refused = timedGet(closedPort);
    EXPECT_FALSE(refused.ok);
    EXPECT_LT(refused.ms, 1500);
    std::printf("measured: GET to a closed port: returned false after %lld ms\n", refused.ms);
}

}  // namespace

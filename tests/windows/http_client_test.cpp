// The WinHTTP client against a real local server run by the test: status handling, bodies in
// both directions, the JSON content type, big and chunked replies, concurrent first use, and
// time-outs, measured.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "serverlink/win/http_client.h"
#include "test_http_server.h"

namespace {

using lumvo::test::HttpRequestRecord;
using lumvo::test::TestHttpServer;
using Clock = std::chrono::steady_clock;

constexpr const wchar_t* kLoopback = L"127.0.0.1";

TEST(HttpClient, A2xxReplyGivesTrueAndItsBodyWhateverCameBefore) {
    TestHttpServer server([](const HttpRequestRecord& r) {
        return TestHttpServer::response(200, "OK", "{\"featuredId\":\"p1\",\"path\":\"" + r.target + "\"}");
    });
    ASSERT_TRUE(server.listening());
    std::string out = "stale";
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/api/display?x=1&y=%20", out, false, 2000));
    EXPECT_EQ(out, "{\"featuredId\":\"p1\",\"path\":\"/api/display?x=1&y=%20\"}");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_FALSE(requests[0].header("Content-Type").has_value()) << "no body, no content type";
    EXPECT_EQ(requests[0].header("User-Agent").value_or(""), "LUMVO/1.0");
    EXPECT_TRUE(requests[0].body.empty());
}

TEST(HttpClient, AnErrorStatusGivesFalseButKeepsTheBodyForTheCaller) {
    TestHttpServer server([](const HttpRequestRecord& r) -> std::optional<std::string> {
        if (r.target == "/missing") return TestHttpServer::response(404, "Not Found", "{\"error\":\"no such post\"}");
        if (r.target == "/broken") return TestHttpServer::response(500, "Internal Server Error", "");
        return TestHttpServer::response(204, "No Content", "");
    });
    ASSERT_TRUE(server.listening());
    std::string out;
    EXPECT_FALSE(lumvo::httpGet(kLoopback, server.port(), L"/missing", out, false, 2000));
    EXPECT_EQ(out, "{\"error\":\"no such post\"}");
    out = "stale";
    EXPECT_FALSE(lumvo::httpGet(kLoopback, server.port(), L"/broken", out, false, 2000));
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/nothing", out, false, 2000));
    EXPECT_EQ(out, "") << "a reply without a body leaves out empty";
}

TEST(HttpClient, PostBodiesGoOutWithTheJsonContentTypeEvenWhenEmpty) {
    TestHttpServer server([](const HttpRequestRecord& r) { return TestHttpServer::response(200, "OK", r.body); });
    ASSERT_TRUE(server.listening());
    const std::string body = "{\"text\":\"50% off \\u00e9 \xC3\xA9\",\"n\":1}";
    std::string out;
    EXPECT_TRUE(lumvo::httpPost(kLoopback, server.port(), L"/api/show", body, out, 2000));
    EXPECT_EQ(out, body);
    EXPECT_TRUE(lumvo::httpPost(kLoopback, server.port(), L"/api/shutdown", std::string(), out, 2000));
    EXPECT_EQ(out, "");
    // POST without a body at all: no content type.
    EXPECT_TRUE(lumvo::HttpRequest(L"POST", kLoopback, server.port(), L"/api/next", nullptr, out, false, false, 2000));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[1].header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(requests[1].header("Content-Length").value_or(""), "0");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_FALSE(requests[2].header("Content-Type").has_value());
}

TEST(HttpClient, LongAndChunkedRepliesAreReadToTheEnd) {
    std::string photo(300 * 1024 + 7, '\0');
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>((i * 131) ^ (i >> 8));
    TestHttpServer server([&](const HttpRequestRecord& r) -> std::optional<std::string> {
        if (r.target == "/chunked") {
            return std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n") +
                   "5\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n";
        }
        return TestHttpServer::response(200, "OK", photo, "Content-Type: image/jpeg\r\n");
    });
    ASSERT_TRUE(server.listening());
    std::string out;
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/uploads/big.jpg", out, true, 0));
    EXPECT_EQ(out.size(), photo.size());
    EXPECT_TRUE(out == photo);
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/chunked", out, false, 2000));
    EXPECT_EQ(out, "hello world");
}

TEST(HttpClient, ConcurrentFirstCallersShareOneSession) {
    TestHttpServer server([](const HttpRequestRecord& r) { return TestHttpServer::response(200, "OK", r.target); });
    ASSERT_TRUE(server.listening());
    std::atomic<int> good{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back([&, i] {
            std::string out;
            const std::wstring path = L"/caller/" + std::to_wstring(i);
            if (lumvo::httpGet(kLoopback, server.port(), path, out, false, 5000) &&
                out == "/caller/" + std::to_string(i)) {
                ++good;
            }
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(good, 8);
}

TEST(HttpClient, AServerThatNeverAnswersCostsNoMoreThanTheTimeOut) {
    TestHttpServer hung([](const HttpRequestRecord&) { return std::optional<std::string>(); });
    ASSERT_TRUE(hung.listening());
    std::string out = "stale";
    const auto start = Clock::now();
    EXPECT_FALSE(lumvo::httpGet(kLoopback, hung.port(), L"/api/display", out, false, 400));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(out, "");
    EXPECT_GE(ms, 300) << "gave up before the time-out";
    EXPECT_LT(ms, 1500) << "the 400 ms time-out did not hold";
    std::printf("measured: GET to a server that never answers, time-out 400 ms: returned false after %lld ms\n",
                static_cast<long long>(ms));

    // Headers and part of the body, then silence: the read gives up after the time-out as well.
    TestHttpServer stalled(
        [](const HttpRequestRecord&) {
            return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
        },
        true);
    ASSERT_TRUE(stalled.listening());
    const auto stallStart = Clock::now();
    lumvo::httpGet(kLoopback, stalled.port(), L"/api/display", out, false, 400);
    const auto stallMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stallStart).count();
    EXPECT_LT(stallMs, 1500);
    std::printf("measured: GET whose body stalls after 10 of 100 bytes, time-out 400 ms: returned after %lld ms\n",
                static_cast<long long>(stallMs));

    // Nobody listening at all: refused at once, not after the time-out.
    const std::uint16_t closedPort = [] {
        TestHttpServer gone([](const HttpRequestRecord&) { return std::optional<std::string>(); });
        return gone.port();
    }();
    const auto refusedStart = Clock::now();
    EXPECT_FALSE(lumvo::httpGet(kLoopback, closedPort, L"/api/display", out, false, 400));
    const auto refusedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - refusedStart).count();
    EXPECT_LT(refusedMs, 1500);
    std::printf("measured: GET to a closed port: returned false after %lld ms\n", static_cast<long long>(refusedMs));
}

}  // namespace

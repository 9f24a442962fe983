// The WinHTTP client and the settings push against a real local server run by the test: status
// handling, bodies in both directions, the JSON content type, big and chunked replies, concurrent
// first use, and time-outs, measured.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/win/data_folders.h"
#include "plugin/win/settings_store.h"
#include "serverlink/win/http_client.h"

namespace {

constexpr const wchar_t* kLoopback = L"127.0.0.1";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Request {
    std::string method, target, headers, body;
    // A header's value (the name compared without case), if present.
    std::optional<std::string> header(const std::string& name) const {
        const std::string all = lower("\r\n" + headers + "\r\n");
        const size_t at = all.find("\r\n" + lower(name) + ":");
        if (at == std::string::npos) return std::nullopt;
        const size_t start = all.find_first_not_of(' ', at + name.size() + 3);
        return headers.substr(start - 2, all.find("\r\n", start) - start);
    }
};

// A complete reply with Content-Length and Connection: close.
std::string reply(int status, const std::string& body, const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// An HTTP/1.1 server on 127.0.0.1 that records every request and answers with the raw bytes the
// handler returns. When the handler returns nothing the connection stays open without a reply, as
// with a hung server; with keepOpen it also stays open after the reply, as if stalled mid-body.
class TestServer {
public:
    using Handler = std::function<std::optional<std::string>(const Request&)>;

    explicit TestServer(Handler handler, bool keepOpen = false) : handler_(std::move(handler)), keepOpen_(keepOpen) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // port 0: any free one
        int length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TestServer() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        closesocket(listener_);
        for (SOCKET s : held_) closesocket(s);
        WSACleanup();
    }

    std::uint16_t port() const { return port_; }  // 0 when it could not listen
    std::vector<Request> requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        while (!stopping_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET connection = accept(listener_, nullptr, nullptr);
            if (connection != INVALID_SOCKET) handle(connection);
        }
    }

    void handle(SOCKET connection) {
        DWORD readTimeout = 5000;
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readTimeout), sizeof readTimeout);
        std::string data;
        char buffer[4096];
        size_t headerEnd;
        while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const int got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return (void)closesocket(connection);
            data.append(buffer, got);
        }
        Request request;
        const size_t lineEnd = data.find("\r\n");
        const size_t space1 = data.find(' ');
        const size_t space2 = data.find(' ', space1 + 1);
        request.method = data.substr(0, space1);
        request.target = data.substr(space1 + 1, space2 - space1 - 1);
        request.headers = data.substr(lineEnd + 2, headerEnd - lineEnd - 2);
        request.body = data.substr(headerEnd + 4);
        const size_t length = std::stoul(request.header("Content-Length").value_or("0"));
        for (int got; request.body.size() < length && (got = recv(connection, buffer, sizeof buffer, 0)) > 0;) {
            request.body.append(buffer, got);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        const std::optional<std::string> answer = handler_(request);
        for (size_t sent = 0, n; answer && sent < answer->size(); sent += n) {
            if ((n = send(connection, answer->data() + sent, static_cast<int>(answer->size() - sent), 0)) <= 0) break;
        }
        if (!answer || keepOpen_) return held_.push_back(connection);  // closed when the server goes
        shutdown(connection, SD_SEND);
        closesocket(connection);
    }

    Handler handler_;
    bool keepOpen_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::vector<SOCKET> held_;
};

TEST(HttpClient, OnlyA2xxReplyIsSuccessAndTheBodyIsKeptEitherWay) {
    TestServer server([](const Request& r) {
        if (r.target == "/missing") return reply(404, "{\"error\":\"no such post\"}");
        if (r.target == "/broken") return reply(500, "");
        if (r.target == "/nothing") return reply(204, "");
        return reply(200, "{\"path\":\"" + r.target + "\"}");
    });
    ASSERT_NE(server.port(), 0);
    const struct {
        const wchar_t* path;
        bool ok;
        std::string body;
    } cases[] = {
        {L"/api/display?x=1&y=%20", true, "{\"path\":\"/api/display?x=1&y=%20\"}"},
        {L"/missing", false, "{\"error\":\"no such post\"}"},  // the caller can still read why
        {L"/broken", false, ""},
        {L"/nothing", true, ""},  // no body: out is emptied, not left stale
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(lumvo::httpGet(kLoopback, server.port(), c.path, out, false, 2000), c.ok) << c.path;
        EXPECT_EQ(out, c.body) << c.path;
    }
    const Request first = server.requests().at(0);
    EXPECT_EQ(first.method, "GET");
    EXPECT_FALSE(first.header("Content-Type").has_value()) << "no body, no content type";
    EXPECT_EQ(first.header("User-Agent").value_or(""), "LUMVO/1.0");
    EXPECT_EQ(first.body, "");
}

TEST(HttpClient, PostBodiesGoOutWithTheJsonContentTypeEvenWhenEmpty) {
    TestServer server([](const Request& r) { return reply(200, r.body); });
    ASSERT_NE(server.port(), 0);
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
    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_FALSE(requests[2].header("Content-Type").has_value());
}

TEST(HttpClient, LongAndChunkedRepliesAreReadToTheEnd) {
    std::string photo(300 * 1024 + 7, '\0');
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>((i * 131) ^ (i >> 8));
    TestServer server([&](const Request& r) {
        if (r.target != "/chunked") return reply(200, photo, "Content-Type: image/jpeg\r\n");
        return std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n") +
               "5\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n";
    });
    ASSERT_NE(server.port(), 0);
    std::string out;
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/uploads/big.jpg", out, true, 0));
    EXPECT_EQ(out.size(), photo.size());
    EXPECT_TRUE(out == photo);
    EXPECT_TRUE(lumvo::httpGet(kLoopback, server.port(), L"/chunked", out, false, 2000));
    EXPECT_EQ(out, "hello world");
}

TEST(HttpClient, ConcurrentFirstCallersShareOneSession) {
    TestServer server([](const Request& r) { return reply(200, r.target); });
    ASSERT_NE(server.port(), 0);
    std::atomic<int> good{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back([&, i] {
            std::string out;
            if (lumvo::httpGet(kLoopback, server.port(), L"/caller/" + std::to_wstring(i), out, false, 5000) &&
                out == "/caller/" + std::to_string(i)) {
                ++good;
            }
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(good, 8);
}

TEST(HttpClient, AServerThatNeverAnswersOrStallsCostsNoMoreThanTheTimeOut) {
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
            t.ok = lumvo::httpGet(kLoopback, port, L"/api/display", t.out, false, 400);
            t.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
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

    TestServer hung(never);
    const Timed silent = timedGet(hung.port());
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.out, "");
    EXPECT_GE(silent.ms, 300) << "gave up before the time-out";
    EXPECT_LT(silent.ms, 1500) << "the 400 ms time-out did not hold";
    std::printf("measured: GET to a server that never answers, time-out 400 ms: returned false after %lld ms\n",
                silent.ms);

    // Headers and part of the body, then silence: the read gives up after the time-out as well.
    TestServer stalled([](const Request&) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123"); },
                       true);
    const Timed cut = timedGet(stalled.port());
    EXPECT_FALSE(cut.ok) << "a body cut off is a failure";
    EXPECT_LT(cut.ms, 1500);
    std::printf("measured: GET whose body stalls after 4 of 100 bytes, time-out 400 ms: returned after %lld ms\n",
                cut.ms);

    // Nobody listening at all: refused at once, not after the time-out.
    const std::uint16_t closedPort = TestServer(never).port();
    const Timed refused = timedGet(closedPort);
    EXPECT_FALSE(refused.ok);
    EXPECT_LT(refused.ms, 1500);
    std::printf("measured: GET to a closed port: returned false after %lld ms\n", refused.ms);
}

TEST(SettingsPush, TheSettingsGoToTheWallServerAndAnEmptyMediaFolderAnnouncesTheDefault) {
    std::atomic<int> status{200};
    TestServer server([&](const Request&) { return reply(status, "{\"ok\":true}"); });
    ASSERT_NE(server.port(), 0);
    lumvo::WallSettings s;
    s.mediaDir = "D:\\Photos";
    EXPECT_TRUE(lumvo::pushSettingsTo(s, server.port()));
    status = 503;
    EXPECT_FALSE(lumvo::pushSettingsTo(s, server.port()));
    status = 200;
    lumvo::WallSettings noMedia = s;
    noMedia.mediaDir.clear();
    EXPECT_TRUE(lumvo::pushSettingsTo(noMedia, server.port()));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method + " " + requests[0].target, "POST /api/settings");
    EXPECT_EQ(requests[0].body, lumvo::settingsPushBody(s, s.mediaDir));
    EXPECT_EQ(requests[2].body, lumvo::settingsPushBody(noMedia, lumvo::defaultMediaFolder()));
}

}  // namespace

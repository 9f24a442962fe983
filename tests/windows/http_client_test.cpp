// WinHttpClient against a real local server run by the test: status
// handling, bodies in both directions, the JSON content type, big and chunked replies, a download
// to disk with progress, concurrent first use, bodies cut off, and time-outs, measured.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/win/data_folders.h"
#include "base/win/wide_text.h"
#include "serverlink/win/win_http_client.h"
#include "test_support.h"

namespace {

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
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readTimeout),
                   sizeof readTimeout);
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

// Options for the test server on `port`, with a short time-out unless one is given.
lumvo::HttpOptions at(std::uint16_t port, int timeoutMs = 2000) { return {.port = port, .timeoutMs = timeoutMs}; }

TEST(WinHttpClient, OnlyA2xxReplyIsSuccessTheBodyIsKeptEitherWayAndBodiesGoAsJson) {
    TestServer server([](const Request& r) {
        if (r.target == "/missing") return reply(404, "{\"error\":\"no such post\"}");
        if (r.target == "/broken") return reply(500, "");
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
        {"/broken", false, ""},
        {"/nothing", true, ""},  // no body: out is emptied, not left stale
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(lumvo::httpGet(http, c.path, out, at(server.port())), c.ok) << c.path;
        EXPECT_EQ(out, c.body) << c.path;
    }

    // The two steps apart: the status first, then the error reply's body.
    lumvo::HttpReply missing = http.send({.path = "/missing", .options = at(server.port())});
    EXPECT_EQ(missing.status(), 404);
    EXPECT_EQ(missing.contentLength(), 24u);
    std::string why;
    lumvo::MemorySink sink(why);
    EXPECT_TRUE(missing.readBody(sink));
    EXPECT_EQ(why, "{\"error\":\"no such post\"}");

    const std::string body = "{\"text\":\"50% off \\u00e9 \xC3\xA9\",\"n\":1}";
    std::string out;
    EXPECT_TRUE(lumvo::httpPost(http, "/api/show", body, out, at(server.port())));
    EXPECT_EQ(out, body);
    EXPECT_TRUE(lumvo::httpPostEx(http, "/api/shutdown", "", out, at(server.port())));
    EXPECT_EQ(out, "");
    // POST without a body at all: no content type.
    EXPECT_TRUE(lumvo::httpExchange(http, {.method = "POST", .path = "/api/next", .options = at(server.port())}, sink));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_FALSE(requests[0].header("Content-Type").has_value()) << "no body, no content type";
    EXPECT_EQ(requests[0].header("User-Agent").value_or(""), "LUMVO/1.0");
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[5].method, "POST");
    EXPECT_EQ(requests[5].header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(requests[5].body, body);
    EXPECT_EQ(requests[6].header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(requests[6].header("Content-Length").value_or(""), "0");
    EXPECT_EQ(requests[7].method, "POST");
    EXPECT_FALSE(requests[7].header("Content-Type").has_value());
}

TEST(WinHttpClient, LongAndChunkedRepliesAreReadToTheEndAndDownloadsReachTheirFileWithProgress) {
    std::string photo(300 * 1024 + 7, '\0');
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>((i * 131) ^ (i >> 8));
    TestServer server([&](const Request& r) {
        if (r.target != "/chunked") return reply(200, photo, "Content-Type: image/jpeg\r\n");
        return std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n") +
               "5\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n";
    });
    ASSERT_NE(server.port(), 0);
    lumvo::WinHttpClient http;
    std::string out;
    EXPECT_TRUE(lumvo::httpGet(http, "/uploads/big.jpg", out, {.port = server.port(), .longReceive = true}));
    EXPECT_EQ(out.size(), photo.size());
    EXPECT_TRUE(out == photo);
    EXPECT_TRUE(lumvo::httpGet(http, "/chunked", out, at(server.port())));
    EXPECT_EQ(out, "hello world");

    // To disk, over a previous file, under a name that is not ASCII.
    lumvo::test::TempFolder folder;
    const std::string target = folder /
                               "\xC3\xBC"
                               "ber.zip";
    const std::filesystem::path file(lumvo::utf8ToWide(target));
    std::ofstream(file, std::ios::binary) << "the previous version";
    ASSERT_TRUE(std::filesystem::exists(file));
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
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), std::make_pair(std::uint64_t{0}, std::optional<std::uint64_t>(photo.size())));
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t{photo.size()}, std::optional<std::uint64_t>(photo.size())));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST(WinHttpClient, ConcurrentFirstCallersShareOneSession) {
    TestServer server([](const Request& r) { return reply(200, r.target); });
    ASSERT_NE(server.port(), 0);
    std::atomic<int> good{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back([&, i] {
            lumvo::WinHttpClient http;
            std::string out;
            if (lumvo::httpGet(http, "/caller/" + std::to_string(i), out, at(server.port(), 5000)) &&
                out == "/caller/" + std::to_string(i)) {
                ++good;
            }
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(good, 8);
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

    TestServer hung(never);
    const Timed silent = timedGet(hung.port());
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.out, "");
    EXPECT_GE(silent.ms, 300) << "gave up before the time-out";
    EXPECT_LT(silent.ms, 1500) << "the 400 ms time-out did not hold";
    std::printf("measured: GET to a server that never answers, time-out 400 ms: returned false after %lld ms\n",
                silent.ms);

    // Headers and part of the body, then silence: the read gives up after the time-out as well.
    auto partial = [](const Request&) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123"); };
    TestServer stalled(partial, true);
    const Timed cut = timedGet(stalled.port());
    EXPECT_FALSE(cut.ok) << "a body cut off is a failure";
    EXPECT_LT(cut.ms, 1500);
    std::printf("measured: GET whose body stalls after 4 of 100 bytes, time-out 400 ms: returned after %lld ms\n",
                cut.ms);

    // The same, then the connection closes. Wine's WinHTTP reports that as the body's end: only
    // the Content-Length tells it from a whole body.
    TestServer closing(partial);
    const Timed early = timedGet(closing.port());
    EXPECT_FALSE(early.ok) << "a body that ends early is a failure";
    EXPECT_EQ(early.out, "0123");

    // Nobody listening at all: refused at once, not after the time-out.
    const std::uint16_t closedPort = TestServer(never).port();
    const Timed refused = timedGet(closedPort);
    EXPECT_FALSE(refused.ok);
    EXPECT_LT(refused.ms, 1500);
    std::printf("measured: GET to a closed port: returned false after %lld ms\n", refused.ms);
}

}  // namespace

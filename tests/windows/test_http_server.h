#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the HTTP client tests: it records every request and
// answers with whatever raw bytes the test's handler returns. A handler that returns nothing
// leaves the connection open without a reply, as a hung server would.
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumvo::test {

struct HttpRequestRecord {
    std::string method;
    std::string target;
    std::string headers;  // raw header lines
    std::string body;
    // The value of a header (name compared without case), if present.
    std::optional<std::string> header(const std::string& name) const;
};

class TestHttpServer {
public:
    using Handler = std::function<std::optional<std::string>(const HttpRequestRecord&)>;

    // keepOpen: after the reply the connection stays open, as from a server that stalls mid-body.
    explicit TestHttpServer(Handler handler, bool keepOpen = false);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool listening() const { return listener_ != INVALID_SOCKET; }
    std::uint16_t port() const { return port_; }
    std::vector<HttpRequestRecord> requests() const;

    // A complete response with Content-Length and Connection: close.
    static std::string response(int status, const std::string& reason, const std::string& body,
                                const std::string& extraHeaders = "");

private:
    void serve();
    void handle(SOCKET connection);

    Handler handler_;
    bool keepOpen_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<HttpRequestRecord> requests_;
    std::vector<SOCKET> held_;
};

}  // namespace lumvo::test

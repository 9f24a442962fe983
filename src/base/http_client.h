#pragma once
// The plug-in's HTTP seam. One synchronous client serves every caller: the display poll (small
// JSON), photo fetches (bytes to memory), the settings push, and the update and Node.js runtime
// downloads (large files to disk with progress). On Windows it is WinHttpClient
// (base/win/win_http_client.h); native tests script it (tests/support/scripted_http_client.h).
//
// An exchange is two steps: send() gives the reply's status, then readBody() hands the body to a
// sink, so a caller can look at the status before choosing where the body goes. The rules, the
// same for every client:
//  - a request is a success only for a 2xx status with the whole body read and kept by the sink;
//  - a body cut off mid-way (connection dropped, time-out, fewer or more bytes than the server's
//    Content-Length) is a failure, never a success with half a document or half a photo;
//  - the body of an error reply is read like any other, so a caller can show why;
//  - a body, even an empty one, goes with "Content-Type: application/json";
//  - time-outs follow requestTimeouts() / secureRequestTimeout() (base/http_timeouts.h), each
//    shrunk to what is left of the exchange's total (HttpOptions::totalMs), which also ends a body
//    that trickles in;
//  - a body longer than HttpOptions::maxBodyBytes fails, also when its Content-Length says so;
//  - a cancelled token (HttpOptions::cancel) ends the exchange in flight and refuses new ones;
//  - nothing throws out of a client, a reply or the functions below.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/http_cancel.h"

namespace lumvo {

inline constexpr const char* kWallServerHost = "127.0.0.1";
inline constexpr std::uint16_t kWallServerPort = 8787;

// Where a request goes and how long it may take. The defaults are the wall server's.
struct HttpOptions {
    std::string host = kWallServerHost;  // UTF-8
    std::uint16_t port = kWallServerPort;
    bool secure = false;             // HTTPS (TLS 1.2 or 1.3)
    int timeoutMs = 0;               // >= 1: every phase; otherwise the defaults (8 s)
    bool longReceive = false;        // with the defaults: 20 s to send and to receive (photos, downloads)
    int totalMs = 0;                 // >= 1: the whole exchange, body included, ends by then
    std::uint64_t maxBodyBytes = 0;  // >= 1: a longer body fails the read
    HttpCancel* cancel = nullptr;    // the owner's token: cancelling it ends this exchange at once
};

// What bounds one exchange, fixed when it starts: the end of its total, its body's cap and its
// cancel token. Clients make one at the start of send() and hand it to the reply.
class HttpBounds {
public:
    HttpBounds() = default;  // no total, no cap, no token
    explicit HttpBounds(const HttpOptions& options);

    // A phase's time-out (ms) shrunk to what is left of the total; 0 when nothing is left.
    int phaseMs(int timeoutMs) const;
    // Cancelled, or past the total.
    bool over() const;
    std::uint64_t maxBodyBytes() const { return maxBodyBytes_; }
    HttpCancel* cancel() const { return cancel_; }

private:
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::uint64_t maxBodyBytes_ = 0;
    HttpCancel* cancel_ = nullptr;
};

struct HttpRequest {
    std::string method = "GET";
    std::string path = "/";             // with its query, already escaped
    std::optional<std::string> body{};  // present (even empty): sent with the JSON content type
    HttpOptions options{};
};

// Where a reply's body goes. readBody() calls begin() once, write() for each piece as it arrives,
// and finish() only when the whole body is in; any of them answering false fails the read.
class HttpSink {
public:
    virtual ~HttpSink() = default;
    // The reply's status, and the body's size when the server gave a Content-Length.
    virtual bool begin(int status, std::optional<std::uint64_t> total) = 0;
    virtual bool write(const char* data, std::size_t size) = 0;
    virtual bool finish() = 0;
};

// The body into a string, which it empties first (also when nothing arrives). A failed read
// leaves what did arrive.
class MemorySink final : public HttpSink {
public:
    explicit MemorySink(std::string& out) : out_(out) { out_.clear(); }
    bool begin(int, std::optional<std::uint64_t>) override { return true; }
    bool write(const char* data, std::size_t size) override;
    bool finish() override { return true; }

private:
    std::string& out_;
};

// Bytes received so far and the whole size when known; called once before the first byte (0)
// and after every piece. Answering false gives up: the read fails.
using HttpProgress = std::function<bool(std::uint64_t received, std::optional<std::uint64_t> total)>;

// A 2xx reply's body into a file (an error reply's body is refused: the read fails; the two-step
// send() / readBody() can read it into memory instead). It is written beside the target as
// "<path>.part" and moved onto `path` (replacing a previous file) only when the whole body is in,
// so a failed or cut-off download leaves the previous file as it was and no part file behind. A
// file that cannot be opened or written, or a failed move, fails the read. On Windows, make the
// path from UTF-16 text (utf8ToWide) so that any name works.
class FileSink final : public HttpSink {
public:
    explicit FileSink(std::filesystem::path path, HttpProgress progress = {});
    ~FileSink() override;  // removes the part file unless finish() succeeded
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool begin(int status, std::optional<std::uint64_t> total) override;
    bool write(const char* data, std::size_t size) override;
    bool finish() override;

private:
    bool report() const;

    std::filesystem::path path_;
    std::filesystem::path partPath_;
    HttpProgress progress_;
    std::ofstream file_;
    std::optional<std::uint64_t> total_;
    std::uint64_t received_ = 0;
    bool finished_ = false;
};

// What a client hands over for a body still to be read.
class HttpBodySource {
public:
    virtual ~HttpBodySource() = default;
    // Up to `capacity` bytes into `buffer`: how many, 0 at the end of the body, nothing when the
    // body was cut off. Must not throw.
    virtual std::optional<std::size_t> read(char* buffer, std::size_t capacity) = 0;
};

// What send() gives: the status, or no reply at all (status 0: no server, refused, timed out
// before the status line), and the body to read once.
class HttpReply {
public:
    HttpReply() = default;  // no reply
    HttpReply(int status, std::optional<std::uint64_t> contentLength, std::unique_ptr<HttpBodySource> body,
              HttpBounds bounds)
        : status_(status), contentLength_(contentLength), body_(std::move(body)), bounds_(bounds) {}

    int status() const { return status_; }
    bool replied() const { return status_ != 0; }
    bool success() const { return status_ >= 200 && status_ <= 299; }
    std::optional<std::uint64_t> contentLength() const { return contentLength_; }

    // The whole body into `sink`, whatever the status. True when every byte arrived (as many as
    // the Content-Length said, when there was one) within the bounds and the sink took them and
    // finished. False without a reply, on a second call, past the total or the cap, once cancelled,
    // or when the sink or the body source throws.
    bool readBody(HttpSink& sink) noexcept;

private:
    int status_ = 0;
    std::optional<std::uint64_t> contentLength_;
    std::unique_ptr<HttpBodySource> body_;
    HttpBounds bounds_;
};

// One exchange at a time per call; a client may be called from several threads at once.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // Sends the request and waits for the reply's status and headers.
    virtual HttpReply send(const HttpRequest& request) noexcept = 0;
};

// send() and readBody() in one: true only for a 2xx reply whose whole body the sink kept. Nothing
// is sent once the request's token is cancelled.
bool httpExchange(HttpClient& client, const HttpRequest& request, HttpSink& sink) noexcept;

// One-line calls. `out` is emptied first and holds the reply's body (also an error reply's).
bool httpGet(HttpClient& client, std::string_view path, std::string& out, const HttpOptions& options = {}) noexcept;
bool httpPost(HttpClient& client, std::string_view path, std::string_view body, std::string& out,
              const HttpOptions& options = {}) noexcept;
// For the maker's site, which is never asked with the defaults: a time-out below 1 becomes 8 s.
bool httpGetEx(HttpClient& client, std::string_view path, std::string& out, const HttpOptions& options) noexcept;
bool httpPostEx(HttpClient& client, std::string_view path, std::string_view body, std::string& out,
                const HttpOptions& options) noexcept;

}  // namespace lumvo

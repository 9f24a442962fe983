#include "base/http_client.h"

#include <array>
#include <system_error>
#include <utility>

#include "base/http_timeouts.h"

namespace lumvo {

bool MemorySink::write(const char* data, std::size_t size) {
    out_.append(data, size);  // std::bad_alloc is caught by readBody
    return true;
}

FileSink::FileSink(std::filesystem::path path, HttpProgress progress)
    : path_(std::move(path)), progress_(std::move(progress)) {
    partPath_ = path_;
    partPath_ += ".part";
}

FileSink::~FileSink() {
    if (finished_) return;
    if (file_.is_open()) file_.close();
    std::error_code ignored;
    std::filesystem::remove(partPath_, ignored);
}

bool FileSink::report() const { return !progress_ || progress_(received_, total_); }

bool FileSink::begin(int status, std::optional<std::uint64_t> total) {
    if (status < 200 || status > 299) return false;
    total_ = total;
    file_.open(partPath_, std::ios::binary | std::ios::trunc);
    return file_.is_open() && report();
}

bool FileSink::write(const char* data, std::size_t size) {
    file_.write(data, static_cast<std::streamsize>(size));
    if (!file_) return false;
    received_ += size;
    return report();
}

bool FileSink::finish() {
    file_.close();  // flushes; a failed flush or close sets failbit
    if (!file_) return false;
    std::error_code error;
    std::filesystem::rename(partPath_, path_, error);
    finished_ = !error;
    return finished_;
}

HttpBounds::HttpBounds(const HttpOptions& options) : maxBodyBytes_(options.maxBodyBytes), cancel_(options.cancel) {
    if (options.totalMs >= 1) deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.totalMs);
}

int HttpBounds::phaseMs(int timeoutMs) const {
    if (cancel_ && cancel_->cancelled()) return 0;
    if (!deadline_) return timeoutMs;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return left.count() < timeoutMs ? static_cast<int>(left.count()) : timeoutMs;
}

bool HttpBounds::over() const { return phaseMs(1) == 0; }

bool HttpReply::readBody(HttpSink& sink) noexcept {
    const std::unique_ptr<HttpBodySource> body = std::move(body_);  // a body is read once
    if (!body) return false;
    try {
        const std::uint64_t cap = bounds_.maxBodyBytes();
        if (cap && contentLength_ && *contentLength_ > cap) return false;
        if (!sink.begin(status_, contentLength_)) return false;
        std::array<char, 16384> buffer;
        std::uint64_t received = 0;
        for (;;) {
            if (bounds_.over()) return false;
            const std::optional<std::size_t> got = body->read(buffer.data(), buffer.size());
            if (!got) return false;  // cut off
            if (*got == 0) break;
            received += *got;
            if (contentLength_ && received > *contentLength_) return false;
            if (cap && received > cap) return false;
            if (!sink.write(buffer.data(), *got)) return false;
        }
        // The connection may end early without an error: the announced length decides.
        if (contentLength_ && received != *contentLength_) return false;
        return sink.finish();
    } catch (...) {
        return false;
    }
}

bool httpExchange(HttpClient& client, const HttpRequest& request, HttpSink& sink) noexcept {
    if (request.options.cancel && request.options.cancel->cancelled()) return false;
    HttpReply reply = client.send(request);
    const bool whole = reply.readBody(sink);
    return whole && reply.success();
}

namespace {

bool exchangeToMemory(HttpClient& client, const char* method, std::string_view path,
                      const std::optional<std::string_view>& body, std::string& out, const HttpOptions& options,
                      int timeoutMs) noexcept {
    out.clear();
    try {
        HttpRequest request{method, std::string(path), std::nullopt, options};
        if (body) request.body.emplace(*body);
        request.options.timeoutMs = timeoutMs;
        MemorySink sink(out);
        return httpExchange(client, request, sink);
    } catch (...) {  // std::bad_alloc copying the request
        return false;
    }
}

}  // namespace

bool httpGet(HttpClient& client, std::string_view path, std::string& out, const HttpOptions& options) noexcept {
    return exchangeToMemory(client, "GET", path, std::nullopt, out, options, options.timeoutMs);
}

bool httpPost(HttpClient& client, std::string_view path, std::string_view body, std::string& out,
              const HttpOptions& options) noexcept {
    return exchangeToMemory(client, "POST", path, body, out, options, options.timeoutMs);
}

bool httpGetEx(HttpClient& client, std::string_view path, std::string& out, const HttpOptions& options) noexcept {
    return exchangeToMemory(client, "GET", path, std::nullopt, out, options, secureRequestTimeout(options.timeoutMs));
}

bool httpPostEx(HttpClient& client, std::string_view path, std::string_view body, std::string& out,
                const HttpOptions& options) noexcept {
    return exchangeToMemory(client, "POST", path, body, out, options, secureRequestTimeout(options.timeoutMs));
}

}  // namespace lumvo

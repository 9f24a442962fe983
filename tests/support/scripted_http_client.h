#pragma once
// A scripted HttpClient for native tests of code that talks to the wall server: each path has a
// queue of replies (status and body, or a failure at send or mid-body), each request takes the
// next one for its path, and every request is recorded.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/http_client.h"

namespace lumvo::test {

struct ScriptedReply {
    enum class Failure { none, atSend, midBody };
    int status = 200;
    std::string body{};
    Failure failure = Failure::none;
    std::size_t bytesBeforeCut = 0;  // midBody: what arrives before the connection drops
    // The Content-Length header: the body's whole size by default (as the wall server sends);
    // none, as with a chunked reply; or any other number, as from a server that breaks off.
    static constexpr std::uint64_t kBodySize = UINT64_MAX;
    std::optional<std::uint64_t> contentLength = kBodySize;
    std::size_t chunkBytes = 4096;  // the most one read hands over
    int msPerChunk = 0;             // real time each read waits before handing its piece over (a trickle)
};

class ScriptedHttpClient final : public HttpClient {
public:
    // Queues `reply` for a later request to `path` (compared without its query).
    void script(const std::string& path, ScriptedReply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        queues_[path].push_back(std::move(reply));
    }

    // A request with no reply left for its path fails at send, like one to a server that is gone.
    HttpReply send(const HttpRequest& request) noexcept override {
        std::optional<ScriptedReply> reply;
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            sent_.push_back(request);
            auto queue = queues_.find(request.path.substr(0, request.path.find('?')));
            if (queue != queues_.end() && !queue->second.empty()) {
                reply = std::move(queue->second.front());
                queue->second.pop_front();
            }
        } catch (...) {
            return {};
        }
        if (!reply || reply->failure == ScriptedReply::Failure::atSend) return {};
        const bool cut = reply->failure == ScriptedReply::Failure::midBody;
        std::optional<std::uint64_t> length = reply->contentLength;
        if (length == ScriptedReply::kBodySize) length = reply->body.size();
        if (cut) reply->body.resize(std::min(reply->bytesBeforeCut, reply->body.size()));
        try {
            auto body = std::make_unique<Body>(std::move(reply->body), reply->chunkBytes, cut, reply->msPerChunk);
            return HttpReply(reply->status, length, std::move(body), HttpBounds(request.options));
        } catch (...) {
            return {};
        }
    }

    std::vector<HttpRequest> requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sent_;
    }

private:
    class Body final : public HttpBodySource {
    public:
        Body(std::string bytes, std::size_t chunk, bool cut, int msPerChunk)
            : bytes_(std::move(bytes)), chunk_(chunk), cut_(cut), msPerChunk_(msPerChunk) {}
        std::optional<std::size_t> read(char* buffer, std::size_t capacity) override {
            if (msPerChunk_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(msPerChunk_));
            if (at_ == bytes_.size()) return cut_ ? std::nullopt : std::optional<std::size_t>(0);
            const std::size_t n = std::min({capacity, chunk_, bytes_.size() - at_});
            std::memcpy(buffer, bytes_.data() + at_, n);
            at_ += n;
            return n;
        }

    private:
        std::string bytes_;
        std::size_t chunk_;
        bool cut_;
        int msPerChunk_;
        std::size_t at_ = 0;
    };

    mutable std::mutex mutex_;
    std::map<std::string, std::deque<ScriptedReply>> queues_;
    std::vector<HttpRequest> sent_;
};

}  // namespace lumvo::test

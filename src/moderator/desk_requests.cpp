#include "moderator/desk_requests.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace lumvo {
namespace {

// Every phase within `timeoutMs`, and twice that for the whole exchange.
HttpOptions deskOptions(int timeoutMs, HttpCancel* cancel) {
    HttpOptions options;
    options.timeoutMs = timeoutMs;
    options.totalMs = 2 * timeoutMs;
    options.cancel = cancel;
    return options;
}

}  // namespace

std::optional<std::string> fetchModeration(HttpClient& http, HttpCancel* cancel) {
    try {
        HttpOptions options = deskOptions(kDeskPollTimeoutMs, cancel);
        options.maxBodyBytes = kModerationBodyCap;
        std::string body;
        if (!httpGet(http, "/api/state", body, options)) return std::nullopt;
        return body;
    } catch (...) {  // std::bad_alloc
        return std::nullopt;
    }
}

std::optional<std::string> fetchWallText(HttpClient& http, const DeskGet& get, HttpCancel* cancel) {
    try {
        HttpOptions options = deskOptions(kDeskActionTimeoutMs, cancel);
        options.maxBodyBytes = std::max<std::size_t>(get.maxBytes, 1);
        std::string body;
        if (!httpGet(http, get.path, body, options)) return std::nullopt;
        return body;
    } catch (...) {  // std::bad_alloc
        return std::nullopt;
    }
}

std::uint64_t DeskRequests::submit(HttpClient* http, DeskJob job, std::function<void()> notify) {
    if (!http) return 0;
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return 0;
        http_ = http;
        notify_ = std::move(notify);
        if (!thread_.joinable()) {
            cancel_.reset();
            thread_ = std::thread([this] { run(); });
        }
        const std::uint64_t ticket = nextTicket_++;
        queue_.emplace_back(ticket, std::move(job));
        wake_.notify_one();
        return ticket;
    } catch (...) {  // the thread could not be made, or no memory
        return 0;
    }
}

std::vector<DeskResult> DeskRequests::takeResults() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(results_, {});
}

bool DeskRequests::busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || !queue_.empty() || !results_.empty();
}

void DeskRequests::stop() noexcept {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) return;
        stopping_ = true;
        queue_.clear();
        wake_.notify_one();
    }
    cancel_.cancel();  // the exchange in flight ends now, or at its short time-out
    try {
        if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
        else thread_.join();
    } catch (...) {
        try {
            thread_.detach();
        } catch (...) {}
    }
    std::lock_guard<std::mutex> lock(mutex_);
    results_.clear();
    running_ = false;
    stopping_ = false;
}

void DeskRequests::run() {
    for (;;) {
        std::pair<std::uint64_t, DeskJob> next;
        HttpClient* http = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            next = std::move(queue_.front());
            queue_.pop_front();
            running_ = true;
            http = http_;
        }
        DeskResult result;
        result.ticket = next.first;
        try {
            if (next.second.prepare) {
                if (std::optional<WallRequest> made = next.second.prepare()) next.second.request = std::move(made);
            }
            if (next.second.request) {
                const WallRequest& request = *next.second.request;
                result.requestSent = true;
                result.requestOk = sendWallRequest(
                    *http, request,
                    deskOptions(next.second.timeoutMs > 0 ? next.second.timeoutMs : kDeskActionTimeoutMs, &cancel_),
                    &result.reply);
            }
            if (next.second.poll) {
                result.polled = true;
                result.state = fetchModeration(*http, &cancel_);
            }
            if (next.second.get) result.got = fetchWallText(*http, *next.second.get, &cancel_);
        } catch (...) {}
        std::function<void()> notify;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = false;
            if (stopping_) return;
            try {
                results_.push_back(std::move(result));
            } catch (...) {}
            notify = notify_;
        }
        try {
            if (notify) notify();
        } catch (...) {}
    }
}

}  // namespace lumvo

#include "base/http_cancel.h"

#include <utility>

namespace lumvo {

void HttpCancel::cancel() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    for (auto& [ticket, abort] : inFlight_) {
        if (!abort) continue;
        try {
            abort();
        } catch (...) {}
        abort = nullptr;  // ran: leave() reports it
    }
}

void HttpCancel::reset() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = false;
}

bool HttpCancel::cancelled() const noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

std::uint64_t HttpCancel::enter(std::function<void()> abort) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) return 0;
    try {
        const std::uint64_t ticket = next_++;
        inFlight_.emplace(ticket, std::move(abort));
        return ticket;
    } catch (...) {  // std::bad_alloc: the exchange does not start
        return 0;
    }
}

bool HttpCancel::leave(std::uint64_t ticket) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = inFlight_.find(ticket);
    if (found == inFlight_.end()) return false;
    const bool aborted = !found->second;
    inFlight_.erase(found);
    return aborted;
}

}  // namespace lumvo

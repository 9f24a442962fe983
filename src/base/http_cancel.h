#pragma once
// Lets one thread end the HTTP exchanges another thread is waiting in: the owner of a worker hands
// the same token to every request the worker makes (HttpOptions::cancel) and cancels it when it
// stops the worker. A client registers an abort for each exchange in flight (closing its handle);
// cancel() runs them all at once and refuses every later exchange until reset().
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace lumvo {

class HttpCancel {
public:
    HttpCancel() = default;
    HttpCancel(const HttpCancel&) = delete;
    HttpCancel& operator=(const HttpCancel&) = delete;

    // Runs the abort of every exchange in flight and refuses new ones.
    void cancel() noexcept;
    // Lets exchanges run again (when the worker starts anew).
    void reset() noexcept;
    bool cancelled() const noexcept;

    // For clients. Registers the abort of an exchange about to wait; 0 when the token is cancelled
    // already (the exchange must not start). The abort runs at most once, on the cancelling thread.
    std::uint64_t enter(std::function<void()> abort) noexcept;
    // Ends a registration; true when its abort ran (the client must not use what the abort closed).
    // Waits while cancel() is running the aborts, so an abort never outlives its exchange.
    bool leave(std::uint64_t ticket) noexcept;

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::uint64_t next_ = 1;
    std::map<std::uint64_t, std::function<void()>> inFlight_;
};

}  // namespace lumvo

#include "base/worker_thread.h"

#include <system_error>
#include <utility>

namespace lumvo {

std::thread WorkerThread::launchThread(std::function<void()> body) { return std::thread(std::move(body)); }

WorkerThread::~WorkerThread() {
    stop();
    // Only left attached when the owner is destroyed on the worker itself or a join failed: a
    // detached thread is better than std::terminate taking the host down.
    if (thread_.joinable()) thread_.detach();
}

WorkerThread::StartResult WorkerThread::start(std::function<void()> body) {
    if (running_.load()) return StartResult::alreadyRunning;
    // A worker that stopped itself is still attached: it has been told to stop, so join it first.
    if (thread_.joinable() && !joinAttached()) return StartResult::failed;
    if (running_.exchange(true)) return StartResult::alreadyRunning;
    auto guarded = [this, body = std::move(body)]() noexcept {
        workerId_.store(std::this_thread::get_id());
        try {
            body();
        } catch (...) {}
    };
    try {
        thread_ = launcher_(std::move(guarded));
    } catch (...) {
        thread_ = std::thread();
    }
    if (!thread_.joinable()) {
        running_.store(false);
        return StartResult::failed;
    }
    return StartResult::started;
}

bool WorkerThread::stop() {
    {
        // Cleared under the sleep lock so a worker between its check and its wait cannot miss it.
        std::lock_guard<std::mutex> lock(sleepMutex_);
        running_.store(false);
    }
    wake_.notify_all();
    // Checked before thread_ is looked at: the controlling thread may still be storing it.
    if (workerId_.load() == std::this_thread::get_id()) return false;
    if (!thread_.joinable()) return true;
    return joinAttached();
}

bool WorkerThread::joinAttached() {
    try {
        thread_.join();
        workerId_.store(std::thread::id());  // ids of ended threads may be handed out again
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

bool WorkerThread::sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(sleepMutex_);
    wake_.wait_for(lock, duration, [this] { return !running_.load(); });
    return running_.load();
}

}  // namespace lumvo

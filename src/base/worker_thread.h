#pragma once
// The plug-in's worker thread: started once per start of the effect, told to stop through one
// atomic flag, and always joined (or, as a last resort, detached) so that destroying its owner can
// never end the process. Failures are reported as results, never thrown.
//
// start() and stop() are meant for one controlling thread (the host's); the worker itself may
// call stop(), which then only clears the flag (a thread cannot join itself) and leaves the join
// to the next start(), stop() or the destructor.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lumvo {

class WorkerThread {
public:
    // Makes the thread. May throw std::system_error like std::thread does; start() catches it.
    using Launcher = std::thread (*)(std::function<void()> body);
    enum class StartResult { started, alreadyRunning, failed };

    explicit WorkerThread(Launcher launcher = launchThread) : launcher_(launcher) {}
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Replaces the way threads are made (for tests that need a launch to fail). Only while stopped.
    void setLauncher(Launcher launcher) { launcher_ = launcher; }

    // Sets the running flag and starts `body` on a new thread, unless the flag was already set.
    // When the thread cannot be made the flag is cleared again, so a later start can retry.
    // `body` must not throw; an exception leaving it is swallowed at the thread's top.
    StartResult start(std::function<void()> body);

    // Clears the flag, wakes the worker from sleepFor() and joins it. False when the join could not
    // happen (called on the worker itself, or the join failed); the thread is then joined later.
    bool stop();

    // The flag the worker checks once per pass.
    bool running() const { return running_.load(); }
    // Whether a thread is still attached (started and not yet joined).
    bool attached() const { return thread_.joinable(); }

    // For the worker: waits `duration` or until stop() is called; returns running().
    bool sleepFor(std::chrono::milliseconds duration);

    static std::thread launchThread(std::function<void()> body);

private:
    bool joinAttached();

    Launcher launcher_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<std::thread::id> workerId_{};  // set by the worker itself as it begins
    std::mutex sleepMutex_;
    std::condition_variable wake_;
};

}  // namespace lumvo

#pragma once
// The plug-in's link to the wall server: the worker thread (one per start of the effect) and the
// display state it mirrors from the server. The worker swaps a whole new state in under the
// display mutex; the render thread copies it out under the same lock. Neither holds the lock
// across network or file work.
#include <mutex>

#include "plugin/shared_settings.h"
#include "plugin/worker_thread.h"
#include "serverlink/display_state.h"

namespace lumvo {

class WallLink {
public:
    WallLink(std::mutex& displayMutex, SharedSettings& settings) : displayMutex_(displayMutex), settings_(settings) {}
    ~WallLink();
    WallLink(const WallLink&) = delete;
    WallLink& operator=(const WallLink&) = delete;

    // Starts the worker unless it runs already. Never throws.
    WorkerThread::StartResult start();
    // Tells the worker to stop and joins it; false when it could not be joined now (it is joined
    // by the next start, stop or the destructor).
    bool stop();
    bool running() const { return worker_.running(); }
    bool attached() const { return worker_.attached(); }
    // How worker threads are made (tests make a launch fail). Only while stopped.
    void setThreadLauncher(WorkerThread::Launcher launcher) { worker_.setLauncher(launcher); }

    // The current state, copied under the display mutex.
    void copyDisplay(DisplayState& out) const;
    // Swaps in a new state under the display mutex (the old one is freed after the lock is let go).
    void publish(DisplayState next);

private:
    void run();

    std::mutex& displayMutex_;
    SharedSettings& settings_;
    DisplayState display_;
    // Last, so that it is joined before anything it uses goes away.
    WorkerThread worker_;
};

}  // namespace lumvo

#pragma once
// The plug-in's link to the wall server: the worker thread (one per start of the effect), which
// launches the server and runs the display poll, and the display state it mirrors from the server.
// The worker swaps a whole new state in under the display mutex; the render thread copies it out
// under the same lock. Neither holds the lock across network or file work.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "media/photo_cache.h"
#include "settings/shared_settings.h"
#include "base/worker_thread.h"
#include "base/clock.h"
#include "serverlink/display_poll.h"
#include "documents/display_state.h"
#include "base/http_client.h"

namespace lumvo {

// Starting and stopping the wall server process (Windows in the plug-in, scripted in tests).
class ServerControl {
public:
    virtual ~ServerControl() = default;
    // (Re)starts the server when the wall files and Node.js are there.
    virtual void startServer() = 0;
    // Starts it unless one is running.
    virtual void ensureServer() = 0;
    // Asks it to shut down, ends it when it does not, and clears away any left-over server.
    virtual void stopServer() = 0;
};

// What the worker works with. Without an HTTP client the worker only waits to be stopped.
struct WallLinkServices {
    HttpClient* http = nullptr;
    Clock* clock = nullptr;
    ServerControl* server = nullptr;
    PhotoCache* photos = nullptr;
    DisplayPollHooks hooks;
};

class WallLink {
public:
    WallLink(std::mutex& displayMutex, SharedSettings& settings) : displayMutex_(displayMutex), settings_(settings) {}
    ~WallLink();
    WallLink(const WallLink&) = delete;
    WallLink& operator=(const WallLink&) = delete;

    // Hands over what the worker uses; only while it is stopped.
    void connect(WallLinkServices services) { services_ = std::move(services); }

    // Starts the worker unless it runs already: it launches the server (when the wall files are
    // there) and polls the display until stopped. Never throws.
    WorkerThread::StartResult start();
    // Tells the worker to stop, joins it and stops the server; false when the worker could not be
    // joined now (it is joined by the next start, stop or the destructor).
    bool stop();
    bool running() const { return worker_.running(); }
    bool attached() const { return worker_.attached(); }
    // How worker threads are made (tests make a launch fail). Only while stopped.
    void setThreadLauncher(WorkerThread::Launcher launcher) { worker_.setLauncher(launcher); }

    // The current state, copied under the display mutex.
    void copyDisplay(DisplayState& out) const;
    // Swaps in a new state under the display mutex (the old one is freed after the lock is let go).
    void publish(DisplayState next);
    // Counts the states published; the render thread copies only after it moved.
    std::uint64_t displayGeneration() const { return generation_.load(); }

private:
    void run();

    std::mutex& displayMutex_;
    SharedSettings& settings_;
    WallLinkServices services_;
    DisplayState display_;
    std::atomic<std::uint64_t> generation_{1};
    // Last, so that it is joined before anything it uses goes away.
    WorkerThread worker_;
};

}  // namespace lumvo

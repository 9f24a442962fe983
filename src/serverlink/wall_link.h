#pragma once
// The plug-in's link to the wall server: the worker thread (one per start of the effect), which
// launches the server and runs the display poll. The poll publishes every new display document it
// reads to the published display (documents/published_display.h), which the plug-in object owns
// and the overlay reads; the link never sees the overlay.
#include "base/clock.h"
#include "base/http_client.h"
#include "base/worker_thread.h"
#include "documents/published_display.h"
#include "media/photo_cache.h"
#include "serverlink/display_poll.h"
#include "settings/shared_settings.h"

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
    WallLink(PublishedDisplay& display, SharedSettings& settings) : display_(display), settings_(settings) {}
    ~WallLink();
    WallLink(const WallLink&) = delete;
    WallLink& operator=(const WallLink&) = delete;

    // Hands over what the worker uses; only while it is stopped.
    void connect(WallLinkServices services) { services_ = std::move(services); }

    // Starts the worker unless it runs already: it launches the server (when the wall files are
    // there) and polls the display until stopped. Never throws.
    WorkerThread::StartResult start();
    // Tells the worker to stop, ends the request it may be waiting in, joins it and stops the
    // server; false when the worker could not be joined now (it is joined by the next start, stop
    // or the destructor).
    bool stop();
    bool running() const { return worker_.running(); }
    bool attached() const { return worker_.attached(); }
    // How worker threads are made (tests make a launch fail). Only while stopped.
    void setThreadLauncher(WorkerThread::Launcher launcher) { worker_.setLauncher(launcher); }

private:
    void run();

    PublishedDisplay& display_;
    SharedSettings& settings_;
    WallLinkServices services_;
    // Handed to every request of the worker; stop() cancels it so that no exchange holds the join.
    HttpCancel cancel_;
    // Last, so that it is joined before anything it uses goes away.
    WorkerThread worker_;
};

}  // namespace lumvo

#include "serverlink/wall_link.h"

#include <chrono>

namespace lumvo {
namespace {
constexpr auto kPollPass = std::chrono::milliseconds(150);
}  // namespace

WallLink::~WallLink() {
    // Nothing may leave a destructor that the host's release reaches; the worker's own destructor
    // detaches a thread that still could not be joined.
    try {
        stop();
    } catch (...) {}
}

WorkerThread::StartResult WallLink::start() {
    try {
        if (worker_.running()) return WorkerThread::StartResult::alreadyRunning;
        // A worker left attached by a failed join is still cancelled: join it before letting
        // requests run again.
        if (worker_.attached() && !worker_.stop()) return WorkerThread::StartResult::failed;
        cancel_.reset();
        return worker_.start([this] { run(); });
    } catch (...) {
        return WorkerThread::StartResult::failed;
    }
}

bool WallLink::stop() {
    cancel_.cancel();
    const bool joined = worker_.stop();
    // The worker has let go of the server (or never had one): shut it down. Should the join have
    // failed, the worker may still be in a pass; the server is stopped all the same.
    if (services_.server) services_.server->stopServer();
    return joined;
}

void WallLink::run() {
    const StopAwareWait wait = [this](std::chrono::milliseconds d) { return worker_.sleepFor(d); };
    if (!services_.http || !services_.clock || !services_.photos) {
        while (wait(kPollPass)) {}
        return;
    }
    // The server is launched once per start (the launch itself prepares the wall folder and starts
    // nothing without the wall files); later launches come from the moderator window.
    if (services_.server) services_.server->startServer();
    DisplayPollHooks hooks = services_.hooks;
    hooks.cancel = &cancel_;
    DisplayPoll poll(display_, settings_, *services_.photos, *services_.http, *services_.clock, std::move(hooks));
    poll.run(wait);
}

}  // namespace lumvo

#include "serverlink/wall_link.h"

#include <chrono>
#include <utility>

namespace lumvo {
namespace {
constexpr auto kPollPass = std::chrono::milliseconds(150);
}  // namespace

WallLink::~WallLink() {
    // Nothing may leave a destructor that the host's release reaches; the worker's own destructor
    // detaches a thread that still could not be joined.
    try {
        stop();
    } catch (...) {
    }
}

WorkerThread::StartResult WallLink::start() {
    try {
        return worker_.start([this] { run(); });
    } catch (...) {
        return WorkerThread::StartResult::failed;
    }
}

bool WallLink::stop() {
    return worker_.stop();
    // The wall server is shut down here once the worker launches one.
}

void WallLink::copyDisplay(DisplayState& out) const {
    std::lock_guard<std::mutex> lock(displayMutex_);
    out = display_;
}

void WallLink::publish(DisplayState next) {
    {
        std::lock_guard<std::mutex> lock(displayMutex_);
        std::swap(display_, next);
    }
    // `next` now holds the old state and is freed here, outside the lock.
}

void WallLink::run() {
    // One pass every 150 ms until stop() clears the flag; stop() also cuts the sleep short. The
    // server launch and the display poll join this loop next.
    while (worker_.sleepFor(kPollPass)) {
    }
}

}  // namespace lumvo

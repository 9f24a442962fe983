#pragma once
// Time for the plug-in's loops (the display poll, retries) and, later, the overlay's animation,
// behind a seam: the plug-in runs on SteadyClock, native tests on a clock that only moves when
// told (tests/support/manual_clock.h), so a poll loop runs there without any real waiting.
#include <chrono>
#include <cstdint>
#include <functional>

namespace lumvo {

// A real wait that ends early when the worker is told to stop; answers whether the worker should
// go on. The plug-in's is its worker's: [&](std::chrono::milliseconds d) { return worker.sleepFor(d); }
using StopAwareWait = std::function<bool(std::chrono::milliseconds)>;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds from an arbitrary start.
    virtual std::uint64_t nowMs() const = 0;
    // The same in seconds, for animation (finer than a millisecond where the clock allows).
    virtual double nowSeconds() const { return static_cast<double>(nowMs()) / 1000.0; }
    // Lets `durationMs` pass on this clock, unless the worker is told to stop first (or already
    // was). `wait` is how the worker waits for real and learns of a stop. True when it should go on.
    virtual bool sleepFor(std::uint64_t durationMs, const StopAwareWait& wait) = 0;
};

// std::chrono::steady_clock; its sleep is `wait` itself, so a stop wakes it at once.
class SteadyClock final : public Clock {
public:
    std::uint64_t nowMs() const override;
    double nowSeconds() const override;
    bool sleepFor(std::uint64_t durationMs, const StopAwareWait& wait) override;
};

}  // namespace lumvo

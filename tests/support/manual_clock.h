#pragma once
// A clock for tests that moves only when told: advance(), or a sleep on it, which moves it to the
// sleep's end at once instead of waiting. A loop paced by it runs through its minutes of clock
// time in no real time, and stops as it would on the real clock: a sleep asks the worker's wait
// (with a zero duration) before and after moving the clock.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "base/clock.h"

namespace lumvo::test {

class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint64_t startMs = 0) : now_(startMs) {}

    std::uint64_t nowMs() const override { return now_.load(); }
    void advance(std::uint64_t ms) { now_ += ms; }

    bool sleepFor(std::uint64_t durationMs, const StopAwareWait& wait) override {
        if (!wait(std::chrono::milliseconds(0))) return false;
        advance(durationMs);
        return wait(std::chrono::milliseconds(0));
    }

private:
    std::atomic<std::uint64_t> now_;
};

}  // namespace lumvo::test

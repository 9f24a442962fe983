#include "base/clock.h"

#include <algorithm>

namespace lumvo {

std::uint64_t SteadyClock::nowMs() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

double SteadyClock::nowSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool SteadyClock::sleepFor(std::uint64_t durationMs, const StopAwareWait& wait) {
    // In pieces of at most an hour: a huge duration must not overflow the wait's deadline.
    constexpr std::uint64_t kPiece = 3'600'000;
    do {
        const std::uint64_t piece = std::min(durationMs, kPiece);
        if (!wait(std::chrono::milliseconds(static_cast<std::int64_t>(piece)))) return false;
        durationMs -= piece;
    } while (durationMs > 0);
    return true;
}

}  // namespace lumvo

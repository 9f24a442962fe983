#include "base/http_timeouts.h"

namespace lumvo {

HttpTimeouts requestTimeouts(int timeoutMs, bool longReceive) {
    if (timeoutMs >= 1) return {timeoutMs, timeoutMs, timeoutMs, timeoutMs};
    const int transfer = longReceive ? 20000 : 8000;
    return {8000, 8000, transfer, transfer};
}

int secureRequestTimeout(int timeoutMs) { return timeoutMs < 1 ? 8000 : timeoutMs; }

}  // namespace lumvo

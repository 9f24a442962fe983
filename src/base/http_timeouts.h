#pragma once
// The time-out rules of the HTTP client, kept apart from WinHTTP so they can be checked anywhere.
namespace lumvo {

// Milliseconds for the four phases of one request.
struct HttpTimeouts {
    int resolve = 0;
    int connect = 0;
    int send = 0;
    int receive = 0;
};

// The process-wide defaults set on the root handle once.
inline constexpr HttpTimeouts kHttpRootTimeouts{8000, 8000, 15000, 30000};

// One request's time-outs: timeoutMs for every phase when it is at least 1; otherwise 8 s, with
// send and receive raised to 20 s for a long receive (photo downloads).
HttpTimeouts requestTimeouts(int timeoutMs, bool longReceive);

// Requests to the maker's site never run with the defaults: a time-out below 1 becomes 8 s.
int secureRequestTimeout(int timeoutMs);

}  // namespace lumvo

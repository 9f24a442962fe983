#pragma once
// The moderator desk's requests to the wall server, off the window's thread: one thread of its own
// takes them in order from a queue and keeps what each got for the window, which is told through
// `notify` (on Windows a posted message) and takes the results on its own thread. So a server that
// stalls costs the window nothing but the wait for an answer that comes later.
//
// Every request carries one cancel token and short time-outs, so stop() (the window closing) ends
// the exchange in flight and returns within about a second even where the token cannot interrupt
// the system's wait. Nothing throws out of this class.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/http_cancel.h"
#include "base/http_client.h"
#include "moderator/post_actions.h"

namespace lumvo {

// The moderation document's polls wait this long for each stage; the desk's POSTs their own.
inline constexpr int kDeskPollTimeoutMs = 400;
inline constexpr int kDeskActionTimeoutMs = 750;
// A moderation document longer than this is refused (the poll fails).
inline constexpr std::size_t kModerationBodyCap = std::size_t{4} << 20;

// A GET of a text from the wall server (a help page): its body when the reply is a 2xx whose body
// came whole and within `maxBytes` (at least 1).
struct DeskGet {
    std::string path;
    std::size_t maxBytes = 1;
};

// One job: a request to send (if any), then a poll of the moderation document (if asked), then a
// GET (if any). `prepare`, when set, runs first on the desk's thread when the job's turn comes: the
// place for file work, and for a request made from the state as it is then (its answer, if any,
// replaces `request`). It must not throw.
struct DeskJob {
    std::optional<WallRequest> request;
    bool poll = false;
    std::optional<DeskGet> get;
    int timeoutMs = 0;  // the request's wait for each stage; 0: kDeskActionTimeoutMs
    std::function<std::optional<WallRequest>()> prepare;
};

// What a job got. `state` is the moderation document's body when the poll succeeded.
struct DeskResult {
    std::uint64_t ticket = 0;
    bool requestSent = false;
    bool requestOk = false;
    std::string reply;                 // the request's reply body
    bool polled = false;               // the moderation document was asked for
    std::optional<std::string> state;  // its body, when it came
    std::optional<std::string> got;    // the GET's body, when it came
};

// GET /api/state with the poll's time-outs and the body cap; nothing when it failed.
std::optional<std::string> fetchModeration(HttpClient& http, HttpCancel* cancel = nullptr);
// The GET of `get` with the POSTs' time-outs; nothing when it failed, answered other than 2xx, or
// its body was cut off or over the cap.
std::optional<std::string> fetchWallText(HttpClient& http, const DeskGet& get, HttpCancel* cancel = nullptr);

class DeskRequests {
public:
    DeskRequests() = default;
    ~DeskRequests() { stop(); }
    DeskRequests(const DeskRequests&) = delete;
    DeskRequests& operator=(const DeskRequests&) = delete;

    // Queues a job; its ticket, or 0 when it could not be queued (no client, the thread could not be
    // made, stopped). The thread is made on the first job after a (re)start.
    std::uint64_t submit(HttpClient* http, DeskJob job, std::function<void()> notify);
    // The results so far, oldest first (for the window's thread).
    std::vector<DeskResult> takeResults();
    // True while a job is queued or running, or a result waits to be taken.
    bool busy() const;

    // Cancels the exchange in flight, drops the queue and the results, and joins the thread. The
    // next submit starts anew.
    void stop() noexcept;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::uint64_t, DeskJob>> queue_;
    std::vector<DeskResult> results_;
    std::uint64_t nextTicket_ = 1;
    bool running_ = false;  // a job is being worked on
    bool stopping_ = false;
    HttpClient* http_ = nullptr;
    std::function<void()> notify_;
    HttpCancel cancel_;
    std::thread thread_;
};

}  // namespace lumvo

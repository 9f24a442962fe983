// The moderator desk's request thread: jobs run in order off the caller's thread and come back as
// results; stopping it ends an exchange that a stalled server would hold, at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "moderator/desk_requests.h"
#include "support/scripted_http_client.h"

namespace lumvo {
namespace {

using namespace std::chrono_literals;

// A server that accepts and never answers: every exchange waits until its cancel token ends it
// (or ten seconds pass), then fails.
class StalledClient final : public HttpClient {
public:
    HttpReply send(const HttpRequest& request) noexcept override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++started_;
        changed_.notify_all();
        bool aborted = false;
        const std::uint64_t ticket = request.options.cancel ? request.options.cancel->enter([&] {
            std::lock_guard<std::mutex> inner(abortMutex_);
            aborted = true;
            changed_.notify_all();
        })
                                                            : 0;
        if (ticket == 0 && request.options.cancel) return {};
        lock.unlock();
        {
            std::unique_lock<std::mutex> wait(abortMutex_);
            changed_.wait_for(wait, 10s, [&] { return aborted; });
        }
        if (ticket) request.options.cancel->leave(ticket);
        return {};
    }
    int started() {
        std::lock_guard<std::mutex> lock(mutex_);
        return started_;
    }
    bool waitForStart(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return started_ >= n; });
    }

private:
    std::mutex mutex_, abortMutex_;
    std::condition_variable_any changed_;
    int started_ = 0;
};

TEST(DeskRequests, JobsRunInOrderOffTheCallersThreadAndStopEndsAStalledExchangeAtOnce) {
    test::ScriptedHttpClient http;
    http.script("/api/block", {.body = "{}"});
    http.script("/api/state", {.body = "{\"pending\":[]}"});
    http.script("/api/next", {.status = 500, .body = "{}"});
    DeskRequests desk;
    std::atomic<int> notified{0};
    const auto notify = [&] { ++notified; };
    const std::uint64_t block =
        desk.submit(&http, {WallRequest{"POST", "/api/block", "{\"id\":\"p_1\"}"}, true}, notify);
    const std::uint64_t next = desk.submit(&http, {WallRequest{"POST", "/api/next", "{}"}, false}, notify);
    ASSERT_NE(block, 0u);
    ASSERT_NE(next, 0u);
    std::vector<DeskResult> results;
    for (int i = 0; i < 500 && results.size() < 2; ++i) {
        for (DeskResult& r : desk.takeResults()) results.push_back(std::move(r));
        if (results.size() < 2) std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].ticket, block);
    EXPECT_TRUE(results[0].requestOk);
    EXPECT_EQ(results[0].state, std::optional<std::string>("{\"pending\":[]}"));
    EXPECT_EQ(results[1].ticket, next);
    EXPECT_TRUE(results[1].requestSent);
    EXPECT_FALSE(results[1].requestOk) << "an error status is a failed action";
    EXPECT_FALSE(results[1].state.has_value()) << "no poll was asked for";
    EXPECT_EQ(notified.load(), 2);
    EXPECT_FALSE(desk.busy());
    const std::vector<HttpRequest> sent = http.requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].path, "/api/block");
    EXPECT_EQ(sent[1].path, "/api/state");
    EXPECT_EQ(sent[2].path, "/api/next");
    for (const HttpRequest& request : sent) {
        EXPECT_GE(request.options.timeoutMs, 1) << request.path << " would wait out the client's defaults";
        EXPECT_LE(request.options.timeoutMs, 1000) << request.path;
        EXPECT_NE(request.options.cancel, nullptr) << request.path << " cannot be cancelled";
    }

    // A server that never answers: the first job's exchange waits, three more queue behind it.
    StalledClient stalled;
    ASSERT_NE(desk.submit(&stalled, {std::nullopt, true}, notify), 0u);
    ASSERT_TRUE(stalled.waitForStart(1));
    for (int i = 0; i < 3; ++i) desk.submit(&stalled, {WallRequest{"POST", "/api/skip", "{}"}, true}, notify);
    EXPECT_TRUE(desk.busy());
    const auto before = std::chrono::steady_clock::now();
    desk.stop();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, 1s) << "stop waited for the stalled exchange";
    EXPECT_EQ(stalled.started(), 1) << "the queue ran on after stop";
    EXPECT_FALSE(desk.busy());
    EXPECT_TRUE(desk.takeResults().empty());

    // It starts again with the next job, its token no longer cancelled.
    http.script("/api/state", {.body = "{}"});
    ASSERT_NE(desk.submit(&http, {std::nullopt, true}, notify), 0u);
    for (int i = 0; i < 500 && desk.busy() && results.size() == 2; ++i) {
        for (DeskResult& r : desk.takeResults()) results.push_back(std::move(r));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[2].state, std::optional<std::string>("{}"));

    // A job's preparation runs on the desk's thread when its turn comes; the request it makes is
    // the one sent.
    http.script("/api/settings", {.body = "{}"});
    std::thread::id preparedOn;
    DeskJob prepared{WallRequest{"POST", "/api/skip", "{}"}};
    prepared.prepare = [&]() -> std::optional<WallRequest> {
        preparedOn = std::this_thread::get_id();
        return WallRequest{"POST", "/api/settings", "{\"theme\":\"club\"}"};
    };
    ASSERT_NE(desk.submit(&http, std::move(prepared), notify), 0u);
    for (int i = 0; i < 500 && results.size() == 3; ++i) {
        for (DeskResult& r : desk.takeResults()) results.push_back(std::move(r));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(results.size(), 4u);
    EXPECT_TRUE(results[3].requestOk);
    EXPECT_NE(preparedOn, std::this_thread::get_id());
    EXPECT_EQ(http.requests().back().path, "/api/settings");
}

// A help text asked of the wall server: the body only when a 2xx brought all of it within the
// cap; an error page, a cut-off body or one over the cap is no text (httpGet hands those over too).
TEST(DeskRequests, AGetBringsBackABodyOnlyWhenItCameWholeWithinItsCap) {
    test::ScriptedHttpClient http;
    http.script("/web/info/start.txt", {.body = "GETTING STARTED\n"});
    http.script("/web/info/vote.txt", {.status = 404, .body = "{\"error\":\"There is nothing here.\"}"});
    http.script("/web/info/tips.txt", {.body = std::string(64, 'x')});
    http.script("/web/info/help.txt",
                {.body = "HELP\nand more", .failure = test::ScriptedReply::Failure::midBody, .bytesBeforeCut = 5});
    DeskRequests desk;
    std::vector<std::uint64_t> tickets;
    for (const char* name : {"start", "vote", "tips", "help"}) {
        tickets.push_back(
            desk.submit(&http, {std::nullopt, false, DeskGet{"/web/info/" + std::string(name) + ".txt", 63}}, [] {}));
    }
    std::vector<DeskResult> results;
    for (int i = 0; i < 500 && results.size() < tickets.size(); ++i) {
        for (DeskResult& r : desk.takeResults()) results.push_back(std::move(r));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0].got, std::optional<std::string>("GETTING STARTED\n"));
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(results[i].ticket, tickets[i]);
        EXPECT_FALSE(results[i].got.has_value()) << http.requests()[i].path;
        EXPECT_FALSE(results[i].polled);
    }
    for (const HttpRequest& request : http.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_GE(request.options.timeoutMs, 1) << "the client's default time-outs would hold the desk";
        EXPECT_GE(request.options.totalMs, 1);
        EXPECT_NE(request.options.cancel, nullptr);
    }
}

}  // namespace
}  // namespace lumvo

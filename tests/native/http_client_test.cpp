// The portable half of the HTTP seam, driven through the scripted client: what counts as a
// success, the total, the body cap and the cancel token, the file sink's guarantees on disk when a download fails, and
// the steady clock's stop-aware sleep.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/worker_thread.h"
#include "base/clock.h"
#include "base/http_client.h"
#include "support/file_text.h"
#include "support/scripted_http_client.h"

namespace {

using namespace lumvo;
using lumvo::test::ScriptedHttpClient;
using lumvo::test::ScriptedReply;
using Failure = ScriptedReply::Failure;
namespace fs = std::filesystem;

// Against a real server (tests/windows/http_client_test.cpp): a 2xx, 204 and error reply with
// its body, a chunked reply, what a GET and a POST send, a whole download with its progress. Here,
// the replies a real server hardly gives on cue.
TEST(HttpExchange, OnlyA2xxReplyWithItsWholeBodyIsASuccessAndTheBodyIsKeptEitherWay) {
    const struct {
        const char* what;
        ScriptedReply reply;
        bool ok;
        std::string out;
    } cases[] = {
        {"2xx", {.body = "{\"v\":1}"}, true, "{\"v\":1}"},
        {"3xx", {.status = 302, .body = "moved"}, false, "moved"},
        {"no reply", {.failure = Failure::atSend}, false, ""},
        {"cut off mid-body", {.body = "0123456789", .failure = Failure::midBody, .bytesBeforeCut = 4}, false, "0123"},
        {"ended before its Content-Length", {.body = "0123", .contentLength = 100}, false, "0123"},
        {"more than its Content-Length", {.body = "0123456789", .contentLength = 4, .chunkBytes = 4}, false, "0123"},
    };
    for (const auto& c : cases) {
        ScriptedHttpClient http;
        http.script("/api/display", c.reply);
        std::string out = "stale";
        EXPECT_EQ(httpGet(http, "/api/display", out), c.ok) << c.what;
        EXPECT_EQ(out, c.out) << c.what;
    }
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

TEST(HttpExchange, ABodyPastItsTotalOrItsCapFailsWhetherOrNotItsLengthWasAnnounced) {
    // A trickle of 100 bytes over 2 s against a total of 200 ms: ended by the total, not the body.
    ScriptedHttpClient http;
    const ScriptedReply trickle{.body = std::string(100, 'x'), .chunkBytes = 1, .msPerChunk = 20};
    http.script("/uploads/a.jpg", trickle);
    std::string out;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(httpGet(http, "/uploads/a.jpg", out, {.totalMs = 200}));
    EXPECT_GE(msSince(start), 180);
    EXPECT_LT(msSince(start), 700);
    // The same trickle, short enough, within its total.
    http.script("/uploads/a.jpg", {.body = "xyz", .chunkBytes = 1, .msPerChunk = 20});
    EXPECT_TRUE(httpGet(http, "/uploads/a.jpg", out, {.totalMs = 1000}));

    const std::string kib(1024, 'k');
    const struct {
        const char* what;
        ScriptedReply reply;
        bool ok;
    } cases[] = {
        {"at the cap", {.body = kib}, true},
        {"over, announced", {.body = kib + "!"}, false},
        {"over, not announced", {.body = kib + "!", .contentLength = std::nullopt, .chunkBytes = 100}, false},
    };
    for (const auto& c : cases) {
        http.script("/api/display", c.reply);
        EXPECT_EQ(httpGet(http, "/api/display", out, {.maxBodyBytes = 1024}), c.ok) << c.what;
        EXPECT_LE(out.size(), 1024u) << c.what << ": kept past the cap";
    }
}

TEST(HttpExchange, ACancelledTokenEndsTheExchangeInFlightAndRefusesLaterOnesUntilReset) {
    ScriptedHttpClient http;
    HttpCancel cancel;
    http.script("/api/display", {.body = std::string(1000, 'x'), .chunkBytes = 1, .msPerChunk = 10});
    std::atomic<bool> ok{true};
    std::thread worker([&] {
        std::string out;
        ok = httpGet(http, "/api/display", out, {.cancel = &cancel});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    cancel.cancel();
    worker.join();
    EXPECT_LT(msSince(start), 200) << "the exchange went on after the cancel";
    EXPECT_FALSE(ok);

    http.script("/api/display", {.body = "{}"});
    std::string out;
    EXPECT_FALSE(httpGet(http, "/api/display", out, {.cancel = &cancel}));
    EXPECT_EQ(http.requests().size(), 1u) << "a cancelled token still sent a request";
    cancel.reset();
    EXPECT_TRUE(httpGet(http, "/api/display", out, {.cancel = &cancel}));
}

// A throw-away folder under the system's temp folder.
struct TempFolder {
    const fs::path path = fs::temp_directory_path() / ("lumvo-http-" + std::to_string(getpid()));
    TempFolder() { fs::remove_all(path), fs::create_directories(path); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path operator/(const char* name) const { return path / name; }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(path)) all.push_back(entry.path().filename().string());
        return all;
    }
};

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A download of `reply` into `file` through a FileSink whose progress callback gives up at its
// `stopAfterCalls`th call (never when negative).
bool download(const ScriptedReply& reply, const fs::path& file, int stopAfterCalls = -1) {
    ScriptedHttpClient http;
    http.script("/node.zip", reply);
    int calls = 0;
    FileSink sink(file, [&](std::uint64_t, std::optional<std::uint64_t>) { return ++calls != stopAfterCalls; });
    return httpExchange(http, {.path = "/node.zip"}, sink);
}

TEST(FileSink, AFailedDownloadLeavesThePreviousFileAndNoPartFile) {
    TempFolder folder;
    const fs::path file = folder / "update.zip";
    writeFile(file, "the previous version");
    const std::string zip(10000, 'z');
    const struct {
        const char* what;
        ScriptedReply reply;
        int stopAfterCalls;
    } cases[] = {
        {"cut off", {.body = zip, .failure = Failure::midBody, .bytesBeforeCut = 5000}, -1},
        {"ended early", {.body = zip.substr(0, 5000), .contentLength = zip.size()}, -1},
        {"given up by the progress callback", {.body = zip}, 2},
        {"error reply", {.status = 404, .body = "{\"error\":\"no such file\"}"}, -1},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(download(c.reply, file, c.stopAfterCalls)) << c.what;
        EXPECT_EQ(test::fileText(file), "the previous version") << c.what;
        EXPECT_EQ(folder.names(), std::vector<std::string>{"update.zip"}) << c.what;
    }

    // A progress callback that throws: the read fails and nothing escapes.
    ScriptedHttpClient http;
    http.script("/update.zip", {.body = zip});
    FileSink throwing(file, [](std::uint64_t received, auto) -> bool {
        if (received > 0) throw std::runtime_error("display gone");
        return true;
    });
    EXPECT_FALSE(httpExchange(http, {.path = "/update.zip"}, throwing));

    // A file that cannot be made fails the read before any byte.
    http.script("/update.zip", {.body = zip});
    FileSink nowhere(folder / "missing-folder/update.zip");
    EXPECT_FALSE(httpExchange(http, {.path = "/update.zip"}, nowhere));
}

TEST(Clock, ASteadySleepEndsAtOnceOnStop) {
    // The steady clock sleeps through the worker's wait, so stopping the worker ends even the
    // longest sleep (longer than any wait can be asked for in one piece) at once.
    WorkerThread worker;
    SteadyClock steady;
    std::atomic<int> outcome{-1};
    const StopAwareWait wait = [&](std::chrono::milliseconds d) { return worker.sleepFor(d); };
    ASSERT_EQ(worker.start([&] { outcome = steady.sleepFor(UINT64_MAX, wait); }), WorkerThread::StartResult::started);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(outcome, -1) << "the sleep ended without a stop";
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ(outcome, 0) << "a stopped sleep answers that the worker must not go on";
}

}  // namespace

// The portable half of the HTTP seam, driven through the scripted client: what counts as a
// success, what the one-line calls send, the file sink's guarantees on disk, and the steady clock's
// stop-aware sleep (the manual clock paces the display poll's tests).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/worker_thread.h"
#include "base/clock.h"
#include "base/http_client.h"
#include "support/manual_clock.h"
#include "support/scripted_http_client.h"

namespace {

using namespace lumvo;
using lumvo::test::ScriptedHttpClient;
using lumvo::test::ScriptedReply;
using Failure = ScriptedReply::Failure;
namespace fs = std::filesystem;

TEST(HttpExchange, OnlyA2xxReplyWithItsWholeBodyIsASuccessAndTheBodyIsKeptEitherWay) {
    const struct {
        const char* what;
        ScriptedReply reply;
        bool ok;
        std::string out;
    } cases[] = {
        {"2xx", {.body = "{\"v\":1}"}, true, "{\"v\":1}"},
        {"empty 2xx", {.status = 204}, true, ""},
        {"no Content-Length (chunked)",
         {.body = std::string(9000, 'c'), .contentLength = std::nullopt},
         true,
         std::string(9000, 'c')},
        {"error reply", {.status = 404, .body = "{\"error\":\"no such post\"}"}, false, "{\"error\":\"no such post\"}"},
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
    // A body is read once (an error reply's whole body is a whole body).
    std::string out;
    ScriptedHttpClient http;
    http.script("/uploads/a.jpg", {.status = 503, .body = "{\"error\":\"busy\"}"});
    HttpReply reply = http.send({.path = "/uploads/a.jpg"});
    MemorySink sink(out);
    EXPECT_TRUE(reply.readBody(sink));
    EXPECT_FALSE(reply.readBody(sink));
}

TEST(HttpExchange, TheOneLineCallsSendTheirBodyAndOnlyTheMakersSiteLosesTheDefaultTimeOuts) {
    ScriptedHttpClient http;
    std::string out;
    httpGet(http, "/p?x=1&y=%20", out, {.longReceive = true});
    httpPost(http, "/p", "", out);
    httpGetEx(http, "/p", out, {.host = "lumvo.example", .port = 443, .secure = true});
    httpPostEx(http, "/p", "{\"a\":1}", out, {.timeoutMs = 300});
    httpPostEx(http, "/p", "{}", out, {.timeoutMs = -5});

    const auto sent = http.requests();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0].request.method + " " + sent[0].request.path, "GET /p?x=1&y=%20");
    EXPECT_FALSE(sent[0].request.body.has_value()) << "a GET goes without a body, so without a content type";
    EXPECT_EQ(sent[1].request.method, "POST");
    EXPECT_EQ(sent[1].request.body, std::optional<std::string>("")) << "an empty body is still a body";
    std::vector<int> timeouts;
    for (const auto& r : sent) timeouts.push_back(r.request.options.timeoutMs);
    EXPECT_EQ(timeouts, (std::vector<int>{0, 0, 8000, 300, 8000}));
    EXPECT_TRUE(sent[2].request.options.secure);
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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

using Progress = std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>>;

// A download of `reply` into `file` through a FileSink; its result and every progress call.
std::pair<bool, Progress> download(const ScriptedReply& reply, const fs::path& file, int stopAfterCalls = -1) {
    ScriptedHttpClient http;
    http.script("/node.zip", reply);
    Progress calls;
    FileSink sink(file, [&](std::uint64_t received, std::optional<std::uint64_t> total) {
        calls.emplace_back(received, total);
        return static_cast<int>(calls.size()) != stopAfterCalls;
    });
    const bool ok = httpExchange(http, {.path = "/node.zip", .options = {.longReceive = true}}, sink);
    return {ok, calls};
}

TEST(FileSink, AWholeDownloadReplacesTheFileAndReportsItsProgress) {
    TempFolder folder;
    const fs::path file = folder / "node.zip";
    writeFile(file, "the previous version");
    std::string zip(10000, '\0');
    for (size_t i = 0; i < zip.size(); ++i) zip[i] = static_cast<char>(i * 7 + (i >> 5));

    const auto [ok, calls] = download({.body = zip}, file);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(readFile(file) == zip);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"node.zip"}) << "no part file is left";
    EXPECT_EQ(calls, (Progress{{0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}}));

    // Without a Content-Length the total is unknown; the bytes still count.
    const auto [chunkedOk, chunkedCalls] =
        download({.body = "abcdef", .contentLength = std::nullopt, .chunkBytes = 4}, file);
    EXPECT_TRUE(chunkedOk);
    EXPECT_EQ(readFile(file), "abcdef");
    EXPECT_EQ(chunkedCalls, (Progress{{0, std::nullopt}, {4, std::nullopt}, {6, std::nullopt}}));
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
        EXPECT_FALSE(download(c.reply, file, c.stopAfterCalls).first) << c.what;
        EXPECT_EQ(readFile(file), "the previous version") << c.what;
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

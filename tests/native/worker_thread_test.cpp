// The worker thread's contract with the plug-in: one worker per start, prompt stops, failures as
// results, and no path that leaves a joinable thread behind.
#include "base/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;
using lumvo::WorkerThread;
using Clock = std::chrono::steady_clock;
constexpr auto kStarted = WorkerThread::StartResult::started;

template <class Predicate>
bool eventually(Predicate predicate) {
    for (const auto end = Clock::now() + 5s; Clock::now() < end; std::this_thread::sleep_for(1ms)) {
        if (predicate()) return true;
    }
    return predicate();
}

// A worker body as the plug-in's: count the pass, sleep until told to stop, note the end.
auto sleeper(WorkerThread& worker, std::atomic<int>& bodies, std::atomic<bool>& finished) {
    return [&] {
        ++bodies;
        while (worker.sleepFor(30s)) {}
        finished = true;
    };
}

TEST(WorkerThread, StartsOneWorkerAndStopsItWithoutWaitingOutItsSleep) {
    std::atomic<int> bodies{0};
    std::atomic<bool> finished{false};
    WorkerThread worker;
    EXPECT_TRUE(worker.stop()) << "nothing to stop";
    EXPECT_EQ(worker.start(sleeper(worker, bodies, finished)), kStarted);
    EXPECT_EQ(worker.start(sleeper(worker, bodies, finished)), WorkerThread::StartResult::alreadyRunning);
    ASSERT_TRUE(eventually([&] { return bodies == 1; }));

    const auto before = Clock::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(Clock::now() - before, 2s);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.running());
    EXPECT_FALSE(worker.attached());

    // A start after a stop runs a fresh worker.
    EXPECT_EQ(worker.start(sleeper(worker, bodies, finished)), kStarted);
    EXPECT_TRUE(eventually([&] { return bodies == 2; }));
    EXPECT_TRUE(worker.stop());

    // A launcher that throws is the windows layer's (the plug-in's start fails quietly, the next
    // one retries); one that hands back no thread at all is a failure too.
    WorkerThread empty([](std::function<void()>) { return std::thread(); });
    EXPECT_EQ(empty.start([] {}), WorkerThread::StartResult::failed);
    EXPECT_FALSE(empty.running());
}

TEST(WorkerThread, AWorkerThatStopsItselfIsJoinedByTheNextStartOrStop) {
    std::atomic<int> selfStops{0};
    WorkerThread worker;
    auto stopsItself = [&] {
        if (!worker.stop()) ++selfStops;  // cannot join itself: reported, not thrown
    };
    ASSERT_EQ(worker.start(stopsItself), kStarted);
    ASSERT_TRUE(eventually([&] { return selfStops == 1; }));
    EXPECT_FALSE(worker.running());
    EXPECT_TRUE(worker.attached());

    ASSERT_EQ(worker.start(stopsItself), kStarted);
    ASSERT_TRUE(eventually([&] { return selfStops == 2; }));
    EXPECT_TRUE(worker.stop());
    EXPECT_FALSE(worker.attached());
}

// A destroyed owner joining its running worker is the windows layer's (the plug-in released while
// running).
TEST(WorkerThread, AThrowingBodyNeverEndsTheProcess) {
    WorkerThread worker;
    ASSERT_EQ(worker.start([] { throw std::runtime_error("worker failure"); }), kStarted);
    EXPECT_TRUE(worker.stop());
}

}  // namespace

// The worker thread's contract with the plug-in: one worker per start, prompt stops, failures as
// results, and no path that leaves a joinable thread behind.
#include "plugin/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>

namespace {

using namespace std::chrono_literals;
using lumvo::WorkerThread;
using Clock = std::chrono::steady_clock;

template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = 5s) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (predicate()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return predicate();
}

TEST(WorkerThread, StartsOneWorkerAndStopsItWithoutWaitingOutItsSleep) {
    std::atomic<int> bodies{0};
    std::atomic<bool> finished{false};
    WorkerThread worker;
    EXPECT_TRUE(worker.stop()) << "nothing to stop";
    auto body = [&] {
        ++bodies;
        while (worker.sleepFor(30s)) {
        }
        finished = true;
    };
    EXPECT_EQ(worker.start(body), WorkerThread::StartResult::started);
    EXPECT_EQ(worker.start(body), WorkerThread::StartResult::alreadyRunning);
    ASSERT_TRUE(eventually([&] { return bodies == 1; }));

    const auto before = Clock::now();
    EXPECT_TRUE(worker.stop());
    EXPECT_LT(Clock::now() - before, 2s);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.running());
    EXPECT_FALSE(worker.attached());
    EXPECT_EQ(bodies, 1);

    // A start after a stop runs a fresh worker.
    EXPECT_EQ(worker.start(body), WorkerThread::StartResult::started);
    EXPECT_TRUE(eventually([&] { return bodies == 2; }));
    EXPECT_TRUE(worker.stop());
}

std::atomic<int> launches{0};
std::thread failFirstLaunch(std::function<void()> body) {
    if (launches++ == 0) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
}
std::thread launchNothing(std::function<void()>) { return std::thread(); }

TEST(WorkerThread, AFailedLaunchIsReportedAndTheNextStartRetries) {
    launches = 0;
    std::atomic<int> bodies{0};
    WorkerThread worker(failFirstLaunch);
    auto body = [&] {
        ++bodies;
        while (worker.sleepFor(30s)) {
        }
    };
    EXPECT_EQ(worker.start(body), WorkerThread::StartResult::failed);
    EXPECT_FALSE(worker.running());
    EXPECT_FALSE(worker.attached());
    EXPECT_EQ(worker.start(body), WorkerThread::StartResult::started);
    EXPECT_TRUE(eventually([&] { return bodies == 1; }));
    EXPECT_TRUE(worker.stop());

    WorkerThread empty(launchNothing);
    EXPECT_EQ(empty.start([] {}), WorkerThread::StartResult::failed);
    EXPECT_FALSE(empty.running());
}

TEST(WorkerThread, AWorkerThatStopsItselfIsJoinedByTheNextStartOrStop) {
    std::atomic<int> selfStops{0};
    std::atomic<int> bodies{0};
    WorkerThread worker;
    auto stopsItself = [&] {
        ++bodies;
        if (!worker.stop()) ++selfStops;  // cannot join itself: reported, not thrown
    };
    ASSERT_EQ(worker.start(stopsItself), WorkerThread::StartResult::started);
    ASSERT_TRUE(eventually([&] { return selfStops == 1; }));
    EXPECT_FALSE(worker.running());
    EXPECT_TRUE(worker.attached());

    ASSERT_EQ(worker.start(stopsItself), WorkerThread::StartResult::started);
    ASSERT_TRUE(eventually([&] { return selfStops == 2; }));
    EXPECT_TRUE(worker.stop());
    EXPECT_FALSE(worker.attached());
    EXPECT_EQ(bodies, 2);
}

TEST(WorkerThread, AThrowingBodyOrADestroyedOwnerNeverEndsTheProcess) {
    {
        WorkerThread worker;
        ASSERT_EQ(worker.start([] { throw std::runtime_error("worker failure"); }), WorkerThread::StartResult::started);
        EXPECT_TRUE(worker.stop());
    }
    std::atomic<bool> finished{false};
    {
        WorkerThread worker;
        ASSERT_EQ(worker.start([&] {
                      while (worker.sleepFor(30s)) {
                      }
                      finished = true;
                  }),
                  WorkerThread::StartResult::started);
        // Destroyed while running: the destructor stops and joins.
    }
    EXPECT_TRUE(finished);
}

}  // namespace

// Short runs of the stand-in host with the real DLL: the plug-in starts the wall server (a fixture)
// and polls it at its pace without costing the host's CPU, and a host that ends without release
// takes the server with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/json.h"
#include "test_support.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;

TEST(StandinHost, ThePlugInPollsTheServerItStartedAtItsPaceAsksItToShutDownAndIdlesCheaply) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data, out;
    stageRollingFeed(data, false);
    const RunResult run =
        runStandinHost("--hidden --fps 10 --seconds 3 --idle-seconds 3 --print-state" + testVariantDll() + "--data \"" +
                           data.path() + "\" --out \"" + out.path() + "\"",
                       out);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    // The rolling feed (a post a second since the server started) and its photo post's picture.
    // (What the poll does with each reply is tested natively.)
    const std::string state = outputLine(run.output, "mirrored state: ");
    EXPECT_GE(lumvo::jsonGetNumber(state, "feed", -1), 3) << state;
    EXPECT_EQ(lumvo::jsonGetNumber(state, "photosCached", -1), 1) << state;

    // What the server saw: "<ms> <method> <path>" per request.
    std::vector<double> pollMs;
    int shutdowns = 0;
    std::istringstream log(readBytes(wallFolderUnder(data) + "\\requests.log"));
    for (std::string line; std::getline(log, line);) {
        double ms = 0;
        std::string method, path;
        std::istringstream(line) >> ms >> method >> path;
        if (path == "/api/display") pollMs.push_back(ms);
        shutdowns += method + " " + path == "POST /api/shutdown";
    }
    EXPECT_EQ(shutdowns, 1) << "the stop slot asks the server to shut down";
    ASSERT_GE(pollMs.size(), 20u) << run.output;
    const double mean = (pollMs.back() - pollMs.front()) / static_cast<double>(pollMs.size() - 1);
    std::printf(
        "measured: display poll under Wine (stand-in host, fixture server's request log): %zu polls, "
        "interval mean %.1f ms\n",
        pollMs.size(), mean);
    EXPECT_GE(mean, 145);  // 150 ms between passes, plus the pass
    EXPECT_LT(mean, 300);

    // The host's CPU time over 3 s without draw calls, before start and with the worker polling.
    auto cpuSeconds = [&](const std::string& prefix) {
        const std::string line = outputLine(run.output, prefix);
        const size_t at = line.find("process CPU ");
        return at == std::string::npos ? -1.0 : std::strtod(line.c_str() + at + 12, nullptr);
    };
    const double cpuBefore = cpuSeconds("idle: 3.0 s before start");
    const double cpuPolling = cpuSeconds("idle: 3.0 s after the frames");
    ASSERT_TRUE(cpuBefore >= 0 && cpuPolling >= 0) << run.output;
    std::printf(
        "measured: worker at idle under Wine: host process CPU %.3f s in 3 s while polling vs %.3f s before "
        "start (%.2f %% of one core for the worker)\n",
        cpuPolling, cpuBefore, 100.0 * (cpuPolling - cpuBefore) / 3.0);
    EXPECT_LT(cpuPolling - cpuBefore, 0.3) << "the worker costs more than 10 % of a core at idle";
}

TEST(StandinHost, AHostThatEndsWithoutReleaseTakesTheServerWithIt) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data;
    TempFolder out;
    // Neither shuts down nor follows the host process: only the job can end it.
    stageFixtureWall(data, "hung-server.js");
    bool up = false;
    DWORD server = 0;
    runStandinHost("--hidden --fps 10 --seconds 120 --data \"" + data.path() + "\" --out \"" + out.path() + "\"", out,
                   120000, [&](const PROCESS_INFORMATION& host) {
                       up = waitForWallServer() >= 0;
                       server = serverPidFile(data);
                       TerminateProcess(host.hProcess, 1);
                   });
    ASSERT_TRUE(up) << readBytes(out / "host-output.txt");
    ASSERT_NE(server, 0u);
    const bool ended = processEnds(server, 5000);
    if (!ended) terminateProcessById(server);
    EXPECT_TRUE(ended) << "the server outlived the host that started it";
}

}  // namespace

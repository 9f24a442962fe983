// A short run of the stand-in host against the real DLL: the frames it writes are real PNGs of the
// output size showing moving video, and its statistics count every frame it drew.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "serverlink/json.h"
#include "test_support.h"

namespace {

using namespace lumvo::test;

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs the stand-in host with `arguments`, its output going to a file in `scratch`; ends it after 120 s.
RunResult runStandinHost(const std::string& arguments, const TempFolder& scratch) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE log = CreateFileA((scratch / "host-output.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = log;
    std::string command(1, '"');
    command += programFolder() + "\\lumvo-standin-host.exe\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = log != INVALID_HANDLE_VALUE && CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                                                       0, nullptr, nullptr, &startup, &process);
    CloseHandle(log);
    if (!started) return result;
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = readBytes(scratch / "host-output.txt");
    return result;
}

TEST(StandinHost, AShortRunWritesDecodableFramesOfMovingVideoAndCountsEveryDraw) {
    TempFolder data;
    TempFolder out;
    ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    makeFolders(data / "LUMVO\\video-wall\\web\\brand");
    ASSERT_TRUE(writeTestPng(data / "LUMVO\\video-wall\\web\\brand\\lumvo-mark.png", 64, 64, {8, 8, 48, 48},
                             0xFFFF7A18));

    const RunResult run =
        runStandinHost("--hidden --frames 24 --fps 60 --bpm 128 --png-frames 1,24 --out \"" + out.path() + "\"", out);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    // The plug-in went through its whole life and answered every slot with success.
    for (const char* line : {"plug-in: load -> 0x00000000", "plug-in: start -> 0x00000000",
                             "plug-in: deviceInit -> 0x00000000", "plug-in: stop -> 0x00000000",
                             "plug-in: release -> 0", "flags 0x440010, with a bitmap",
                             "host: parameter 11 \"Open moderator\""}) {
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    }

    GdiplusSession gdiplus;
    Gdiplus::Bitmap first(lumvo::utf8ToWide(out / "frame-00001.png").c_str());
    Gdiplus::Bitmap last(lumvo::utf8ToWide(out / "frame-00024.png").c_str());
    ASSERT_EQ(first.GetLastStatus(), Gdiplus::Ok);
    ASSERT_EQ(last.GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(first.GetWidth(), 1920u);
    EXPECT_EQ(first.GetHeight(), 1080u);
    // The video moves: the bars have scrolled between the first and the last frame.
    int differing = 0;
    for (int x = 5; x < 1920; x += 40) {
        Gdiplus::Color a, b;
        first.GetPixel(x, 1000, &a);
        last.GetPixel(x, 1000, &b);
        differing += a.GetValue() != b.GetValue();
    }
    EXPECT_GT(differing, 0);

    const std::string stats = readBytes(out / "draw-stats.json");
    EXPECT_EQ(lumvo::jsonGetNumber(stats, "frames", -1), 24);
    EXPECT_EQ(lumvo::jsonGetNumber(stats, "count", -1), 24);
    const double p50 = lumvo::jsonGetNumber(stats, "p50", -1);
    const double p95 = lumvo::jsonGetNumber(stats, "p95", -1);
    const double max = lumvo::jsonGetNumber(stats, "max", -1);
    EXPECT_TRUE(0 <= p50 && p50 <= p95 && p95 <= max) << stats;
    std::printf("measured: stand-in host, 24 frames at 1920x1080: draw slot p50 %.4f ms, p95 %.4f ms, max %.4f ms\n",
                p50, p95, max);
}

TEST(StandinHost, BadOptionsAreRefusedWithTheUsage) {
    TempFolder scratch;
    const RunResult run = runStandinHost("--frames many", scratch);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("usage: lumvo-standin-host"), std::string::npos) << run.output;
}

}  // namespace

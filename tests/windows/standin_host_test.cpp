// Short runs of the stand-in host. Against the real DLL: the frames it writes are real PNGs of the
// output size showing moving video, the plug-in leaves the host's pipeline state alone, and the
// statistics hold the draw slot's times beside an empty draw's. Against a test effect that
// disturbs the pipeline state on purpose: the run fails and names every change.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

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

// A number inside one object of draw-stats.json ("drawMs", "emptyDrawMs", "drawToEmpty"); -1 when missing.
double statsNumber(const std::string& stats, const std::string& section, const std::string& key) {
    const size_t at = stats.find("\"" + section + "\"");
    return at == std::string::npos ? -1 : lumvo::jsonGetNumber(std::string_view(stats).substr(at), key, -1);
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
    // It left the host's pipeline state as it found it in every frame.
    for (const char* line : {"plug-in: load -> 0x00000000", "plug-in: start -> 0x00000000",
                             "plug-in: deviceInit -> 0x00000000", "plug-in: stop -> 0x00000000",
                             "plug-in: release -> 0", "flags 0x440010, with a bitmap",
                             "host: parameter 11 \"Open moderator\"",
                             "state check: 24 frames, the draw slot left the pipeline state unchanged"}) {
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

    // Both the draw slot and the empty draw were timed in every frame. Each time includes waiting
    // for the GPU, so neither can be zero.
    const std::string stats = readBytes(out / "draw-stats.json");
    EXPECT_EQ(lumvo::jsonGetNumber(stats, "frames", -1), 24);
    for (const char* section : {"drawMs", "emptyDrawMs"}) {
        const double p50 = statsNumber(stats, section, "p50");
        const double p95 = statsNumber(stats, section, "p95");
        EXPECT_EQ(statsNumber(stats, section, "count"), 24) << section;
        EXPECT_TRUE(0 < p50 && p50 <= p95 && p95 <= statsNumber(stats, section, "max")) << section << "\n" << stats;
    }
    const double draw50 = statsNumber(stats, "drawMs", "p50"), empty50 = statsNumber(stats, "emptyDrawMs", "p50");
    const double draw95 = statsNumber(stats, "drawMs", "p95"), empty95 = statsNumber(stats, "emptyDrawMs", "p95");
    EXPECT_NEAR(statsNumber(stats, "drawToEmpty", "p50"), draw50 / empty50, 1e-3 * draw50 / empty50) << stats;
    EXPECT_NEAR(statsNumber(stats, "drawToEmpty", "p95"), draw95 / empty95, 1e-3 * draw95 / empty95) << stats;
    std::printf("measured: stand-in host, 24 frames at 1920x1080: draw slot p50 %.4f ms, p95 %.4f ms; empty draw p50 "
                "%.4f ms, p95 %.4f ms\n",
                draw50, draw95, empty50, empty95);
}

TEST(StandinHost, AnEffectThatDisturbsThePipelineStateFailsTheRunAndEveryChangeIsNamed) {
    TempFolder out;
    const RunResult run = runStandinHost("--hidden --frames 10 --dll \"" + programFolder() +
                                             "\\misbehaving-effect.dll\" --out \"" + out.path() + "\"",
                                         out);
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    // Frames 1 and 10 put back everything they change; frames 2 to 9 each leave a fault behind
    // (frame 2 binds its own blend state with the default factor and mask).
    const std::vector<std::string> expected = {
        "frame 2: draw slot changed the blend state",
        "frame 2: draw slot changed the blend factor",
        "frame 2: draw slot changed the sample mask",
        "frame 3: draw slot changed the rasterizer state",
        "frame 4: draw slot changed the viewports",
        "frame 5: draw slot changed the pixel shader's resource view in slot 0",
        "frame 6: draw slot changed the blend factor",
        "frame 7: draw slot changed the vertex offset in slot 0",
        "frame 8: draw slot changed the render target view in slot 0",
        "frame 8: draw slot changed the depth-stencil view",
        "frame 9: draw slot changed the geometry shader",
    };
    std::vector<std::string> reported;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("frame ", 0) == 0) reported.push_back(line);
    }
    EXPECT_EQ(reported, expected) << run.output;
    EXPECT_NE(run.output.find("state check: 8 of 10 frames changed the pipeline state"), std::string::npos)
        << run.output;

    // Its full-frame passes are GPU work done inside its draw slot, so they count against the empty draw.
    const std::string stats = readBytes(out / "draw-stats.json");
    EXPECT_GT(statsNumber(stats, "drawToEmpty", "p50"), 2.0) << stats;
}

TEST(StandinHost, BadOptionsAreRefusedWithTheUsage) {
    TempFolder scratch;
    const RunResult run = runStandinHost("--frames many", scratch);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("usage: lumvo-standin-host"), std::string::npos) << run.output;
}

}  // namespace

#pragma once
// Helpers for the Windows tests that run a wall server on 127.0.0.1:8787: the repo's wall files or
// a fixture (tests/windows/fixtures/) staged as the wall files under a test LOCALAPPDATA, the
// server's pid file, HTTP calls to it, processes started or watched by id, and the stand-in host
// run with its exit code and output.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "base/http_client.h"
#include "base/json.h"
#include "base/win/win_http_client.h"
#include "test_support.h"

namespace lumvo::test {

// A file or folder of the repository (the build's source folder, seen through Wine's Z: drive).
inline std::string repoPath(const std::string& relative) {
    std::string path = std::string("Z:") + LUMVO_SOURCE_DIR + "/" + relative;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

inline std::string wallFolderUnder(const TempFolder& data) { return data / "LUMVO\\video-wall"; }

// The repo's wall files (server.js, its modules, the web pages) as the plug-in finds them.
inline void stageRealWall(const TempFolder& data) {
    namespace fs = std::filesystem;
    const std::string wall = wallFolderUnder(data);
    makeFolders(wall + "\\server");
    const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
    fs::copy(repoPath("wall/server/server.js"), wall + "\\server\\server.js", options);
    fs::copy(repoPath("wall/server/package.json"), wall + "\\server\\package.json", options);
    fs::copy(repoPath("wall/server/src"), wall + "\\server\\src", options);
    fs::copy(repoPath("wall/web"), wall + "\\web", options);
}

// A fixture script as the wall's server.js, with a guest page beside it.
inline void stageFixtureWall(const TempFolder& data, const std::string& fixture) {
    const std::string wall = wallFolderUnder(data);
    makeFolders(wall + "\\server");
    makeFolders(wall + "\\web");
    writeBytes(wall + "\\server\\server.js", readBytes(repoPath("tests/windows/fixtures/" + fixture)));
    writeBytes(wall + "\\web\\index.html", "<!doctype html><title>guest</title>");
}

// The wall files as the feed fixture with a guest photo, in `data`; `switchedOff` writes a
// layout.ini that switches the wall off.
inline void stageRollingFeed(const TempFolder& data, bool switchedOff) {
    stageFixtureWall(data, "feed-server.js");
    makeFolders(wallFolderUnder(data) + "\\photos");
    writeBytes(wallFolderUnder(data) + "\\photos\\guest.png", readBytes(repoPath("wall/web/brand/lumvo-mark.png")));
    if (switchedOff) writeBytes(wallFolderUnder(data) + "\\layout.ini", "enable=0\n");
}

// The pid in the wall folder's server.pid; 0 when there is none.
inline DWORD serverPidFile(const TempFolder& data) {
    return static_cast<DWORD>(std::strtoul(readBytes(wallFolderUnder(data) + "\\server.pid").c_str(), nullptr, 10));
}

// GET or POST on the wall server with a 1 s time-out; the reply's body, empty on any failure.
inline std::string wallGet(const std::string& path) {
    WinHttpClient http;
    std::string body;
    HttpOptions options;
    options.timeoutMs = 1000;
    return httpGet(http, path, body, options) ? body : std::string();
}
inline std::string wallPost(const std::string& path, const std::string& json) {
    WinHttpClient http;
    std::string body;
    HttpOptions options;
    options.timeoutMs = 3000;
    return httpPost(http, path, json, body, options) ? body : std::string();
}

// Waits up to `seconds` for GET /api/display to answer; the milliseconds it took, or -1.
inline double waitForWallServer(int seconds = 40) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
        if (!wallGet("/api/display").empty()) {
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

// Whether process `pid` has ended within `waitMs` (a process that cannot be opened has).
inline bool processEnds(DWORD pid, DWORD waitMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;
    const bool ended = WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

inline void terminateProcessById(DWORD pid) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// Starts `command` hidden; the process handle, owned by the caller, or null.
inline HANDLE startProgram(std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Arguments that make the stand-in host load the test variant of the DLL, the one with the
// test-only LumvoMirroredState that --print-state and --by-repaint read.
inline std::string testVariantDll() {
    return " --dll \"" + programFolder() + "\\test-variant\\LUMVO Video Wall.dll\" ";
}

// Runs the stand-in host with `arguments`, its output going to a file in `scratch`; ends it after
// `timeoutMs`. `whileRunning`, when given, is called with the started process before the wait.
inline RunResult runStandinHost(const std::string& arguments, const TempFolder& scratch, DWORD timeoutMs = 120000,
                                const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = {}) {
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
    if (whileRunning) whileRunning(process);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = readBytes(scratch / "host-output.txt");
    return result;
}

// The line of the host's output that starts with `prefix`, without it; empty when none.
inline std::string outputLine(const std::string& output, const std::string& prefix, size_t from = 0) {
    const size_t at = output.find(prefix, from);
    if (at == std::string::npos) return {};
    const size_t end = output.find('\n', at);
    return output.substr(at + prefix.size(), end == std::string::npos ? std::string::npos : end - at - prefix.size());
}

}  // namespace lumvo::test

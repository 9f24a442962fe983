#pragma once
// Helpers for the Windows tests that run a wall server on 127.0.0.1:8787: the repo's wall files or
// a fixture (tests/windows/fixtures/) staged as the wall files under a test LOCALAPPDATA, the
// server's pid file, HTTP calls to it, and processes started or watched by id.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "base/http_client.h"
#include "base/json.h"
#include "serverlink/win/win_http_client.h"
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

// Starts `command` hidden, its output going to `logPath` (or nowhere); the process handle, owned
// by the caller, or null.
inline HANDLE startProgram(std::string command, const std::string& logPath = {}) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE log = logPath.empty() ? INVALID_HANDLE_VALUE
                                 : CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (log != INVALID_HANDLE_VALUE) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = log;
    }
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE, 0,
                                        nullptr, nullptr, &startup, &process);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    if (!started) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace lumvo::test

#pragma once
// Running the stand-in host from the Windows tests: its exit code and output, the numbers of its
// draw-stats.json, the lines it printed.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/json.h"
#include "test_support.h"

namespace lumvo::test {

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

// A number inside one object of draw-stats.json ("drawMs", "emptyDrawMs", "drawToEmpty"); -1 when missing.
inline double statsNumber(const std::string& stats, const std::string& section, const std::string& key) {
    const size_t at = stats.find("\"" + section + "\"");
    return at == std::string::npos ? -1 : lumvo::jsonGetNumber(std::string_view(stats).substr(at), key, -1);
}

// The line of the host's output that starts with `prefix`, without it; empty when none.
inline std::string outputLine(const std::string& output, const std::string& prefix, size_t from = 0) {
    const size_t at = output.find(prefix, from);
    if (at == std::string::npos) return {};
    const size_t end = output.find('\n', at);
    return output.substr(at + prefix.size(), end == std::string::npos ? std::string::npos : end - at - prefix.size());
}

}  // namespace lumvo::test

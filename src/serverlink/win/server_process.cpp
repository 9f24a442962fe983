#include "serverlink/win/server_process.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <shlobj.h>

#include <cstdio>

#include "base/win/data_folders.h"

namespace lumvo {
namespace {

constexpr DWORD kOpenRights = PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;

bool isFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string pidFilePath() { return wallFolder() + "\\server.pid"; }

// An unnamed job whose only limit ends its processes when its last handle closes; null when the
// system refuses (the server then runs without it).
HANDLE makeKillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

}  // namespace

std::vector<TcpListenerRow> WinProcessTable::tcpListeners() {
    std::vector<TcpListenerRow> rows;
    std::vector<unsigned char> buffer;
    DWORD size = 0;
    // The table can grow between the size query and the read: ask again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, AF_INET,
                                                 TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size);
            continue;
        }
        if (result != NO_ERROR || buffer.empty()) return rows;
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            rows.push_back({table->table[i].dwLocalPort, table->table[i].dwOwningPid});
        }
        return rows;
    }
    return rows;
}

std::optional<std::string> WinProcessTable::imagePath(std::uint32_t pid) {
    HANDLE process = OpenProcess(kOpenRights, FALSE, pid);
    if (!process) return std::nullopt;
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    const BOOL ok = QueryFullProcessImageNameA(process, 0, path, &size);
    CloseHandle(process);
    if (!ok) return std::nullopt;
    return std::string(path, size);
}

void WinProcessTable::terminate(std::uint32_t pid, int waitMs) {
    HANDLE process = OpenProcess(kOpenRights, FALSE, pid);
    if (!process) return;
    if (TerminateProcess(process, 0)) WaitForSingleObject(process, waitMs > 0 ? static_cast<DWORD>(waitMs) : 0);
    CloseHandle(process);
}

std::string findNode() {
    // The ANSI form of the shell's folder, as the ANSI process calls take it.
    char appData[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, appData) == S_OK) {
        const std::string privateRuntime = std::string(appData) + "\\LUMVO\\runtime\\node\\node.exe";
        if (isFile(privateRuntime)) return privateRuntime;
    }
    char found[MAX_PATH] = {};
    const DWORD n = SearchPathA(nullptr, "node.exe", nullptr, MAX_PATH, found, nullptr);
    if (n > 0 && n < MAX_PATH && isFile(found)) return std::string(found, n);
    for (const char* installed : {"C:\\Program Files\\nodejs\\node.exe", "C:\\Program Files (x86)\\nodejs\\node.exe"}) {
        if (isFile(installed)) return installed;
    }
    return {};
}

void killStaleServer() {
    const std::string pidFile = pidFilePath();
    unsigned int pid = 0;
    if (FILE* file = std::fopen(pidFile.c_str(), "rb")) {
        if (std::fscanf(file, "%u", &pid) != 1) pid = 0;
        std::fclose(file);
    }
    WinProcessTable processes;
    killStaleServers(processes, pid, GetCurrentProcessId(), kWallServerPort);
    DeleteFileA(pidFile.c_str());
}

ServerProcess::~ServerProcess() {
    // No lock: nobody else may call in while the owner is destroyed.
    if (process_) CloseHandle(process_);
    if (job_) CloseHandle(job_);
}

void ServerProcess::startServer() {
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        startLocked();
    } catch (...) {
        // A failed start leaves the poll waiting; the next start or ensure tries again.
    }
}

void ServerProcess::ensureServer() {
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!process_ || WaitForSingleObject(process_, 0) != WAIT_TIMEOUT) startLocked();
    } catch (...) {}
}

void ServerProcess::stopServer() {
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        stopLocked();
    } catch (...) {}
}

std::uint32_t ServerProcess::serverPid() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return process_ ? GetProcessId(process_) : 0;
}

void ServerProcess::startLocked() {
    if (process_) {
        stopLocked();
    } else {
        killStaleServer();
    }
    if (beforeLaunch_) beforeLaunch_();
    ensureDataFolders();
    if (!job_) job_ = makeKillOnCloseJob();
    if (!wallFilesPresent()) return;
    const std::string node = findNode();
    if (node.empty()) return;

    const std::string serverFolder = wallFolder() + "\\server";
    std::string command =
        "\"" + node + "\" \"" + serverFolder + "\\server.js\" " + std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // Suspended until it is in the job, so not even its first instruction runs outside it.
    if (!CreateProcessA(node.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, serverFolder.c_str(), &startup, &created)) {
        return;
    }
    if (job_) AssignProcessToJobObject(job_, created.hProcess);
    ResumeThread(created.hThread);
    CloseHandle(created.hThread);
    process_ = created.hProcess;

    if (FILE* file = std::fopen(pidFilePath().c_str(), "wb")) {
        std::fprintf(file, "%u\n", static_cast<unsigned int>(created.dwProcessId));
        std::fclose(file);
    }
}

void ServerProcess::stopLocked() {
    if (process_) {
        std::string reply;
        HttpOptions options;
        options.timeoutMs = kShutdownRequestMs;
        httpPost(http_, "/api/shutdown", "{}", reply, options);
        if (WaitForSingleObject(process_, kShutdownExitWaitMs) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 0);
            WaitForSingleObject(process_, kTerminateWaitMs);
        }
        CloseHandle(process_);
        process_ = nullptr;
    }
    killStaleServer();
}

}  // namespace lumvo

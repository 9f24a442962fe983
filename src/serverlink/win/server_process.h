#pragma once
// The wall server as a Windows process. ServerProcess finds Node.js, starts server.js hidden and
// suspended, puts it in a job object that ends it when the plug-in's process ends (even without a
// release), asks it to shut down and ends it when it does not, and clears away a server left over
// from an earlier run. WinProcessTable is the system's side of the stale-server rule
// (serverlink/stale_server.h), which decides which processes may be ended.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/http_client.h"
#include "serverlink/stale_server.h"
#include "serverlink/wall_link.h"

namespace lumvo {

// The POST /api/shutdown time-out, the wait for the server to exit after it, and the wait after
// TerminateProcess: a server that hangs costs the caller about a second, never more.
inline constexpr int kShutdownRequestMs = 400;
inline constexpr DWORD kShutdownExitWaitMs = 400;
inline constexpr DWORD kTerminateWaitMs = 200;

class WinProcessTable final : public ProcessTable {
public:
    // GetExtendedTcpTable, IPv4 listeners with their owners (Wine 8 reports every owner as 0).
    std::vector<TcpListenerRow> tcpListeners() override;
    std::optional<std::string> imagePath(std::uint32_t pid) override;
    void terminate(std::uint32_t pid, int waitMs) override;
};

// The Node.js to run the server with (ANSI path), the first that exists of: the plug-in's private
// runtime <local app data>\LUMVO\runtime\node\node.exe, node.exe on the search path,
// C:\Program Files\nodejs\node.exe, C:\Program Files (x86)\nodejs\node.exe; empty when none.
std::string findNode();

// Ends the server named by <wall folder>\server.pid and any node.exe listening on the wall's port
// (never our own process), then deletes the pid file.
void killStaleServer();

// One per plug-in object; the three calls are serialised (the worker's launch and the moderator
// window's may race). None throws.
class ServerProcess final : public ServerControl {
public:
    // `http` carries the shutdown request; it must outlive this object.
    explicit ServerProcess(HttpClient& http) : http_(http) {}
    // Closes the job: whatever still runs in it ends.
    ~ServerProcess() override;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Stops the server we hold (or clears away a stale one), then starts
    // "<node>" "<wall folder>\server\server.js" <our pid> in <wall folder>\server, and writes its
    // pid to <wall folder>\server.pid. Without the wall files (after the launch's preparation) or
    // Node.js it starts nothing.
    void startServer() override;
    // Starts the server when we hold none or ours has ended.
    void ensureServer() override;
    // Asks ours to shut down, waits, ends it if it still runs; then always killStaleServer().
    void stopServer() override;

    // Runs before every launch, ahead of the check for the wall files (the plug-in prepares the wall
    // folder there). Set once, before the first start.
    void setBeforeLaunch(std::function<void()> prepare) { beforeLaunch_ = std::move(prepare); }

    // The id of the server process we hold, 0 when none.
    std::uint32_t serverPid() const;

private:
    void startLocked();
    void stopLocked();

    HttpClient& http_;
    std::function<void()> beforeLaunch_;
    mutable std::mutex mutex_;
    HANDLE job_ = nullptr;      // made on the first start, closed by the destructor
    HANDLE process_ = nullptr;  // the server we started
};

}  // namespace lumvo

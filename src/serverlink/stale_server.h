#pragma once
// Clearing away a wall server left over from an earlier run: the one named by server.pid and
// whoever listens on the wall's port, but only when it is a node.exe and never the host itself.
// The decisions are here; the Windows calls sit behind ProcessTable (serverlink/win/).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumvo {

// One row of the system's table of listening IPv4 TCP endpoints, as the system gives it: the port
// in network byte order in the low 16 bits of localPort.
struct TcpListenerRow {
    std::uint32_t localPort = 0;
    std::uint32_t ownerPid = 0;
};

// The owners of the rows that listen on `port`, in table order.
std::vector<std::uint32_t> portOwners(std::span<const TcpListenerRow> rows, std::uint16_t port);

// Whether an image path names node.exe (any case, at least 8 characters).
bool isNodeImage(std::string_view imagePath);

class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    virtual std::vector<TcpListenerRow> tcpListeners() = 0;
    // The full image path of a process we may end; nothing when it cannot be opened or queried.
    virtual std::optional<std::string> imagePath(std::uint32_t pid) = 0;
    // Ends the process (exit code 0) and waits up to `waitMs` for it to go.
    virtual void terminate(std::uint32_t pid, int waitMs) = 0;
};

// Ends process `pid` when it is a node.exe other than ourselves (0 and `ownPid` are never touched).
// True when it was ended.
bool killNodeProcess(ProcessTable& processes, std::uint32_t pid, std::uint32_t ownPid);
// The pid file's server, then every node.exe listening on `port`.
void killStaleServers(ProcessTable& processes, std::uint32_t pidFromFile, std::uint32_t ownPid, std::uint16_t port);

}  // namespace lumvo

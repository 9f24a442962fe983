#include "serverlink/stale_server.h"

namespace lumvo {

std::vector<std::uint32_t> portOwners(std::span<const TcpListenerRow> rows, std::uint16_t port) {
    // The port as the table holds it: network byte order (big-endian) in the low 16 bits.
    const std::uint32_t wanted = static_cast<std::uint32_t>((port >> 8) | ((port & 0xFF) << 8));
    std::vector<std::uint32_t> owners;
    for (const TcpListenerRow& row : rows) {
        if ((row.localPort & 0xFFFF) == wanted) owners.push_back(row.ownerPid);
    }
    return owners;
}

bool isNodeImage(std::string_view imagePath) {
    if (imagePath.size() < 8) return false;
    std::string tail(imagePath.substr(imagePath.size() - 8));
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return tail == "node.exe";
}

bool killNodeProcess(ProcessTable& processes, std::uint32_t pid, std::uint32_t ownPid) {
    if (pid == 0 || pid == ownPid) return false;
    const std::optional<std::string> image = processes.imagePath(pid);
    if (!image || !isNodeImage(*image)) return false;
    processes.terminate(pid, 400);
    return true;
}

void killStaleServers(ProcessTable& processes, std::uint32_t pidFromFile, std::uint32_t ownPid, std::uint16_t port) {
    killNodeProcess(processes, pidFromFile, ownPid);
    const std::vector<TcpListenerRow> rows = processes.tcpListeners();
    for (const std::uint32_t owner : portOwners(rows, port)) killNodeProcess(processes, owner, ownPid);
}

}  // namespace lumvo

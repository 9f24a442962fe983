#include "process_resources.h"

#include <windows.h>
#include <winternl.h>
#include <psapi.h>

#include <vector>

namespace standin {
namespace {

// One cell of the GDI handle table (PEB offset 0xF8 on x64), the layout Windows and Wine share:
// the owner's process id at offset 8, the object type at offset 14 (0: a free cell), and the
// stock-object flag in the top bit of the upper word.
struct GdiCell {
    std::uint64_t kernelAddress;
    std::uint16_t processId;
    std::uint16_t count;
    std::uint16_t upper;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t userAddress;
};
static_assert(sizeof(GdiCell) == 24);
constexpr size_t kGdiCells = 0x10000;

long gdiTableCount() {
    // GCC 12 takes the gs-relative read inside NtCurrentTeb for an out-of-bounds array access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    const auto* peb = reinterpret_cast<const unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
    const auto* table = *reinterpret_cast<const GdiCell* const*>(peb + 0xF8);
    if (!table) return -1;
    const auto pid = static_cast<std::uint16_t>(GetCurrentProcessId());
    long count = 0;
    for (size_t i = 0; i < kGdiCells; ++i) {
        const GdiCell& cell = table[i];
        if (cell.type != 0 && !(cell.upper & 0x80) && (cell.processId == pid || cell.processId == 0)) ++count;
    }
    return count;
}

// SystemHandleInformation (16): a count, then one 24-byte row per handle with the owner's pid first.
struct HandleRow {
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT handle;
    PVOID object;
    ULONG access;
};

long systemHandleCount() {
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const ULONG rows = *reinterpret_cast<const ULONG*>(buffer.data());
            const auto* row = reinterpret_cast<const HandleRow*>(buffer.data() + sizeof(ULONG_PTR));
            long mine = 0;
            for (ULONG i = 0; i < rows; ++i) mine += row[i].ownerPid == GetCurrentProcessId();
            return mine;
        }
        buffer.resize(buffer.size() * 4);
    }
    return -1;
}

}  // namespace

ProcessResources sampleProcessResources() {
    ProcessResources r;
    r.gdiObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    if (r.gdiObjects == 0) r.gdiObjects = gdiTableCount();
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        r.handles = static_cast<long>(handles);
    } else {
        r.handles = systemHandleCount();
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        r.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    }
    return r;
}

}  // namespace standin

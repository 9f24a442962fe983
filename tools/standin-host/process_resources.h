#pragma once
// What this process holds, for the soak runs: GDI objects, kernel handles and private bytes. Wine
// answers the usual calls with 0 (GetGuiResources and GetProcessHandleCount are stubs there,
// PrivateUsage is not filled in), so each count falls back to what Wine does keep: the GDI handle
// table in the process environment block, the system handle list, and the commit charge
// (PagefileUsage, which is the private bytes on Windows too).
#include <cstdint>

namespace standin {

struct ProcessResources {
    long gdiObjects = -1;  // -1: could not be counted
    long handles = -1;
    std::uint64_t privateBytes = 0;
};

ProcessResources sampleProcessResources();

}  // namespace standin

#pragma once
// How the unpack folders on disk tell a link: every reparse point (a symbolic link, a junction) is a
// link, removed itself and never entered. The standard library on Windows sees no junctions.
#include <filesystem>

namespace lumvo {

// The LinkTest of updates/package_rules.h for Windows.
bool isReparsePoint(const std::filesystem::path& entry);

}  // namespace lumvo

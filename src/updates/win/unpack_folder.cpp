#include "updates/win/unpack_folder.h"

#include <windows.h>

#include <filesystem>

#include "base/win/wide_text.h"
#include "updates/package_rules.h"

namespace lumvo {
namespace {

bool isReparsePoint(const std::filesystem::path& entry) {
    const DWORD attributes = GetFileAttributesW(entry.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::filesystem::path widePath(const std::string& utf8) { return std::filesystem::path(utf8ToWide(utf8)); }

}  // namespace

bool emptyUnpackFolder(const std::string& folder) { return emptyFolder(widePath(folder), isReparsePoint); }

std::optional<std::string> findUnpackedPackageRoot(const std::string& folder) {
    std::optional<std::string> root = findPackageRoot(listPackageFiles(widePath(folder), isReparsePoint));
    if (!root) return std::nullopt;
    std::string full = folder;
    if (!root->empty()) full += "\\" + *root;
    for (char& c : full) {
        if (c == '/') c = '\\';
    }
    return full;
}

}  // namespace lumvo

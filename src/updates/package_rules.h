#pragma once
// The rules for unpacking an update package or the Node.js archive and copying it into place,
// decided without a Windows call: which folder of an unpacked package is the wall files' root,
// which names the copy never writes, and the unpack folder emptied before every unpack.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

// Folders of an unpacked package searched at most this deep (the unpack folder itself is 0).
inline constexpr int kPackageSearchDepth = 7;

// The root of the wall files in a package listing (relative paths, '/' or '\' between the parts):
// the folder that holds "server/server.js" (names compared ignoring ASCII case), the shallowest of
// them, the first in byte order among equally shallow ones; never a folder with a "node_modules"
// part, where a bundled dependency's own server.js may sit. "" is the unpack folder itself; nothing
// when no folder qualifies.
std::optional<std::string> findPackageRoot(const std::vector<std::string>& files);

// The shallowest file named `name` (ignoring ASCII case) in a package listing, never one under a
// "node_modules" folder; the first in byte order among equally shallow ones. Nothing when none.
std::optional<std::string> findShallowestFile(const std::vector<std::string>& files, std::string_view name);

// Whether the copy into the wall folder skips this name, at any folder level: the DJ's settings,
// pictures, uploads and looks, the server's pid file and the staging folder. Compared as the file
// system compares names: ignoring ASCII case and any dots and blanks at the end, which Windows drops
// ("Layout.ini", "UPLOADS" and "layout.ini." name the DJ's own files).
bool isKeptName(std::string_view name);

// Whether an entry is a link that must be removed itself, never entered. isSymbolicLink asks the
// standard library, which on Windows does not see junctions: the Windows part passes a test of its
// own there (updates/win/unpack_folder.h).
using LinkTest = std::function<bool(const std::filesystem::path&)>;
bool isSymbolicLink(const std::filesystem::path& entry);

// Every file under `folder`, as a UTF-8 path relative to it with '/' between the parts, at most
// kPackageSearchDepth folders deep, links neither followed nor listed. Empty when the folder cannot
// be read.
std::vector<std::string> listPackageFiles(const std::filesystem::path& folder, const LinkTest& isLink = isSymbolicLink);

// Removes everything inside `folder` (creating it when missing), so that nothing of an earlier
// package or archive is found and installed again. A link inside is removed, never followed, so
// nothing outside the folder is touched. True when the folder exists and is empty afterwards.
bool emptyFolder(const std::filesystem::path& folder, const LinkTest& isLink = isSymbolicLink);

// Copies `source` into `target` (created as needed), file by file, overwriting; with `keepUserFiles`
// every isKeptName entry is skipped at every level. Links are neither followed nor copied, and a
// file that cannot be copied is passed over: the copy goes on, and the next update copies again.
void copyPackageFolder(const std::filesystem::path& source, const std::filesystem::path& target, bool keepUserFiles,
                       const LinkTest& isLink = isSymbolicLink);

// A UTF-8 path as a path (wide on Windows, whatever the code page).
std::filesystem::path pathFromUtf8(std::string_view utf8);

}  // namespace lumvo

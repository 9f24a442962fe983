#pragma once
// Rules for the plug-in's data paths that need no Windows call. The folders themselves are
// resolved and created in base/win/data_folders.cpp.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

// The base of every narrow data path: the LOCALAPPDATA value when it is set and fits a
// 260-byte buffer with its terminator, else ".".
std::string dataBaseFolder(std::optional<std::string_view> localAppData);
// base + "\LUMVO\video-wall".
std::string wallFolderUnder(std::string_view base);
// Everything before the last '\' or '/', or the whole text when it has neither.
std::string folderOfPath(std::string_view path);
// The file name at the end of a photo reference ("/uploads/a.jpg?v=2" gives "a.jpg"); empty when
// the reference names no plain file of the folder: nothing left, ".." anywhere in the name, a
// colon (drive or stream), a control byte, or a device name (CON, NUL, COM1, ...).
std::string photoFileName(std::string_view reference);
// The folders searched for a photo file, in order, empty ones left out.
std::vector<std::string> photoSearchFolders(std::string_view mediaFolder, std::string_view defaultMediaFolder,
                                            std::string_view uploadsFolder, std::string_view wallFolder);

}  // namespace lumvo

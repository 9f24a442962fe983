#include "base/data_paths.h"

namespace lumvo {

std::string dataBaseFolder(std::optional<std::string_view> localAppData) {
    // The value must fit a 260-byte buffer with its terminator; an empty value reads as missing.
    constexpr std::size_t kBufferBytes = 260;
    if (!localAppData || localAppData->empty() || localAppData->size() >= kBufferBytes) return ".";
    return std::string(*localAppData);
}

std::string wallFolderUnder(std::string_view base) {
    std::string folder(base);
    folder += "\\LUMVO\\video-wall";
    return folder;
}

std::string folderOfPath(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(0, slash));
}

namespace {

// Names Windows opens as a device in any folder, with or without an extension (blanks before the
// extension do not count): reading "COM1" or "CON" could wait for ever.
bool isDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string upper;
    for (const char c : base) upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
           upper[3] <= '9';
}

}  // namespace

std::string photoFileName(std::string_view reference) {
    if (const std::size_t slash = reference.find_last_of("/\\"); slash != std::string_view::npos) {
        reference.remove_prefix(slash + 1);
    }
    reference = reference.substr(0, reference.find('?'));
    if (reference.empty() || reference.find("..") != std::string_view::npos || isDeviceName(reference)) return {};
    // A colon would name a drive or a file's stream; control bytes name no file.
    for (const char c : reference)
        if (c == ':' || static_cast<unsigned char>(c) < 0x20) return {};
    return std::string(reference);
}

std::vector<std::string> photoSearchFolders(std::string_view mediaFolder, std::string_view defaultMediaFolder,
                                            std::string_view uploadsFolder, std::string_view wallFolder) {
    std::vector<std::string> folders;
    for (const std::string_view folder : {mediaFolder, defaultMediaFolder, uploadsFolder, wallFolder}) {
        if (!folder.empty()) folders.emplace_back(folder);
    }
    return folders;
}

}  // namespace lumvo

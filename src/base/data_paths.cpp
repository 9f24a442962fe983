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

std::string photoFileName(std::string_view reference) {
    if (const std::size_t slash = reference.find_last_of("/\\"); slash != std::string_view::npos) {
        reference.remove_prefix(slash + 1);
    }
    reference = reference.substr(0, reference.find('?'));
    if (reference.empty() || reference.find("..") != std::string_view::npos) return {};
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

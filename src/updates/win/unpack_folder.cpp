#include "updates/win/unpack_folder.h"

#include <windows.h>

namespace lumvo {

bool isReparsePoint(const std::filesystem::path& entry) {
    const DWORD attributes = GetFileAttributesW(entry.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace lumvo

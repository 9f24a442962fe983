#include "base/win/data_folders.h"

#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "base/data_paths.h"
#include "base/win/wide_text.h"

namespace lumvo {
namespace {

// The narrow LOCALAPPDATA value, whatever its length; nothing when unset or empty.
std::optional<std::string> localAppDataNarrow() {
    DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", nullptr, 0);
    if (n == 0) return std::nullopt;
    std::string value(n, '\0');
    n = GetEnvironmentVariableA("LOCALAPPDATA", value.data(), n);
    if (n == 0 || n >= value.size()) return std::nullopt;
    value.resize(n);
    return value;
}

// The wide LOCALAPPDATA value read into 260 units; empty when unset or longer.
std::wstring localAppDataWide() {
    wchar_t buffer[260];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 260);
    if (n == 0 || n >= 260) return {};
    return std::wstring(buffer, n);
}

std::string dataBase() { return dataBaseFolder(localAppDataNarrow()); }

std::string shellFolderUtf8(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, path) != S_OK) return {};
    return wideToUtf8(path);
}

bool readWholeFile(const std::wstring& path, std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    std::string data;
    char chunk[16384];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.append(chunk, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok) bytes = std::move(data);
    return ok;
}

}  // namespace

std::string wallFolder() { return wallFolderUnder(dataBase()); }

std::string uploadsFolder() { return wallFolder() + "\\uploads"; }

std::wstring wallFolderWide() {
    const std::wstring base = localAppDataWide();
    return (base.empty() ? std::wstring(L".") : base) + L"\\LUMVO\\video-wall";
}

std::wstring runtimeFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path) != S_OK || !path[0]) return {};
    return std::wstring(path) + L"\\LUMVO\\runtime";
}

bool wallFilesPresent() {
    const std::string wall = wallFolder();
    for (const std::string& file : {wall + "\\server\\server.js", wall + "\\web\\index.html"}) {
        const DWORD attributes = GetFileAttributesA(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    }
    return true;
}

void ensureDataFolders() {
    const std::string base = dataBase();
    const std::string wall = wallFolderUnder(base);
    for (const std::string& folder : {base + "\\LUMVO", wall, wall + "\\server", wall + "\\web", wall + "\\uploads"}) {
        CreateDirectoryA(folder.c_str(), nullptr);
    }
}

std::string defaultMediaFolder() {
    const std::string pictures = shellFolderUtf8(CSIDL_MYPICTURES);
    if (pictures.empty()) return uploadsFolder();
    return pictures + "\\LUMVO";
}

std::string shellLocalAppData() { return shellFolderUtf8(CSIDL_LOCAL_APPDATA); }

std::wstring infoFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path) != S_OK || !path[0]) return {};
    return std::wstring(path) + L"\\LUMVO\\video-wall\\web\\info\\";
}

void createWholePath(std::string_view utf8Path) {
    const std::wstring path = utf8ToWide(utf8Path);
    if (!path.empty()) SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

void setMediaFolder(std::string& mediaFolder, std::string_view utf8Path) {
    if (utf8Path.empty()) return;
    while (!utf8Path.empty() && (utf8Path.back() == '\\' || utf8Path.back() == '/')) utf8Path.remove_suffix(1);
    mediaFolder = utf8Path.empty() ? defaultMediaFolder() : std::string(utf8Path);
    createWholePath(mediaFolder);
}

std::wstring findAsset(std::wstring_view fileName) {
    const std::wstring base = localAppDataWide();
    for (const wchar_t* folder : {L"\\LUMVO\\video-wall\\brand\\", L"\\LUMVO\\video-wall\\web\\brand\\"}) {
        std::wstring path = base + folder;
        path.append(fileName);
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return {};
}

std::wstring brandLogoPath() { return localAppDataWide() + L"\\LUMVO\\video-wall\\brand-logo.png"; }

HMODULE ownModuleHandle() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModuleHandle), &module);
    return module;
}

std::string moduleFolder() {
    char path[260] = {};
    const DWORD n = GetModuleFileNameA(ownModuleHandle(), path, sizeof path);
    return folderOfPath(std::string_view(path, n < sizeof path ? n : sizeof path - 1));
}

std::optional<std::string> readPhotoFromDisk(std::string_view reference, std::string_view mediaFolder) {
    const std::string name = photoFileName(reference);
    if (name.empty()) return std::nullopt;
    const std::string wall = wallFolder();
    for (const std::string& folder : photoSearchFolders(mediaFolder, defaultMediaFolder(), wall + "\\uploads", wall)) {
        std::string bytes;
        if (readWholeFile(utf8ToWide(folder + "\\" + name), bytes)) return bytes;
    }
    return std::nullopt;
}

}  // namespace lumvo

#include "test_support.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace lumvo::test {

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string base(temp);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    for (;;) {
        path_ = base + "\\lumvo-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TempFolder::~TempFolder() { removeTree(path_); }

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
    if (n > 0) {
        previous_.resize(n);
        previous_.resize(GetEnvironmentVariableA(name, previous_.data(), n));
        hadPrevious_ = true;
    }
    SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableA(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    previous_ = current;
    SetCurrentDirectoryA(folder.c_str());
}

ScopedCurrentFolder::~ScopedCurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }

bool fileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[8192];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
        std::fclose(f);
    }
    return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void makeFolders(const std::string& path) { SHCreateDirectoryExA(nullptr, path.c_str(), nullptr); }

void removeTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string programFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    const size_t cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? "." : folder.substr(0, cut);
}

std::string pluginDllPath() {
    char override[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("LUMVO_TEST_DLL", override, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return override;
    return programFolder() + "\\LUMVO Video Wall.dll";
}

namespace {
bool pngEncoder(CLSID& clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::unique_ptr<char[]> buffer(new char[size]);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}
}  // namespace

bool writeTestPng(const std::wstring& path, int width, int height, int rectX, int rectY, int rectW, int rectH,
                  std::uint32_t argb) {
    GdiplusSession gdiplus;
    Gdiplus::Bitmap image(width, height, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics g(&image);
        g.Clear(Gdiplus::Color(0, 255, 255, 255));
        Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
        g.FillRectangle(&brush, rectX, rectY, rectW, rectH);
    }
    CLSID png;
    return pngEncoder(png) && image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

int processThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

GdiplusSession::~GdiplusSession() { Gdiplus::GdiplusShutdown(token_); }

}  // namespace lumvo::test

#pragma once
// Helpers shared by the Windows tests: throw-away folders, environment overrides, files, GDI+, and
// a fake host that records what the plug-in asks of it.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/host_interface.h"
#include "base/win/wide_text.h"

namespace lumvo::test {

inline void removeTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// A fresh folder under the temp folder, removed with everything in it at the end of the scope.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);  // ends in a backslash
        path_ =
            std::string(temp) + "lumvo-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        removeTree(path_);  // left by an earlier run that crashed
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { removeTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Sets (or with nullptr removes) an environment variable for the scope, then restores it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        char previous[32768];
        const DWORD n = GetEnvironmentVariableA(name, previous, sizeof previous);
        if (n > 0 && n < sizeof previous) previous_ = std::string(previous, n);
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), previous_ ? previous_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

inline bool fileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool folderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
// Raw bytes; empty when missing.
inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
// With every missing parent.
inline void makeFolders(const std::string& path) { SHCreateDirectoryExA(nullptr, path.c_str(), nullptr); }

// The folder of the test program; the plug-in DLL and the stand-in host are built beside it.
inline std::string programFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.find_last_of('\\'));
}
inline std::string pluginDllPath() { return programFolder() + "\\LUMVO Video Wall.dll"; }

// GDI+ for the scope.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

// Writes a PNG of width x height, transparent, with one rectangle of `argb`.
inline bool writeTestPng(const std::string& path, int width, int height, Gdiplus::Rect rect, std::uint32_t argb) {
    constexpr CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    GdiplusSession gdiplus;
    Gdiplus::Bitmap image(width, height, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics g(&image);
        g.Clear(Gdiplus::Color(0, 255, 255, 255));
        Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
        g.FillRectangle(&brush, rect);
    }
    return image.Save(utf8ToWide(path).c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

// Polls `predicate` until it holds or five seconds pass.
template <class Predicate>
bool eventually(Predicate predicate) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
        if (predicate()) return true;
    }
    return predicate();
}

// Threads of this process right now.
inline int processThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// A host that records what the plug-in asks of it (single-threaded use).
struct FakeHost final : vdj::HostCallbacks, vdj::VideoCallbacks {
    // What "get hwnd" and getDevice answer.
    vdj::HostResult windowQueryResult = 0;
    double windowNumber = 0.0;
    vdj::HostResult deviceResult = 0;
    void* device = nullptr;
    // What was asked.
    std::vector<std::string> queries;
    std::vector<std::string> declared;  // "<id> <kind> <name> (<short name>) <default>" per parameter
    void* declaredParameter = nullptr;  // the last one's
    std::vector<int> deviceKinds;
    std::vector<std::string> scripts;

    vdj::HostResult runScript(const char* script) override {
        scripts.push_back(script ? script : "");
        return 0;
    }
    vdj::HostResult queryNumber(const char* query, double* result) override {
        queries.push_back(query ? query : "");
        if (result) *result = windowNumber;
        return windowQueryResult;
    }
    vdj::HostResult queryText(const char*, char*, int) override { return -1; }
    vdj::HostResult declareParameter(void* parameter, int kind, int id, const char* name, const char* shortName,
                                     float defaultValue) override {
        declared.push_back(std::to_string(id) + " " + std::to_string(kind) + " " + (name ? name : "") + " (" +
                           (shortName ? shortName : "") + ") " + std::to_string(defaultValue));
        declaredParameter = parameter;
        return 0;
    }
    vdj::HostResult getSongBuffer(int, int, short**) override { return -1; }
    vdj::HostResult drawDeck() override { return -1; }
    vdj::HostResult getDevice(int kind, void** result) override {
        deviceKinds.push_back(kind);
        if (result) *result = device;
        return deviceResult;
    }
    vdj::HostResult getTexture(int, void**, void**) override { return -1; }
};

}  // namespace lumvo::test

#pragma once
// Helpers shared by the Windows tests: throw-away folders, environment overrides, file access and
// a fake host that records what the plug-in asks of it.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "plugin/host_interface.h"

namespace lumvo::test {

// A fresh folder under the temp folder, removed with everything in it at the end of the scope.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
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
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Changes the current folder for the scope.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::string& folder);
    ~ScopedCurrentFolder();

private:
    std::string previous_;
};

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Raw bytes (binary mode); empty when missing.
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
void makeFolders(const std::string& path);  // with every missing parent
void removeTree(const std::string& path);

// The folder of the test program; the plug-in DLL and the stand-in host are built beside it.
std::string programFolder();
// The plug-in DLL to load: LUMVO_TEST_DLL when set, else "LUMVO Video Wall.dll" beside the program.
std::string pluginDllPath();

// Writes a PNG of width x height, transparent, with one opaque rectangle of `argb`.
bool writeTestPng(const std::wstring& path, int width, int height, int rectX, int rectY, int rectW, int rectH,
                  std::uint32_t argb);

// Polls `predicate` until it holds or `limit` passes.
template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (predicate()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return predicate();
}

// Threads of this process right now.
int processThreadCount();

// GDI+ for the scope.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();

private:
    ULONG_PTR token_ = 0;
};

// A host that records what the plug-in asks of it (single-threaded use).
struct FakeHost final : vdj::HostCallbacks, vdj::VideoCallbacks {
    struct Declared {
        void* parameter;
        int kind, id;
        std::string name, shortName;
        float defaultValue;
    };
    // What "get hwnd" and getDevice answer.
    vdj::HostResult windowQueryResult = 0;
    double windowNumber = 0.0;
    vdj::HostResult deviceResult = 0;
    void* device = nullptr;
    // What was asked.
    std::vector<std::string> queries;
    std::vector<Declared> declared;
    std::vector<int> deviceKinds;

    vdj::HostResult runScript(const char*) override { return 0; }
    vdj::HostResult queryNumber(const char* query, double* result) override {
        queries.push_back(query ? query : "");
        if (result) *result = windowNumber;
        return windowQueryResult;
    }
    vdj::HostResult queryText(const char*, char*, int) override { return -1; }
    vdj::HostResult declareParameter(void* parameter, int kind, int id, const char* name, const char* shortName,
                                     float defaultValue) override {
        declared.push_back({parameter, kind, id, name ? name : "", shortName ? shortName : "", defaultValue});
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

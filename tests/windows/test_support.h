#pragma once
// Helpers shared by the Windows tests: throw-away folders, environment overrides, file access and
// a fake host that records what the plug-in asks of it.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <mutex>
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

// A host that records the calls the plug-in makes on its callbacks.
class FakeHost final : public vdj::HostCallbacks, public vdj::VideoCallbacks {
public:
    struct Declared {
        void* parameter;
        int kind;
        int id;
        std::string name;
        std::string shortName;
        float defaultValue;
    };

    // What "get hwnd" answers.
    vdj::HostResult windowQueryResult = 0;
    double windowNumber = 0.0;
    // What getDevice answers.
    vdj::HostResult deviceResult = 0;
    void* device = nullptr;

    std::vector<std::string> queries() const;
    std::vector<Declared> declared() const;
    std::vector<int> deviceKinds() const;
    std::vector<std::string> scripts() const;

    vdj::HostResult runScript(const char* script) override;
    vdj::HostResult queryNumber(const char* query, double* result) override;
    vdj::HostResult queryText(const char* query, char* result, int size) override;
    vdj::HostResult declareParameter(void* parameter, int kind, int id, const char* name, const char* shortName,
                                     float defaultValue) override;
    vdj::HostResult getSongBuffer(int position, int count, short** buffer) override;
    vdj::HostResult drawDeck() override;
    vdj::HostResult getDevice(int kind, void** device) override;
    vdj::HostResult getTexture(int kind, void** texture, void** view) override;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> queries_;
    std::vector<Declared> declared_;
    std::vector<int> deviceKinds_;
    std::vector<std::string> scripts_;
};

}  // namespace lumvo::test

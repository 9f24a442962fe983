#pragma once
// The update site the plug-in's update jobs are tested against: made for one test by
// fixtures/make-update-site.js (a key made for the run, the signed document, the package and a
// Node.js archive) and served over HTTPS by the fixture site (update_site.h). It points the test
// build's update jobs at itself through the environment (tests/windows/test-variant/
// test_update_setup.cpp), with the stand-in tar and PowerShell, which log their command lines.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/version.h"
#include "base/win/data_folders.h"
#include "serverlink/win/server_process.h"
#include "update_site.h"
#include "wall_support.h"

namespace lumvo::test {

inline std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

struct SiteOptions {
    std::string scenario = "install";  // "install", "tampered", "newer"
    std::string dll;                   // "newer": the plug-in the package carries
    bool withNode = false;             // a Node.js archive with the staged node.exe
    int fillerBytes = 0;               // an incompressible file in the package
};

// The signed site of one test: made by make-update-site.js and served by the fixture site, with
// the test build's update jobs pointed at it (and back at nothing when it goes).
class SignedSite {
public:
    // `node`: the node.exe that runs the fixtures (found before a test hides Node.js from the plug-in).
    SignedSite(const std::string& folder, const std::string& node, const SiteOptions& options)
        : folder_(made(folder)), server_(folder_) {
        if (server_.port() == 0) return;
        const std::string config = folder_ + "\\site.json";
        writeBytes(config, "{\"site\":" + jsonText(folder_) + ",\"port\":" + std::to_string(server_.port()) +
                               ",\"scenario\":" + jsonText(options.scenario) + ",\"version\":\"" + kPluginVersion +
                               "\",\"repo\":" + jsonText(repoPath("")) + ",\"dll\":" + jsonText(options.dll) +
                               (options.withNode ? ",\"nodeExe\":" + jsonText(node) : std::string()) +
                               ",\"fillerBytes\":" + std::to_string(options.fillerBytes) + "}");
        made_ = runLogged("\"" + node + "\" \"" + repoPath("tests/windows/fixtures/make-update-site.js") + "\" \"" +
                              config + "\"",
                          folder_ + "\\make.log", 180000) == 0;
        if (made_) pointAtSite(readBytes(folder_ + "\\public.hex").substr(0, 128));
    }
    ~SignedSite() {
        for (const char* name :
             {"LUMVO_TEST_UPDATE_PORT", "LUMVO_TEST_UPDATE_KEY", "LUMVO_TEST_TAR", "LUMVO_TEST_WAITER",
              "LUMVO_STANDIN_LOG", "LUMVO_TEST_NODE_URL", "LUMVO_TEST_NODE_SHA256"}) {
            SetEnvironmentVariableA(name, nullptr);
        }
    }
    SignedSite(const SignedSite&) = delete;
    SignedSite& operator=(const SignedSite&) = delete;

    bool ready() const { return made_; }
    // Why not: what the site and its maker printed.
    std::string why() const { return server_.log() + readBytes(folder_ + "\\make.log"); }
    std::string file(const std::string& name) const { return folder_ + "\\" + name; }
    std::string url(const std::string& path) const {
        return "https://localhost:" + std::to_string(server_.port()) + path;
    }
    // What the stand-in tar and PowerShell were started with, a line each.
    std::string programLog() const { return readBytes(log_); }

private:
    static std::string made(const std::string& folder) {
        makeFolders(folder);
        return folder;
    }

    void pointAtSite(const std::string& publicHex) {
        log_ = folder_ + "\\programs.log";
        const std::pair<const char*, std::string> settings[] = {
            {"LUMVO_TEST_UPDATE_PORT", std::to_string(server_.port())},
            {"LUMVO_TEST_UPDATE_KEY", publicHex},
            {"LUMVO_TEST_TAR", standinFolder() + "\\tar.exe"},
            {"LUMVO_TEST_WAITER", standinFolder() + "\\powershell.exe"},
            {"LUMVO_STANDIN_LOG", log_},
            {"LUMVO_TEST_NODE_URL", url("/node/node.zip")},
            {"LUMVO_TEST_NODE_SHA256", readBytes(folder_ + "\\node.sha256")},
        };
        for (const auto& [name, value] : settings) SetEnvironmentVariableA(name, value.c_str());
    }

    std::string folder_;
    UpdateSite server_;
    std::string log_;
    bool made_ = false;
};

// A user profile of its own for the scope: LOCALAPPDATA and the shell's local application data
// folder (what the plug-in's wall folder and its private Node.js runtime hang off) both point into
// `folder`, so nothing installed in the test prefix is seen.
class FreshProfile {
public:
    explicit FreshProfile(const std::string& folder) : localAppData_("LOCALAPPDATA", folder.c_str()) {
        makeFolders(folder);
        RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD type = 0;
        DWORD size = sizeof previous_;
        hadPrevious_ = RegQueryValueExW(key_, L"Local AppData", nullptr, &type, reinterpret_cast<BYTE*>(previous_),
                                        &size) == ERROR_SUCCESS;
        previousType_ = type;
        previousSize_ = size;
        const std::wstring wide = utf8ToWide(folder);
        RegSetValueExW(key_, L"Local AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
    ~FreshProfile() {
        if (!key_) return;
        if (hadPrevious_) {
            RegSetValueExW(key_, L"Local AppData", 0, previousType_, reinterpret_cast<const BYTE*>(previous_),
                           previousSize_);
        } else {
            RegDeleteValueW(key_, L"Local AppData");
        }
        RegCloseKey(key_);
    }
    FreshProfile(const FreshProfile&) = delete;
    FreshProfile& operator=(const FreshProfile&) = delete;

private:
    static constexpr const wchar_t* kShellFolders =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    ScopedEnvironment localAppData_;
    HKEY key_ = nullptr;
    wchar_t previous_[1024] = {};
    DWORD previousType_ = 0;
    DWORD previousSize_ = 0;
    bool hadPrevious_ = false;
};

}  // namespace lumvo::test

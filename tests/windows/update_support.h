#pragma once
// The update site the Windows tests install from: made for one test by
// fixtures/make-update-site.js (a key made for the run, the signed document, the package and a
// Node.js archive) and served over HTTPS by fixtures/update-site.js under node.exe, with the
// certificate the test prefix trusts for the run. It points the test build's update jobs at itself
// through the environment (tests/windows/test-variant/test_update_setup.cpp), with the stand-in tar
// and PowerShell, which write their command lines to one log.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/version.h"
#include "base/win/data_folders.h"
#include "serverlink/win/server_process.h"
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

inline std::string environment(const char* name) {
    char value[4096];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

inline std::string standinProgram(const char* name) { return programFolder() + "\\standins\\" + name; }

// Runs `command` and waits for it (at most `ms`); its exit code, 0xFFFFFFFF when it did not end.
inline DWORD runAndWait(const std::string& command, DWORD ms) {
    HANDLE process = startProgram(command);
    if (!process) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process, ms) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    else TerminateProcess(process, 99);
    CloseHandle(process);
    return code;
}

struct SiteOptions {
    std::string scenario = "install";  // "install", "tampered", "newer"
    std::string dll;                   // "newer": the plug-in the package carries
    bool withNode = false;             // a Node.js archive with the staged node.exe
    int fillerBytes = 0;               // an incompressible file in the package
};

class UpdateSite {
public:
    // `node`: the node.exe that runs the fixtures (found before a test hides Node.js from the plug-in).
    UpdateSite(const std::string& folder, const std::string& node, const SiteOptions& options) : folder_(folder) {
        makeFolders(folder_);
        const std::string portFile = folder_ + "\\port.txt";
        server_ = startProgram("\"" + node + "\" \"" + repoPath("tests/windows/fixtures/update-site.js") + "\" \"" +
                               folder_ + "\" \"" + environment("LUMVO_TEST_TLS_CERT") + "\" \"" +
                               environment("LUMVO_TEST_TLS_KEY") + "\" \"" + portFile + "\"");
        for (int waited = 0; waited < 30000 && port_ == 0; waited += 50) {
            Sleep(50);
            port_ = std::atoi(readBytes(portFile).c_str());
        }
        if (port_ == 0) return;
        const std::string config = folder_ + "\\site.json";
        writeBytes(config, "{\"site\":" + jsonText(folder_) + ",\"port\":" + std::to_string(port_) +
                               ",\"scenario\":" + jsonText(options.scenario) + ",\"version\":\"" + kPluginVersion +
                               "\",\"repo\":" + jsonText(repoPath("")) + ",\"dll\":" + jsonText(options.dll) +
                               (options.withNode ? ",\"nodeExe\":" + jsonText(node) : std::string()) +
                               ",\"fillerBytes\":" + std::to_string(options.fillerBytes) + "}");
        made_ = runAndWait("\"" + node + "\" \"" + repoPath("tests/windows/fixtures/make-update-site.js") + "\" \"" +
                               config + "\"",
                           180000) == 0;
        if (!made_) return;
        pointAtSite(readBytes(folder_ + "\\public.hex").substr(0, 128));
    }
    ~UpdateSite() {
        if (!server_) return;
        TerminateProcess(server_, 1);
        WaitForSingleObject(server_, 5000);
        CloseHandle(server_);
    }
    UpdateSite(const UpdateSite&) = delete;
    UpdateSite& operator=(const UpdateSite&) = delete;

    bool ready() const { return made_; }
    int port() const { return port_; }
    std::string file(const std::string& name) const { return folder_ + "\\" + name; }
    std::string url(const std::string& path) const { return "https://localhost:" + std::to_string(port_) + path; }
    // What the stand-in tar and PowerShell were started with, a line each.
    std::string programLog() const { return readBytes(log_); }

private:
    void pointAtSite(const std::string& publicHex) {
        log_ = folder_ + "\\programs.log";
        settings_.emplace_back("LUMVO_TEST_UPDATE_PORT", std::to_string(port_));
        settings_.emplace_back("LUMVO_TEST_UPDATE_KEY", publicHex);
        settings_.emplace_back("LUMVO_TEST_TAR", standinProgram("tar.exe"));
        settings_.emplace_back("LUMVO_TEST_WAITER", standinProgram("powershell.exe"));
        settings_.emplace_back("LUMVO_STANDIN_LOG", log_);
        settings_.emplace_back("LUMVO_TEST_NODE_URL", url("/node/node.zip"));
        settings_.emplace_back("LUMVO_TEST_NODE_SHA256", readBytes(folder_ + "\\node.sha256"));
        for (const auto& [name, value] : settings_) SetEnvironmentVariableA(name.c_str(), value.c_str());
    }

    std::string folder_;
    std::string log_;
    HANDLE server_ = nullptr;
    int port_ = 0;
    bool made_ = false;
    std::vector<std::pair<std::string, std::string>> settings_;

public:
    // The environment the site set goes with it.
    struct Unset {
        ~Unset() {
            for (const char* name :
                 {"LUMVO_TEST_UPDATE_PORT", "LUMVO_TEST_UPDATE_KEY", "LUMVO_TEST_TAR", "LUMVO_TEST_WAITER",
                  "LUMVO_STANDIN_LOG", "LUMVO_TEST_NODE_URL", "LUMVO_TEST_NODE_SHA256"}) {
                SetEnvironmentVariableA(name, nullptr);
            }
        }
    } unset_;
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

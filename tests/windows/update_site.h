#pragma once
// Helpers for the Windows tests of the update: the HTTPS fixture site (fixtures/update-site.js under
// node.exe), stored zips made by fixtures/make-zip.js, and the stand-in tar.exe and powershell.exe
// built into <program folder>\standins.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/http_client.h"
#include "serverlink/win/server_process.h"
#include "base/win/win_http_client.h"
#include "tls_trust.h"
#include "wall_support.h"

namespace lumvo::test {

inline std::string standinFolder() { return programFolder() + "\\standins"; }

// Runs `command` (UTF-8) hidden with no standard input and its output into `log`; its exit code,
// or 0xFFFFFFFF when it did not start or was ended after `timeoutMs`.
inline DWORD runLogged(const std::string& command, const std::string& log, DWORD timeoutMs = 60000) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = startup.hStdError = output;
    std::wstring wide = utf8ToWide(command);
    PROCESS_INFORMATION process{};
    const BOOL started = output != INVALID_HANDLE_VALUE && CreateProcessW(nullptr, wide.data(), nullptr, nullptr, TRUE,
                                                                          0, nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    if (!started) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, code);
    else GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// make-zip.js under node.exe with `arguments` (quoted as it wants): the zip's maker exit code.
inline DWORD makeZip(const std::string& arguments, const std::string& log) {
    return runLogged("\"" + findNode() + "\" \"" + repoPath("tests/windows/fixtures/make-zip.js") + "\" " + arguments,
                     log);
}

// The fixture site serving `folder` over HTTPS on 127.0.0.1, by default with the test certificate;
// ended with the scope. It picks a free port and writes it to a file, which the constructor waits
// for (up to 20 s).
class UpdateSite {
public:
    explicit UpdateSite(const std::string& folder, const std::string& certPem = environmentText("LUMVO_TEST_TLS_CERT"),
                        const std::string& keyPem = environmentText("LUMVO_TEST_TLS_KEY")) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE output = CreateFileA((scratch_ / "site.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        startup.hStdOutput = startup.hStdError = output;
        // (Built from a string, not a literal: GCC 12 warns wrongly on literal + temporary here.)
        std::string command(1, '"');
        command += findNode() + "\" \"" + repoPath("tests/windows/fixtures/update-site.js") + "\" \"" + folder +
                   "\" \"" + certPem + "\" \"" + keyPem + "\" \"" + (scratch_ / "port") + "\"";
        // In a job that ends it with this process, even when a crashed or killed test never gets to
        // the destructor (a leftover node.exe would hold the test run's output open).
        job_ = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        PROCESS_INFORMATION process{};
        if (output != INVALID_HANDLE_VALUE && CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                                             CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
            AssignProcessToJobObject(job_, process.hProcess);
            ResumeThread(process.hThread);
            CloseHandle(process.hThread);
            process_ = process.hProcess;
        }
        CloseHandle(output);
        for (int i = 0; process_ && port_ == 0 && i < 400; ++i) {
            if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) break;
            port_ = static_cast<std::uint16_t>(std::atoi(readBytes(scratch_ / "port").c_str()));
        }
    }
    ~UpdateSite() {
        if (process_) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
            CloseHandle(process_);
        }
        if (job_) CloseHandle(job_);
    }
    UpdateSite(const UpdateSite&) = delete;
    UpdateSite& operator=(const UpdateSite&) = delete;

    // Zero until the site listens.
    std::uint16_t port() const { return port_; }
    // What the site printed (node's errors when it did not start).
    std::string log() const { return readBytes(scratch_ / "site.log"); }
    // Where to send a request for the site. By the name "localhost": Wine's WinHTTP checks the host
    // against the certificate's DNS names only, so "127.0.0.1" fails the name check (it resolves
    // localhost to IPv4 first, where the site listens).
    HttpOptions options(int timeoutMs = 5000) const {
        HttpOptions options;
        options.host = "localhost";
        options.port = port_;
        options.secure = true;
        options.timeoutMs = timeoutMs;
        return options;
    }
    // How many times `path` was asked so far; -1 when the site does not answer.
    int hits(const std::string& path) const {
        WinHttpClient http;
        std::string body;
        if (!httpGetEx(http, "/hits?path=" + path, body, options())) return -1;
        return std::atoi(body.c_str());
    }

private:
    TempFolder scratch_;
    HANDLE job_ = nullptr;
    HANDLE process_ = nullptr;
    std::uint16_t port_ = 0;
};

}  // namespace lumvo::test

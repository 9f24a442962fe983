#include "updates/win/process_runner.h"

#include <vector>

namespace lumvo {
namespace {
constexpr DWORD kUnpackTimeoutMs = 120000;
constexpr DWORD kDetachedFlags =
    CREATE_NO_WINDOW | CREATE_BREAKAWAY_FROM_JOB | CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS;
}  // namespace

bool runProcess(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workFolder, DWORD timeoutMs,
                bool detached) {
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> command(line.begin(), line.end());
    command.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    const wchar_t* folder = workFolder.empty() ? nullptr : workFolder.c_str();
    const auto start = [&](DWORD flags) {
        return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr, folder, &startup,
                              &created) != FALSE;
    };
    // A job that forbids breaking away refuses the whole start; the waiter then stays in it.
    if (!start(detached ? kDetachedFlags : CREATE_NO_WINDOW) &&
        !(detached && start(kDetachedFlags & ~static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB)))) {
        return false;
    }
    CloseHandle(created.hThread);
    bool ok = true;
    if (timeoutMs != 0) {
        DWORD code = 1;
        ok = WaitForSingleObject(created.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
             GetExitCodeProcess(created.hProcess, &code) && code == 0;
    }
    CloseHandle(created.hProcess);
    return ok;
}

bool unpackWithTar(const std::wstring& tarProgram, const std::wstring& archive, const std::wstring& folder) {
    return runProcess(tarProgram, L"-xf \"" + archive + L"\" -C \"" + folder + L"\"", L"", kUnpackTimeoutMs, false);
}

}  // namespace lumvo

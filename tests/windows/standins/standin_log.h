#pragma once
// The stand-in programs record how they were started: their whole command line, as UTF-8, appended
// as one line to the file named by LUMVO_STANDIN_LOG (nothing when it is not set).
#include <windows.h>

#include <string>

inline void appendCommandLineToLog() {
    wchar_t logPath[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"LUMVO_STANDIN_LOG", logPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const wchar_t* line = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
    text += '\n';
    HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

// What the Windows checks and the load-time benchmark do with processes and
// paths: run a command line and wait for its exit code; make a command-line
// argument a full path.
#pragma once

#include <windows.h>

#include <string>

namespace wine_check {

// Runs the command line and answers its exit code, or the error that kept
// it from starting.
inline DWORD run(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The full path of a command-line argument (ASCII paths, as the build tree's).
inline std::wstring fullPath(const char* path) {
    const std::string p(path);
    wchar_t full[MAX_PATH];
    GetFullPathNameW(std::wstring(p.begin(), p.end()).c_str(), MAX_PATH, full, nullptr);
    return full;
}

}  // namespace wine_check

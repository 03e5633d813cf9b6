#include "platform/atomicfile.h"

#include <system_error>

#include "platform/com.h"

namespace platform {

namespace {

[[noreturn]] void fail(DWORD error, const char* what, const std::filesystem::path& file) {
    throw std::system_error(static_cast<int>(error), std::system_category(), std::string(what) + " " + file.string());
}

// Closes a handle on every path out of a scope.
class Handle {
public:
    explicit Handle(HANDLE h) noexcept : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const noexcept { return h_; }
    HANDLE release() noexcept {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

FileLock::FileLock(const std::filesystem::path& lockFile) {
    Handle file(CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) fail(GetLastError(), "cannot open the lock file", lockFile);
    OVERLAPPED at{};
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) fail(GetLastError(), "cannot lock", lockFile);
    handle_ = reinterpret_cast<std::intptr_t>(file.release());
}

// Closing the handle releases the lock; so does the end of the process.
FileLock::~FileLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

// Readers share deletion, so that a writer can rename over the file while
// it is being read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
        fail(error, "cannot open", path);
    }
    std::string bytes;
    char chunk[8192];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) fail(GetLastError(), "cannot read", path);
        if (n == 0) return bytes;
        bytes.append(chunk, n);
    }
}

void replaceFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temporary = path;
    temporary += ".new";
    {
        Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) fail(GetLastError(), "cannot create", temporary);
        while (!bytes.empty()) {
            const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
            DWORD written = 0;
            if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) fail(GetLastError(), "cannot write", temporary);
            bytes.remove_prefix(written);
        }
        if (!FlushFileBuffers(file.get())) fail(GetLastError(), "cannot flush", temporary);
    }
    // A reader that opened the file without sharing deletion holds the rename
    // off for a moment; wait for it rather than fail the write.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            DeleteFileW(temporary.c_str());
            fail(error, "cannot replace", path);
        }
        Sleep(10);
    }
}

}  // namespace platform

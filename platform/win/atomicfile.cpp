#include "platform/atomicfile.h"

#include <atomic>
#include <string>
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

namespace {

// Writes bytes into a file created with `disposition`, flushed to the disk
// and closed. The file is deleted again when a step fails.
void writeTemporary(const std::filesystem::path& temporary, DWORD disposition, std::string_view bytes) {
    const char* failed = nullptr;
    DWORD error = ERROR_SUCCESS;
    {
        Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) fail(GetLastError(), "cannot create", temporary);
        auto step = [&](BOOL ok, const char* what) {
            if (failed == nullptr && !ok) {
                failed = what;
                error = GetLastError();
            }
        };
        while (!bytes.empty() && failed == nullptr) {
            const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
            DWORD written = 0;
            step(WriteFile(file.get(), bytes.data(), chunk, &written, nullptr), "cannot write");
            bytes.remove_prefix(written);
        }
        step(failed == nullptr && FlushFileBuffers(file.get()), "cannot flush");
        step(failed == nullptr && CloseHandle(file.release()), "cannot close");
    }
    if (failed == nullptr) return;
    DeleteFileW(temporary.c_str());
    fail(error, failed, temporary);
}

}  // namespace

void replaceFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temporary = path;
    temporary += ".new";
    writeTemporary(temporary, CREATE_ALWAYS, bytes);
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

void createFile(const std::filesystem::path& path, std::string_view bytes) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::filesystem::path temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = folder / (".kwolfunc-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(serial.fetch_add(1)) + ".tmp");
        try {
            writeTemporary(temporary, CREATE_NEW, bytes);
            break;
        } catch (const std::system_error& e) {
            if (e.code().value() != ERROR_FILE_EXISTS || attempt == 100) throw;
        }
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) return;
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    throw std::system_error(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                                ? std::make_error_code(std::errc::file_exists)
                                : std::error_code(static_cast<int>(error), std::system_category()),
                            "cannot create " + path.string());
}

}  // namespace platform

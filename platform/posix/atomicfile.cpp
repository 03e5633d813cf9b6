#include "platform/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/posix/filecalls.h"

namespace platform {

namespace {

int renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    // A file system without it still refuses to link over an existing name.
    if (::link(from, to) != 0) return -1;
    (void)::unlink(from);  // best effort: the file is in place, only a second name of it could stay
    return 0;
}

}  // namespace

FileCalls& fileCalls() {
    static FileCalls calls{
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        ::write,
        ::fsync,
        ::close,
        ::rename,
        renameNoReplace,
        ::unlink,
    };
    return calls;
}

namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& file) {
    throw std::system_error(errno, std::generic_category(), std::string(what) + " " + file.string());
}

// Closes a descriptor on every path out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) fileCalls().close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const noexcept { return fd_; }
    int release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

int openRetrying(const std::filesystem::path& file, int flags, mode_t mode = 0) {
    int fd;
    do fd = fileCalls().open(file.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& file) {
    while (!bytes.empty()) {
        const ssize_t n = fileCalls().write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot write", file);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Makes a rename in file's folder durable.
void syncFolder(const std::filesystem::path& file) {
    const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    Descriptor dir(openRetrying(parent, O_RDONLY | O_DIRECTORY));
    if (dir.get() >= 0) (void)::fsync(dir.get());
}

// A file written under a temporary name and then given its real one. It is
// removed on every path out of its scope unless keep() was called after the
// rename.
class Temporary {
public:
    Temporary(std::filesystem::path path, int flags, mode_t mode)
        : path_(std::move(path)), fd_(openRetrying(path_, O_WRONLY | O_CREAT | flags, mode)) {
        if (fd_.get() < 0) fail("cannot create", path_);
        created_ = true;
    }
    ~Temporary() {
        if (created_) (void)fileCalls().unlink(path_.c_str());
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    int descriptor() const noexcept { return fd_.get(); }
    // Writes bytes, flushes them to the disk and closes the file; a close
    // that fails may have lost what was written.
    void finish(std::string_view bytes) {
        writeAll(fd_.get(), bytes, path_);
        if (fileCalls().fsync(fd_.get()) < 0) fail("cannot flush", path_);
        if (fileCalls().close(fd_.release()) < 0) fail("cannot close", path_);
    }
    void keep() noexcept { created_ = false; }

private:
    std::filesystem::path path_;
    Descriptor fd_;
    bool created_ = false;
};

}  // namespace

FileLock::FileLock(const std::filesystem::path& lockFile) {
    Descriptor fd(openRetrying(lockFile, O_RDWR | O_CREAT, 0666));
    if (fd.get() < 0) fail("cannot open the lock file", lockFile);
    int rc;
    do rc = ::flock(fd.get(), LOCK_EX);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) fail("cannot lock", lockFile);
    handle_ = fd.release();
}

// Closing the descriptor releases the lock; so does the end of the process.
FileLock::~FileLock() { ::close(static_cast<int>(handle_)); }

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    Descriptor fd(openRetrying(file, O_RDONLY));
    if (fd.get() < 0 && errno == ENOENT) return std::nullopt;
    if (fd.get() < 0) fail("cannot open", file);
    std::string bytes;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot read", file);
        if (n == 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

void replaceFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::path name = file;
    name += ".new";
    // The new file keeps the permissions of the one it replaces.
    struct stat existing {};
    const bool exists = ::stat(file.c_str(), &existing) == 0;
    Temporary temporary(name, O_TRUNC, exists ? existing.st_mode & 07777 : 0666);
    if (exists) (void)::fchmod(temporary.descriptor(), existing.st_mode & 07777);  // best effort: the contents matter more
    temporary.finish(bytes);
    if (fileCalls().rename(name.c_str(), file.c_str()) < 0) fail("cannot replace", file);
    temporary.keep();
    syncFolder(file);
}

void createFile(const std::filesystem::path& file, std::string_view bytes) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::optional<Temporary> temporary;
    for (int attempt = 0; !temporary; ++attempt) {
        const std::string name =
            ".kwolfunc-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1)) + ".tmp";
        try {
            temporary.emplace(folder / name, O_EXCL, 0666);
        } catch (const std::system_error& e) {
            if (e.code() != std::errc::file_exists || attempt == 100) throw;
        }
    }
    temporary->finish(bytes);
    if (fileCalls().renameNoReplace(temporary->path().c_str(), file.c_str()) < 0) fail("cannot create", file);
    temporary->keep();
    syncFolder(file);
}

}  // namespace platform

#include "platform/atomicfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& file) {
    throw std::system_error(errno, std::generic_category(), std::string(what) + " " + file.string());
}

// Closes a descriptor on every path out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
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
    do fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& file) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot write", file);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

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
    std::filesystem::path temporary = file;
    temporary += ".new";
    // The new file keeps the permissions of the one it replaces.
    struct stat existing {};
    const bool exists = ::stat(file.c_str(), &existing) == 0;
    Descriptor fd(openRetrying(temporary, O_WRONLY | O_CREAT | O_TRUNC, exists ? existing.st_mode & 07777 : 0666));
    if (fd.get() < 0) fail("cannot create", temporary);
    if (exists) (void)::fchmod(fd.get(), existing.st_mode & 07777);  // best effort: the contents matter more
    writeAll(fd.get(), bytes, temporary);
    if (::fsync(fd.get()) < 0) fail("cannot flush", temporary);
    if (::close(fd.release()) < 0) fail("cannot close", temporary);
    if (::rename(temporary.c_str(), file.c_str()) < 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        fail("cannot replace", file);
    }
    // Make the rename itself durable.
    const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    Descriptor dir(openRetrying(parent, O_RDONLY | O_DIRECTORY));
    if (dir.get() >= 0) (void)::fsync(dir.get());
}

}  // namespace platform

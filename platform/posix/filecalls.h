// The system calls through which the file writers of platform/atomicfile.h
// reach the file system, in one table, so that a test can make any one of
// them fail. Each entry behaves as the call it is named after and reports
// failure through -1 and errno.
#pragma once

#include <sys/types.h>

namespace platform {

struct FileCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* bytes, size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    // Gives `from` the name `to` only when no entry has that name (EEXIST).
    int (*renameNoReplace)(const char* from, const char* to);
    int (*unlink)(const char* path);
};

// The table in use; the system's calls unless a test has replaced some.
FileCalls& fileCalls();

}  // namespace platform

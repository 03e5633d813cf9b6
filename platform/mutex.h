// A mutual-exclusion lock for the component's own shared data. The Windows
// build uses the win32 thread model of mingw-w64, whose standard library has
// no std::mutex; a slim reader/writer lock takes its place there. Hold it
// with std::lock_guard.
#pragma once

#include <mutex>

#ifdef _WIN32
#include "platform/com.h"
#endif

namespace platform {

#ifdef _WIN32
class Mutex {
public:
    Mutex() noexcept = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
    void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
#else
using Mutex = std::mutex;
#endif

}  // namespace platform

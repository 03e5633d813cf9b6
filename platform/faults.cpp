#include "platform/faults.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

namespace platform {

namespace {
// Held on the heap only while a fault waits, through a plain per-thread
// pointer: nothing of the component runs at thread exit.
thread_local std::exception_ptr* tReleaseFault = nullptr;
}  // namespace

void keepReleaseFault(std::exception_ptr fault) noexcept {
    // The first fault stands; a later one while it waits adds nothing.
    if (tReleaseFault == nullptr) tReleaseFault = new (std::nothrow) std::exception_ptr(std::move(fault));
}

std::exception_ptr takeReleaseFault() noexcept {
    std::exception_ptr fault;
    if (tReleaseFault == nullptr) return fault;
    fault.swap(*tReleaseFault);
    delete std::exchange(tReleaseFault, nullptr);
    return fault;
}

namespace detail {

// The process must not keep a handler that points into an unloaded component:
// the first install arranges for the uninstall when the component unloads
// (process exit on Linux, the DLL's detach on Windows). A constant-initialised
// flag rather than a function-local static: the static's guard would create a
// kernel object on Windows while the host creates its first object.
void uninstallAtUnload() {
    static std::atomic<bool> registered{false};
    if (!registered.exchange(true)) std::atexit([] { uninstallFaultHandlers(); });
}

}  // namespace detail

}  // namespace platform

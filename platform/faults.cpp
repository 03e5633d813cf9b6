#include "platform/faults.h"

#include <cstdlib>

namespace platform {

namespace {
thread_local std::exception_ptr tReleaseFault;
}

void keepReleaseFault(std::exception_ptr fault) noexcept {
    // The first fault stands; a later one while it waits adds nothing.
    if (!tReleaseFault) tReleaseFault = std::move(fault);
}

std::exception_ptr takeReleaseFault() noexcept {
    std::exception_ptr fault;
    fault.swap(tReleaseFault);
    return fault;
}

namespace detail {

// The process must not keep a handler that points into an unloaded component:
// the first install arranges for the uninstall when the component unloads
// (process exit on Linux, the DLL's detach on Windows).
void uninstallAtUnload() {
    static const bool registered = std::atexit([] { uninstallFaultHandlers(); }) == 0;
    (void)registered;
}

}  // namespace detail

}  // namespace platform

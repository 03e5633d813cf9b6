#include "platform/faults.h"

#include <cstdlib>

namespace platform::detail {

// The process must not keep a handler that points into an unloaded component:
// the first install arranges for the uninstall when the component unloads
// (process exit on Linux, the DLL's detach on Windows).
void uninstallAtUnload() {
    static const bool registered = std::atexit([] { uninstallFaultFilter(); }) == 0;
    (void)registered;
}

}  // namespace platform::detail

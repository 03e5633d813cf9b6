// The error-capture state of the current thread.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"

namespace kw {

struct ErrorState {
    Text vbcsComponentID;  // never assigned
    bool vbcsHasInitialised = false;
    std::int32_t vbcsErrorNumber = 0;
    Text vbcsErrorDescription;
    std::int32_t vbcsErrorLine = 0;
    Text vbcsErrorSource;
};

// The thread's error state, made on first need. It is held through a plain
// per-thread pointer, so that nothing of the component runs when a thread or
// the DLL detaches (a per-thread object with a destructor would make the C++
// run time keep the DLL loaded for that thread and run code in it at thread
// exit, after the host may have unloaded it).
ErrorState& errorState() noexcept;
// Frees the thread's error state; called when the thread's last Functions
// object goes. Whether the thread's fault handling is installed is kept.
void releaseThreadErrorState() noexcept;

}  // namespace kw

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

ErrorState& errorState() noexcept;

}  // namespace kw

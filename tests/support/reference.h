// A VARIANT that refers to the caller's variable (VT_BYREF | type), as script
// hosts and typed clients pass arguments by reference. It owns nothing.
#pragma once

#include "platform/com.h"

namespace kwtest {

inline VARIANT reference(VARTYPE type, void* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_BYREF | type);
    v.byref = target;
    return v;
}

}  // namespace kwtest

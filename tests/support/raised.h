// The run-time error a call raises, for checks of its number, description,
// source or line. A call that raises none fails the test.
#pragma once

#include <gtest/gtest.h>

#include "core/runtimeerror.h"

namespace kwtest {

template <class Call>
kw::RuntimeError raisedBy(Call call) {
    try {
        call();
    } catch (const kw::RuntimeError& e) {
        return e;
    }
    ADD_FAILURE() << "no run-time error was raised";
    return kw::RuntimeError(0, {}, {}, 0);
}

}  // namespace kwtest

// The reporting of the COM server's checks under Wine: a line per check, the
// process fails when any check did.
#pragma once

#include <cstdio>
#include <string>

namespace wine_check {

inline int failures = 0;

inline bool expect(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
    return ok;
}

inline std::string hex(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

inline int result() {
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace wine_check

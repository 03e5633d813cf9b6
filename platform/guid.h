// GUID text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in both directions,
// and a compile-time GUID literal for the identifiers the component declares.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace platform {

// Parses the braced registry form; letter case of the hex digits is free.
std::optional<GUID> parseGuid(std::u16string_view text);
std::u16string formatGuid(const GUID& guid);

namespace detail {
constexpr int hexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : throw "not a hex digit";
}
constexpr unsigned long long hexField(const char* s, int digits) {
    unsigned long long v = 0;
    for (int i = 0; i < digits; ++i) v = v * 16 + static_cast<unsigned>(hexValue(s[i]));
    return v;
}
}  // namespace detail

// makeGuid("82C135B0-535D-46A3-81E0-E11633649D0A"): the unbraced form, checked
// at compile time.
template <std::size_t N>
constexpr GUID makeGuid(const char (&s)[N]) {
    static_assert(N == 37, "a GUID literal has 36 characters");
    GUID g{};
    g.Data1 = static_cast<decltype(g.Data1)>(detail::hexField(s, 8));
    g.Data2 = static_cast<decltype(g.Data2)>(detail::hexField(s + 9, 4));
    g.Data3 = static_cast<decltype(g.Data3)>(detail::hexField(s + 14, 4));
    g.Data4[0] = static_cast<unsigned char>(detail::hexField(s + 19, 2));
    g.Data4[1] = static_cast<unsigned char>(detail::hexField(s + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<unsigned char>(detail::hexField(s + 24 + 2 * i, 2));
    return g;
}

}  // namespace platform

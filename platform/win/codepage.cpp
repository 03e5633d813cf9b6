// The process's ANSI code page (CP_ACP), converted by the system with its
// default fallback: best-fit characters, then '?'.
#include "platform/codepage.h"

#include <limits>
#include <new>

namespace platform {

std::string toAnsi(TextView text) {
    if (text.empty()) return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::bad_alloc();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), bytes, nullptr, nullptr);
    return out;
}

Text fromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::bad_alloc();
    const int count = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, nullptr, 0);
    Text out(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, reinterpret_cast<wchar_t*>(out.data()), units);
    return out;
}

}  // namespace platform

#include "platform/files.h"

namespace platform {

std::string nativePath(const Text& path) { return toUtf8(path); }

std::optional<Text> findFirstNormalFile(const Text& path) {
    if (path.find(u'\0') != Text::npos) return std::nullopt;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(reinterpret_cast<LPCWSTR>(path.c_str()), &data);
    if (search == INVALID_HANDLE_VALUE) return Text();
    constexpr DWORD notNormal = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    Text found;
    do {
        if ((data.dwFileAttributes & notNormal) == 0) {
            const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
            found.assign(name);
            break;
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

}  // namespace platform

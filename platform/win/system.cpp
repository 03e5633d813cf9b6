#include "platform/system.h"

namespace platform {

Text systemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    Text text;
    if (length > 0 && buffer != nullptr) {
        text.resize(length);
        std::memcpy(text.data(), buffer, length * sizeof(wchar_t));
        while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) text.pop_back();
    }
    if (buffer != nullptr) LocalFree(buffer);
    return text;
}

}  // namespace platform

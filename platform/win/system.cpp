#include "platform/system.h"

#include <string>

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

HRESULT componentTypeInfo(const IID& iid, ITypeInfo** info) {
    *info = nullptr;
    // The module this code is linked into: the DLL, or a program that
    // carries the same resources.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&componentTypeInfo), &module))
        return HRESULT_FROM_WIN32(GetLastError());
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(iid, info);
    library->Release();
    return hr;
}

}  // namespace platform

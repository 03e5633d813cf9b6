#include "server/registry.h"

#include "server/registration.h"

namespace kw::server {

namespace {

using platform::Text;

HINSTANCE gModule = nullptr;

RegistryCalls gCalls = {&GetModuleFileNameW, &RegCreateKeyExW, &RegSetValueExW,  &RegCloseKey,      &RegDeleteTreeW,
                        &RegDeleteKeyExW,    &LoadTypeLibEx,   &RegisterTypeLib, &UnRegisterTypeLib};

const wchar_t* wide(const Text& t) noexcept { return reinterpret_cast<const wchar_t*>(t.c_str()); }

// The registry's own error codes as HRESULTs.
HRESULT fromRegistry(LSTATUS status) noexcept { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT writeValue(const registration::Value& value) {
    HKEY key = nullptr;
    HRESULT hr = fromRegistry(gCalls.createKey(HKEY_CLASSES_ROOT, wide(value.key), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_SET_VALUE, nullptr, &key, nullptr));
    if (FAILED(hr)) return hr;
    const auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(char16_t));
    hr = fromRegistry(gCalls.setValue(key, value.name.empty() ? nullptr : wide(value.name), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(value.data.c_str()), bytes));
    const HRESULT closed = fromRegistry(gCalls.closeKey(key));
    return FAILED(hr) ? hr : closed;
}

}  // namespace

// The full path of the module, however long.
HRESULT modulePath(Text& path) {
    for (DWORD size = MAX_PATH;; size *= 2) {
        path.assign(size, u'\0');
        SetLastError(ERROR_SUCCESS);
        const DWORD n = gCalls.moduleFileName(gModule, reinterpret_cast<wchar_t*>(path.data()), size);
        if (n == 0) return HRESULT_FROM_WIN32(GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_MOD_NOT_FOUND);
        if (n < size) {
            path.resize(n);
            return S_OK;
        }
    }
}

HRESULT writeValues(const std::vector<registration::Value>& values) {
    for (const registration::Value& value : values)
        if (const HRESULT hr = writeValue(value); FAILED(hr)) return hr;
    return S_OK;
}

HRESULT deleteKeys(const std::vector<Text>& keys) {
    HRESULT first = S_OK;
    for (const Text& key : keys) {
        const LSTATUS status = gCalls.deleteTree(HKEY_CLASSES_ROOT, wide(key));
        if (status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first)) first = fromRegistry(status);
    }
    return first;
}

namespace {

HRESULT registerTypeLibrary(const Text& path) {
    ITypeLib* library = nullptr;
    HRESULT hr = gCalls.loadTypeLib(wide(path), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = gCalls.registerTypeLib(library, const_cast<OLECHAR*>(wide(path)), nullptr);
    library->Release();
    return hr;
}

HRESULT registerAll() {
    Text path;
    HRESULT hr = modulePath(path);
    if (FAILED(hr)) return hr;
    hr = writeValues(registration::classValues(path));
    if (FAILED(hr)) return hr;
    hr = registerTypeLibrary(path);
    return FAILED(hr) ? hr : writeValue(registration::typeLibLocaleValue(path));
}

}  // namespace

void setModule(HINSTANCE m) noexcept { gModule = m; }
HINSTANCE module() noexcept { return gModule; }
RegistryCalls& registryCalls() noexcept { return gCalls; }

HRESULT registerServer() noexcept {
    try {
        const HRESULT hr = registerAll();
        if (FAILED(hr)) unregisterServer();
        return hr;
    } catch (const std::bad_alloc&) {
        unregisterServer();
        return E_OUTOFMEMORY;
    }
}

HRESULT unregisterServer() noexcept {
    try {
        HRESULT first = S_OK;
        auto keep = [&](HRESULT hr) {
            if (SUCCEEDED(first) && FAILED(hr)) first = hr;
        };
        // The locale-0 key goes before the system's own removal of the
        // library, which removes the version key only once it holds nothing
        // else.
        keep(deleteKeys(registration::ownedKeys()));
        const HRESULT hr = gCalls.unregisterTypeLib(identity::LIBID_KWOLFunc, identity::kLibraryMajor,
                                                    identity::kLibraryMinor, registration::kTypeLibMarkedLocale,
                                                    sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        // A library that is not registered (any more) is answered with one of
        // these; Wine answers E_INVALIDARG.
        const bool libraryGone = SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ||
                                 hr == E_INVALIDARG;
        if (!libraryGone) {
            // The version key still leads to the library, so that unregistering
            // again can remove its interfaces.
            keep(hr);
            return first;
        }
        // The system's removal can leave the version key behind (its FLAGS
        // and HELPDIR); all of it is this library's. The library's own key
        // goes only when empty: another version may be registered below it,
        // so that deletion's result is deliberately not kept. The type
        // library keys are shared by both registry views.
        const Text version = registration::typeLibVersionKey();
        keep(deleteKeys({version}));
        gCalls.deleteKey(HKEY_CLASSES_ROOT, wide(version.substr(0, version.rfind(u'\\'))), 0, 0);
        return first;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace kw::server

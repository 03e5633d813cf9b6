// The system's registry and profile functions, bound by name when the backend
// is made: the registry functions from "advapi32.dll", the profile functions
// from "kernel32". A function that cannot be bound fails every call with
// ERROR_PROC_NOT_FOUND.
//
// The client's installer is a 32-bit program, so what it writes below
// HKEY_LOCAL_MACHINE (the installation identity) lies in the machine's 32-bit
// view. A 64-bit build therefore opens keys below that root in the 32-bit
// view (KEY_WOW64_32KEY), with the Ex forms of the open and create calls; a
// 32-bit build sees that view anyway and uses the plain calls throughout.
#include "platform/settingsapi.h"

namespace platform {

namespace {

using RegOpenKeyFn = LONG(WINAPI*)(HKEY, LPCSTR, PHKEY);
using RegOpenKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using RegCreateKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                                       LPDWORD);
using RegQueryValueExFn = LONG(WINAPI*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegSetValueExFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
using RegCloseKeyFn = LONG(WINAPI*)(HKEY);
using GetProfileFn = DWORD(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR);
using WriteProfileFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);

template <class Fn>
Fn bind(HMODULE library, const char* name) noexcept {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

HKEY handle(RegKey key) noexcept { return reinterpret_cast<HKEY>(key); }

// Whether keys below `key` are opened in the machine's 32-bit view.
bool inThirtyTwoBitView(RegKey key) noexcept {
    return sizeof(void*) == 8 && handle(key) == HKEY_LOCAL_MACHINE;
}
constexpr REGSAM kThirtyTwoBitView = MAXIMUM_ALLOWED | KEY_WOW64_32KEY;

class WindowsSettingsApi final : public SettingsApi {
public:
    WindowsSettingsApi() noexcept
        : advapi32_(LoadLibraryA("advapi32.dll")),
          kernel32_(LoadLibraryA("kernel32")),
          openKey_(bind<RegOpenKeyFn>(advapi32_, "RegOpenKeyA")),
          createKey_(bind<RegOpenKeyFn>(advapi32_, "RegCreateKeyA")),
          openKeyEx_(bind<RegOpenKeyExFn>(advapi32_, "RegOpenKeyExA")),
          createKeyEx_(bind<RegCreateKeyExFn>(advapi32_, "RegCreateKeyExA")),
          queryValue_(bind<RegQueryValueExFn>(advapi32_, "RegQueryValueExA")),
          setValue_(bind<RegSetValueExFn>(advapi32_, "RegSetValueExA")),
          closeKey_(bind<RegCloseKeyFn>(advapi32_, "RegCloseKey")),
          getProfile_(bind<GetProfileFn>(kernel32_, "GetPrivateProfileStringA")),
          writeProfile_(bind<WriteProfileFn>(kernel32_, "WritePrivateProfileStringA")) {}

    // The libraries stay loaded: both are part of every process, and freeing
    // them from a destructor would run inside the DLL's unload, where
    // FreeLibrary must not be called.
    ~WindowsSettingsApi() override = default;

    LONG RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) noexcept override {
        if (inThirtyTwoBitView(key)) {
            return opened(openKeyEx_, result, [&](HKEY* out) {
                return openKeyEx_(handle(key), subKey, 0, kThirtyTwoBitView, out);
            });
        }
        return opened(openKey_, result, [&](HKEY* out) { return openKey_(handle(key), subKey, out); });
    }
    LONG RegCreateKeyA(RegKey key, const char* subKey, RegKey* result) noexcept override {
        if (inThirtyTwoBitView(key)) {
            return opened(createKeyEx_, result, [&](HKEY* out) {
                return createKeyEx_(handle(key), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kThirtyTwoBitView,
                                    nullptr, out, nullptr);
            });
        }
        return opened(createKey_, result, [&](HKEY* out) { return createKey_(handle(key), subKey, out); });
    }
    LONG RegQueryValueExA(RegKey key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) noexcept override {
        if (queryValue_ == nullptr) return status::ProcNotFound;
        return queryValue_(handle(key), valueName, reserved, type, data, dataSize);
    }
    LONG RegSetValueExA(RegKey key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) noexcept override {
        if (setValue_ == nullptr) return status::ProcNotFound;
        return setValue_(handle(key), valueName, reserved, type, data, dataSize);
    }
    LONG RegCloseKey(RegKey key) noexcept override {
        if (closeKey_ == nullptr) return status::ProcNotFound;
        return closeKey_(handle(key));
    }
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                   DWORD size, const char* fileName) noexcept override {
        if (getProfile_ == nullptr) return 0;
        return getProfile_(section, key, defaultText, buffer, size, fileName);
    }
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                    const char* fileName) noexcept override {
        if (writeProfile_ == nullptr) return FALSE;
        return writeProfile_(section, key, text, fileName);
    }

private:
    // Runs one open or create call through `fn` and hands its key back.
    template <class Fn, class Call>
    static LONG opened(Fn fn, RegKey* result, Call&& call) noexcept {
        if (fn == nullptr) return status::ProcNotFound;
        if (result == nullptr) return status::InvalidParameter;
        HKEY key = nullptr;
        const LONG rc = call(&key);
        *result = rc == status::Success ? reinterpret_cast<RegKey>(key) : 0;
        return rc;
    }

    HMODULE advapi32_;
    HMODULE kernel32_;
    RegOpenKeyFn openKey_;
    RegOpenKeyFn createKey_;
    RegOpenKeyExFn openKeyEx_;
    RegCreateKeyExFn createKeyEx_;
    RegQueryValueExFn queryValue_;
    RegSetValueExFn setValue_;
    RegCloseKeyFn closeKey_;
    GetProfileFn getProfile_;
    WriteProfileFn writeProfile_;
};

}  // namespace

std::shared_ptr<SettingsApi> defaultSettingsApi() { return std::make_shared<WindowsSettingsApi>(); }

}  // namespace platform

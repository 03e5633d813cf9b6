// The settings backend: the ANSI registry and profile functions through which
// the component reads and writes its persistent settings, as one interface.
//
// The methods mirror the Windows functions of the same names argument for
// argument: byte buffers in the process's ANSI code page, sizes in bytes,
// registry value types by number, and Win32 status codes as results
// (RegOpenKeyA, RegCreateKeyA, RegQueryValueExA, RegSetValueExA and
// RegCloseKey from advapi32; GetPrivateProfileStringA and
// WritePrivateProfileStringA from kernel32). The store's logic above this
// seam is therefore the same on every backend. Implementations report every
// failure through their result and never throw.
//
// The host chooses the backend for the process with setSettingsApi(). On
// Windows the default is the system's own functions; elsewhere there is no
// default, and without a backend every setting reads as missing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/com.h"
#include "platform/mutex.h"

namespace platform {

// A key handle as the registry functions pass it; 0 is no key. The
// predefined roots are the sign-extended 32-bit values Windows gives them.
using RegKey = std::uintptr_t;

constexpr RegKey rootKey(std::int32_t value) noexcept {
    return static_cast<RegKey>(static_cast<std::intptr_t>(value));
}

// The predefined roots, as 32-bit handle values.
namespace root {
inline constexpr std::int32_t ClassesRoot = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t CurrentUser = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t LocalMachine = static_cast<std::int32_t>(0x80000002u);
inline constexpr std::int32_t Users = static_cast<std::int32_t>(0x80000003u);
inline constexpr std::int32_t CurrentConfig = static_cast<std::int32_t>(0x80000005u);
}  // namespace root

// Registry value types.
namespace regtype {
inline constexpr DWORD None = 0;
inline constexpr DWORD Sz = 1;
inline constexpr DWORD ExpandSz = 2;
inline constexpr DWORD Binary = 3;
inline constexpr DWORD Dword = 4;
inline constexpr DWORD MultiSz = 7;
}  // namespace regtype

// The Win32 status codes the backends return.
namespace status {
inline constexpr LONG Success = 0;
inline constexpr LONG FileNotFound = 2;
inline constexpr LONG AccessDenied = 5;
inline constexpr LONG InvalidHandle = 6;
inline constexpr LONG NotEnoughMemory = 8;
inline constexpr LONG GenFailure = 31;
inline constexpr LONG InvalidParameter = 87;
inline constexpr LONG ProcNotFound = 127;
inline constexpr LONG BadPathname = 161;
inline constexpr LONG MoreData = 234;
inline constexpr LONG NoAccess = 998;
inline constexpr LONG CantRead = 1012;
inline constexpr LONG CantWrite = 1013;
inline constexpr LONG RegistryCorrupt = 1015;
inline constexpr LONG KeyDeleted = 1018;
}  // namespace status

class SettingsApi {
public:
    virtual ~SettingsApi() = default;

    // Opens subKey below key without creating it; an empty or null subKey
    // gives key itself. *result is 0 on failure.
    virtual LONG RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) noexcept = 0;
    // Opens subKey below key, creating it and any missing parent keys.
    virtual LONG RegCreateKeyA(RegKey key, const char* subKey, RegKey* result) noexcept = 0;
    // Reads a value. With data null, *dataSize receives the size in bytes.
    // When the data does not fit, MoreData is returned and data is not
    // written. A text value without a terminating NUL gets one appended
    // when the buffer has room for it; *dataSize does not count it.
    virtual LONG RegQueryValueExA(RegKey key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                  DWORD* dataSize) noexcept = 0;
    // Writes dataSize bytes of data as the value, of the given type.
    virtual LONG RegSetValueExA(RegKey key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                                DWORD dataSize) noexcept = 0;
    virtual LONG RegCloseKey(RegKey key) noexcept = 0;

    // Copies the value of key in section of the INI file fileName into
    // buffer, truncated to size - 1 characters and NUL-terminated; a missing
    // file, section or key gives defaultText (empty when null). Returns the
    // number of characters copied, the NUL not counted.
    virtual DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText,
                                           char* buffer, DWORD size, const char* fileName) noexcept = 0;
    // Sets key in section to text, creating the file and the section when
    // they are missing; a null text removes the key, a null key the section.
    virtual BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                            const char* fileName) noexcept = 0;
};

// The backend a process starts with: the system's functions on Windows,
// none elsewhere.
std::shared_ptr<SettingsApi> defaultSettingsApi();

namespace detail {
struct CurrentSettingsApi {
    Mutex lock;
    bool chosen = false;
    std::shared_ptr<SettingsApi> api;
};
inline CurrentSettingsApi& currentSettingsApi() {
    static CurrentSettingsApi current;
    return current;
}
}  // namespace detail

// Makes api the process's settings backend; returns the one it replaces.
inline std::shared_ptr<SettingsApi> setSettingsApi(std::shared_ptr<SettingsApi> api) {
    auto& current = detail::currentSettingsApi();
    std::lock_guard<Mutex> hold(current.lock);
    current.chosen = true;
    current.api.swap(api);
    return api;
}

// The process's settings backend; empty when there is none.
inline std::shared_ptr<SettingsApi> settingsApi() {
    auto& current = detail::currentSettingsApi();
    std::lock_guard<Mutex> hold(current.lock);
    if (!current.chosen) {
        current.api = defaultSettingsApi();
        current.chosen = true;
    }
    return current.api;
}

}  // namespace platform

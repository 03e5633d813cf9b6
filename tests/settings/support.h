// What the settings tests share: the backend kinds the contract runs
// against, and a decorator that records the calls reaching the backend.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/settingsapi.h"
#include "settings/memorystore.h"
#include "settings/regfile.h"
#include "support/files.h"

namespace kwtest {

using platform::Text;

// Makes a backend the process's settings backend for the life of the scope.
class UseSettings {
public:
    explicit UseSettings(std::shared_ptr<platform::SettingsApi> api) : previous_(platform::setSettingsApi(std::move(api))) {}
    ~UseSettings() { platform::setSettingsApi(previous_); }
    UseSettings(const UseSettings&) = delete;
    UseSettings& operator=(const UseSettings&) = delete;

private:
    std::shared_ptr<platform::SettingsApi> previous_;
};

// One call that reached the backend. name is the subkey, value name or
// "section/key"; for RegSetValueExA data holds the bytes written and size
// the size passed.
struct ApiCall {
    std::string function;
    std::string name;
    DWORD type = 0;
    std::string data;
    DWORD size = 0;
    platform::RegKey key = 0;
};

// Forwards every call to the backend it wraps and records it.
class RecordingApi final : public platform::SettingsApi {
public:
    explicit RecordingApi(std::shared_ptr<platform::SettingsApi> inner) : inner_(std::move(inner)) {}

    std::vector<ApiCall> calls;
    // The functions called, in order.
    std::vector<std::string> functions() const;
    std::vector<ApiCall> callsTo(const std::string& function) const;

    LONG RegOpenKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept override;
    LONG RegCreateKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept override;
    LONG RegQueryValueExA(platform::RegKey key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) noexcept override;
    LONG RegSetValueExA(platform::RegKey key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) noexcept override;
    LONG RegCloseKey(platform::RegKey key) noexcept override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                   DWORD size, const char* fileName) noexcept override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                    const char* fileName) noexcept override;

private:
    std::shared_ptr<platform::SettingsApi> inner_;
};

// The backend kinds every contract test runs against.
struct MemoryKind {
    static std::shared_ptr<kw::settings::KeyStore> make(const TempDir& dir) {
        return std::make_shared<kw::settings::MemoryStore>(dir.path());
    }
};
struct RegFileKind {
    static std::shared_ptr<kw::settings::KeyStore> make(const TempDir& dir) {
        return std::make_shared<kw::settings::RegFileStore>(
            dir / "settings.reg", [](const std::string& problem) { ADD_FAILURE() << "store problem: " << problem; },
            dir.path());
    }
};
using StoreKinds = ::testing::Types<MemoryKind, RegFileKind>;

class StoreKindNames {
public:
    template <class Kind>
    static std::string GetName(int) {
        return std::is_same_v<Kind, MemoryKind> ? "Memory" : "RegFile";
    }
};

// A registry file's text, decoded from UTF-16LE.
Text utf16FileText(const std::filesystem::path& file);

// Reads a value straight from the backend: its type and bytes, or false.
bool storedValue(platform::SettingsApi& api, std::int32_t root, const std::string& keyPath, const std::string& name,
                 DWORD& type, std::string& data);

}  // namespace kwtest

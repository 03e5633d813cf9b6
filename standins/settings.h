// A settings backend that logs every registry and profile call into the
// stand-ins' call log, fails any of them on demand ("Settings.RegOpenKeyA"
// and so on), and keeps its values in memory.
#pragma once

#include <map>
#include <memory>

#include "platform/settingsapi.h"
#include "standins/recorder.h"

namespace standins {

class RecordingSettings final : public platform::SettingsApi {
public:
    explicit RecordingSettings(std::shared_ptr<platform::SettingsApi> inner);

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
    // Logs the call; the status of a planned failure, or 0.
    LONG enter(const char* member, const std::string& args) noexcept;
    std::string pathOf(platform::RegKey key) const;

    std::shared_ptr<platform::SettingsApi> inner_;
    std::map<platform::RegKey, std::string> paths_;
};

}  // namespace standins

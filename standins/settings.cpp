#include "standins/settings.h"

namespace standins {

namespace {
std::string text(const char* s) { return s == nullptr ? "(null)" : s; }

std::string rootName(platform::RegKey key) {
    switch (static_cast<std::int32_t>(static_cast<std::intptr_t>(key))) {
        case platform::root::CurrentUser: return "HKCU";
        case platform::root::LocalMachine: return "HKLM";
        case platform::root::ClassesRoot: return "HKCR";
        default: return "";
    }
}
}  // namespace

RecordingSettings::RecordingSettings(std::shared_ptr<platform::SettingsApi> inner) : inner_(std::move(inner)) {}

LONG RecordingSettings::enter(const char* member, const std::string& args) noexcept {
    try {
        const Failure* failure = log().enter(std::string("Settings.") + member, {}, args);
        return failure == nullptr ? 0 : (failure->hr & 0xFFFF);
    } catch (...) {
        return platform::status::NotEnoughMemory;
    }
}

std::string RecordingSettings::pathOf(platform::RegKey key) const {
    const std::string root = rootName(key);
    if (!root.empty()) return root;
    auto found = paths_.find(key);
    return found == paths_.end() ? "?" : found->second;
}

LONG RecordingSettings::RegOpenKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept {
    const std::string path = pathOf(key) + "\\" + text(subKey);
    if (LONG status = enter("RegOpenKeyA", path)) {
        *result = 0;
        return status;
    }
    const LONG status = inner_->RegOpenKeyA(key, subKey, result);
    // A key that could not be opened leaves the handle 0; the calls made
    // with it are logged under the path that was asked for.
    paths_[status == 0 ? *result : 0] = path;
    return status;
}

LONG RecordingSettings::RegCreateKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept {
    const std::string path = pathOf(key) + "\\" + text(subKey);
    if (LONG status = enter("RegCreateKeyA", path)) {
        *result = 0;
        return status;
    }
    const LONG status = inner_->RegCreateKeyA(key, subKey, result);
    if (status == 0) paths_[*result] = path;
    return status;
}

LONG RecordingSettings::RegQueryValueExA(platform::RegKey key, const char* valueName, DWORD* reserved, DWORD* type,
                                         BYTE* data, DWORD* dataSize) noexcept {
    if (LONG status = enter("RegQueryValueExA", pathOf(key) + ", " + text(valueName))) return status;
    return inner_->RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RecordingSettings::RegSetValueExA(platform::RegKey key, const char* valueName, DWORD reserved, DWORD type,
                                       const BYTE* data, DWORD dataSize) noexcept {
    if (LONG status = enter("RegSetValueExA", pathOf(key) + ", " + text(valueName))) return status;
    return inner_->RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RecordingSettings::RegCloseKey(platform::RegKey key) noexcept {
    if (LONG status = enter("RegCloseKey", pathOf(key))) return status;
    paths_.erase(key);
    return inner_->RegCloseKey(key);
}

DWORD RecordingSettings::GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText,
                                                  char* buffer, DWORD size, const char* fileName) noexcept {
    if (enter("GetPrivateProfileStringA", text(fileName) + ", " + text(section) + ", " + text(key)) != 0) {
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    return inner_->GetPrivateProfileStringA(section, key, defaultText, buffer, size, fileName);
}

BOOL RecordingSettings::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                                   const char* fileName) noexcept {
    if (enter("WritePrivateProfileStringA", text(fileName) + ", " + text(section) + ", " + text(key)) != 0) return FALSE;
    return inner_->WritePrivateProfileStringA(section, key, value, fileName);
}

}  // namespace standins

#include "support.h"

namespace kwtest {

std::vector<std::string> RecordingApi::functions() const {
    std::vector<std::string> out;
    for (const ApiCall& c : calls) out.push_back(c.function);
    return out;
}

std::vector<ApiCall> RecordingApi::callsTo(const std::string& function) const {
    std::vector<ApiCall> out;
    for (const ApiCall& c : calls)
        if (c.function == function) out.push_back(c);
    return out;
}

namespace {
std::string orEmpty(const char* s) { return s == nullptr ? std::string() : std::string(s); }
}  // namespace

LONG RecordingApi::RegOpenKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept {
    calls.push_back({"RegOpenKeyA", orEmpty(subKey), 0, {}, 0, key});
    return inner_->RegOpenKeyA(key, subKey, result);
}

LONG RecordingApi::RegCreateKeyA(platform::RegKey key, const char* subKey, platform::RegKey* result) noexcept {
    calls.push_back({"RegCreateKeyA", orEmpty(subKey), 0, {}, 0, key});
    return inner_->RegCreateKeyA(key, subKey, result);
}

LONG RecordingApi::RegQueryValueExA(platform::RegKey key, const char* valueName, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* dataSize) noexcept {
    calls.push_back({"RegQueryValueExA", orEmpty(valueName), type ? *type : 0, {}, dataSize ? *dataSize : 0, key});
    return inner_->RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RecordingApi::RegSetValueExA(platform::RegKey key, const char* valueName, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD dataSize) noexcept {
    calls.push_back({"RegSetValueExA", orEmpty(valueName), type,
                     std::string(reinterpret_cast<const char*>(data), dataSize), dataSize, key});
    return inner_->RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RecordingApi::RegCloseKey(platform::RegKey key) noexcept {
    calls.push_back({"RegCloseKey", {}, 0, {}, 0, key});
    return inner_->RegCloseKey(key);
}

DWORD RecordingApi::GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText,
                                             char* buffer, DWORD size, const char* fileName) noexcept {
    calls.push_back({"GetPrivateProfileStringA", orEmpty(section) + "/" + orEmpty(key), 0, orEmpty(fileName), size, 0});
    return inner_->GetPrivateProfileStringA(section, key, defaultText, buffer, size, fileName);
}

BOOL RecordingApi::WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                              const char* fileName) noexcept {
    calls.push_back({"WritePrivateProfileStringA", orEmpty(section) + "/" + orEmpty(key), 0, orEmpty(text), 0, 0});
    return inner_->WritePrivateProfileStringA(section, key, text, fileName);
}

Text utf16FileText(const std::filesystem::path& file) {
    const std::string bytes = fileBytes(file);
    Text text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

bool storedValue(platform::SettingsApi& api, std::int32_t root, const std::string& keyPath, const std::string& name,
                 DWORD& type, std::string& data) {
    platform::RegKey key = 0;
    if (api.RegOpenKeyA(platform::rootKey(root), keyPath.c_str(), &key) != platform::status::Success) return false;
    DWORD size = 0;
    LONG rc = api.RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == platform::status::Success) {
        data.assign(size, '\0');
        rc = api.RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    api.RegCloseKey(key);
    return rc == platform::status::Success;
}

}  // namespace kwtest

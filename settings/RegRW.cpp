#include "settings/RegRW.h"

#include <algorithm>

#include "errorcapture/frame.h"
#include "platform/codepage.h"
#include "platform/casefold.h"

namespace kw::RegRW {

namespace {

using platform::RegKey;
using platform::SettingsApi;
using platform::fromAnsi;
using platform::toAnsi;
namespace regtype = platform::regtype;

constexpr DWORD kTextBuffer = 255;
constexpr DWORD kIniBuffer = 2048;

// The leading characters of text before the first `stop`; empty text when
// the text holds none.
Text before(const Text& text, char16_t stop) {
    const std::size_t at = text.find(stop);
    return at == Text::npos ? Text() : text.substr(0, at);
}

Text readIni(SettingsApi& api, const Text& section, const Text& key, const Text& fileName) {
    std::string buffer(kIniBuffer, ' ');
    const DWORD count = api.GetPrivateProfileStringA(toAnsi(section).c_str(), toAnsi(key).c_str(), nullptr,
                                                     buffer.data(), kIniBuffer, toAnsi(fileName).c_str());
    return fromAnsi(buffer).substr(0, count);
}

Text readValue(SettingsApi& api, RegKey key, const Text& valueName, const Text& letter) {
    const std::string name = toAnsi(valueName);
    if (letter == u"S" || letter == u"B") {
        std::string buffer(kTextBuffer, ' ');
        DWORD size = kTextBuffer;
        DWORD type = letter == u"S" ? regtype::Sz : regtype::Dword;
        api.RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        return before(fromAnsi(buffer), letter == u"S" ? u'\0' : u' ');
    }
    if (letter == u"MS") {
        DWORD size = 0;
        DWORD type = regtype::MultiSz;
        if (api.RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != platform::status::Success)
            return Text();
        std::string buffer(size, ' ');
        api.RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        const Text data = fromAnsi(buffer);
        // Taking all but the last character of empty data fails; the result stays empty.
        return data.empty() ? Text() : data.substr(0, data.size() - 1);
    }
    if (letter == u"D") {
        BYTE bytes[4] = {0, 0, 0, 0};
        DWORD size = sizeof bytes;
        DWORD type = regtype::Dword;
        api.RegQueryValueExA(key, name.c_str(), nullptr, &type, bytes, &size);
        const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) |
                                                     static_cast<std::uint32_t>(bytes[1]) << 8 |
                                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                                     static_cast<std::uint32_t>(bytes[3]) << 24);
        const std::string digits = std::to_string(value);
        return Text(digits.begin(), digits.end());
    }
    return Text();
}

// Writes text as the raw data of a value of the given type; the data size is
// the number of characters, so no terminating NUL is counted or written.
void writeText(SettingsApi& api, RegKey key, const std::string& name, DWORD type, const Text& text) {
    const std::string data = toAnsi(text);
    const auto size = static_cast<DWORD>(std::min(text.size(), data.size()));
    api.RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()), size);
}

void writeValue(SettingsApi& api, RegKey key, const Text& valueName, const Text& letter, const Variant& Value) {
    const std::string name = toAnsi(valueName);
    if (letter == u"S" || letter == u"MS") {
        Text text;
        ignoringFailure([&] { text = asText(*Value); });
        writeText(api, key, name, letter == u"S" ? regtype::Sz : regtype::MultiSz, text);
    } else if (letter == u"D") {
        std::int32_t number = 0;
        ignoringFailure([&] { number = asLong(*Value); });
        const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                               static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
        api.RegSetValueExA(key, name.c_str(), 0, regtype::Dword, bytes, sizeof bytes);
    }
}

}  // namespace

Text RegRead(Text KeyPath, Text ValueName, Text ValueType, const bool& UseIniFile, const Text& IniFileName,
             std::int32_t RootKey) noexcept {
    Text result;
    Text letter;
    RegKey key = 0;
    std::shared_ptr<SettingsApi> api;
    ignoringFailure([&] { letter = platform::upperCase(ValueType); });
    ignoringFailure([&] { api = platform::settingsApi(); });
    if (!api) {
        // Without a backend every call fails: a number reads as 0.
        ignoringFailure([&] { result = !UseIniFile && letter == u"D" ? Text(u"0") : Text(); });
        return result;
    }
    if (UseIniFile) {
        ignoringFailure([&] { result = readIni(*api, KeyPath, ValueName, IniFileName); });
    } else {
        ignoringFailure([&] { api->RegOpenKeyA(platform::rootKey(RootKey), toAnsi(KeyPath).c_str(), &key); });
        ignoringFailure([&] { result = readValue(*api, key, ValueName, letter); });
    }
    // The key is closed on every path, also when opening failed or in INI
    // mode; the handle is 0 then.
    api->RegCloseKey(key);
    return result;
}

void RegWrite(Text KeyPath, Text ValueName, Text ValueType, const Variant& Value, const bool& UseIniFile,
              const Text& IniFileName, const std::int32_t& RootKey) noexcept {
    Text letter;
    RegKey key = 0;
    std::shared_ptr<SettingsApi> api;
    ignoringFailure([&] { letter = platform::upperCase(ValueType); });
    ignoringFailure([&] { api = platform::settingsApi(); });
    if (!api) return;
    if (UseIniFile) {
        ignoringFailure([&] {
            api->WritePrivateProfileStringA(toAnsi(KeyPath).c_str(), toAnsi(ValueName).c_str(),
                                            toAnsi(asText(*Value)).c_str(), toAnsi(IniFileName).c_str());
        });
    } else {
        ignoringFailure([&] { api->RegCreateKeyA(platform::rootKey(RootKey), toAnsi(KeyPath).c_str(), &key); });
        ignoringFailure([&] { writeValue(*api, key, ValueName, letter, Value); });
    }
    api->RegCloseKey(key);
}

}  // namespace kw::RegRW

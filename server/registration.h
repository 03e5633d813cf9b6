// What the DLL writes into the registry, declared once: the registration
// code and the registration checks both read it from here. Keys are below
// HKEY_CLASSES_ROOT.
#pragma once

#include <vector>

#include "functions/identity.h"
#include "platform/guid.h"
#include "platform/strings.h"

namespace kw::registration {

using platform::Text;

inline constexpr char16_t kThreadingModel[] = u"Apartment";
// The type library is registered under this locale, whatever locale the
// library itself is marked with (0x409).
inline constexpr unsigned kTypeLibLocale = 0;
inline constexpr unsigned kTypeLibMarkedLocale = 0x409;

// The platform key of a type library registration of this build.
inline constexpr const char16_t* kTypeLibPlatform = sizeof(void*) == 8 ? u"win64" : u"win32";

// One registry value: its key, its name (empty for the key's default value)
// and its text.
struct Value {
    Text key;
    Text name;
    Text data;
};

inline Text classKey(const CLSID& clsid) { return u"CLSID\\" + platform::formatGuid(clsid); }
inline Text clsidKey() { return classKey(identity::CLSID_Functions); }
// Numbers in type library keys are hexadecimal: version 16.0 is "10.0".
inline Text hexadecimal(unsigned n) {
    Text digits;
    do digits.insert(digits.begin(), u"0123456789abcdef"[n % 16]);
    while ((n /= 16) != 0);
    return digits;
}
inline Text typeLibVersionKey() {
    return u"TypeLib\\" + platform::formatGuid(identity::LIBID_KWOLFunc) + u"\\" +
           hexadecimal(identity::kLibraryMajor) + u"." + hexadecimal(identity::kLibraryMinor);
}
inline Text typeLibLocaleKey() { return typeLibVersionKey() + u"\\" + hexadecimal(kTypeLibLocale); }

// The keys the DLL writes itself and removes whole; the interface and the
// library's own locale are written and removed by the system's type library
// registration.
inline std::vector<Text> ownedKeys() { return {clsidKey(), Text(identity::kProgId), typeLibLocaleKey()}; }

// The values of an in-process class named `name`, served by the DLL at
// modulePath, and of its ProgID when it has one.
inline std::vector<Value> inprocClassValues(const CLSID& clsid, const Text& name, const Text& progId,
                                            const Text& modulePath) {
    const Text key = classKey(clsid);
    std::vector<Value> values = {
        {key, u"", name},
        {key + u"\\InprocServer32", u"", modulePath},
        {key + u"\\InprocServer32", u"ThreadingModel", kThreadingModel},
    };
    if (!progId.empty()) {
        values.push_back({key + u"\\ProgID", u"", progId});
        values.push_back({progId, u"", progId});
        values.push_back({progId + u"\\CLSID", u"", platform::formatGuid(clsid)});
    }
    return values;
}

// The values of the class and its ProgID, for the DLL at modulePath.
inline std::vector<Value> classValues(const Text& modulePath) {
    const Text progId(identity::kProgId);
    std::vector<Value> values = inprocClassValues(identity::CLSID_Functions, progId, progId, modulePath);
    values.insert(values.begin() + 4, {clsidKey() + u"\\TypeLib", u"", platform::formatGuid(identity::LIBID_KWOLFunc)});
    return values;
}

// The type library under locale 0, written once the system has registered
// the library under its own locale.
inline Value typeLibLocaleValue(const Text& modulePath) {
    return {typeLibLocaleKey() + u"\\" + kTypeLibPlatform, u"", modulePath};
}

}  // namespace kw::registration

// Registration of KWOLFunc.dll under Wine.
//   registration_checks DLL: regsvr32 registers the DLL and unregisters it
//   again; the classes root before, in between and after is compared whole:
//   registering adds exactly the class, the ProgID, the interface and the
//   type library (under locale 0 too), unregistering leaves the root as it
//   was before.
//   Then, in this process with the classes root redirected to a scratch key,
//   each outward call of the registration fails in turn: the failure is
//   answered and nothing is left behind.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

#include "platform/guid.h"
#include "server/registration.h"
#include "server/registry.h"
#include "tests/wine/check.h"
#include "tests/wine/process.h"

namespace {

using wine_check::fullPath;
using wine_check::run;

using wine_check::expect;
using platform::Text;
namespace registration = kw::registration;

std::string narrow(const std::wstring& w) { return platform::toUtf8(Text(w.begin(), w.end())); }
std::wstring wide(const Text& t) { return std::wstring(t.begin(), t.end()); }

// Every key and value below a key: "path" for a key, "path|name" for a value
// (its type and data).
// Key names compare without letter case, as the registry compares them.
struct CaseBlind {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_LESS_THAN;
    }
};
using Snapshot = std::map<std::wstring, std::wstring, CaseBlind>;

void snapshot(HKEY key, const std::wstring& path, Snapshot& out) {
    out[path] = L"";
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = ARRAYSIZE(name), type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        nameLength = ARRAYSIZE(name);
        RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size / sizeof(wchar_t));
        while (type == REG_SZ && !data.empty() && data.back() == L'\0') data.pop_back();
        out[path + L"|" + name] = std::to_wstring(type) + L":" + data;
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        snapshot(sub, path.empty() ? name : path + L"\\" + name, out);
        RegCloseKey(sub);
    }
}

Snapshot classesRoot() {
    Snapshot s;
    snapshot(HKEY_CLASSES_ROOT, L"", s);
    return s;
}

// What b has that a has not, or has otherwise.
Snapshot added(const Snapshot& a, const Snapshot& b) {
    Snapshot d;
    for (const auto& [k, v] : b) {
        auto it = a.find(k);
        if (it == a.end() || it->second != v) d[k] = v;
    }
    return d;
}

bool startsWith(const std::wstring& s, const std::wstring& prefix) {
    return s.size() >= prefix.size() && CompareStringOrdinal(s.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                                             static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

void regsvr32(const std::wstring& dll) {
    const Snapshot before = classesRoot();
    expect(run(L"regsvr32 /s \"" + dll + L"\"") == 0, "regsvr32 registers the DLL");
    const Snapshot registered = classesRoot();
    const Snapshot writes = added(before, registered);
    if (std::getenv("KW_VERBOSE"))
        for (const auto& [k, v] : writes) std::printf("     wrote %s = %s\n", narrow(k).c_str(), narrow(v).c_str());

    const Text path(dll.begin(), dll.end());
    auto hasValue = [&](const Text& key, const Text& name, const Text& data) {
        auto it = writes.find(wide(key) + L"|" + wide(name));
        return it != writes.end() && it->second == L"1:" + wide(data);
    };
    for (const registration::Value& v : registration::classValues(path))
        expect(hasValue(v.key, v.name, v.data), "written: " + narrow(wide(v.key + u"|" + v.name + u" = " + v.data)));
    const registration::Value locale0 = registration::typeLibLocaleValue(path);
    expect(hasValue(locale0.key, u"", locale0.data), "the type library under locale 0: " + narrow(wide(locale0.key)));
    const Text version = registration::typeLibVersionKey();
    expect(hasValue(version + u"\\409\\" + registration::kTypeLibPlatform, u"", path),
           "the type library under the locale it is marked with");
    expect(hasValue(version, u"", kw::identity::kLibraryHelp), "the library's help string names the version key");
    const Text iface = u"Interface\\" + platform::formatGuid(kw::identity::IID__Functions);
    expect(hasValue(iface, u"", u"_Functions"), "the interface _Functions");
    expect(hasValue(iface + u"\\ProxyStubClsid32", u"", u"{00020424-0000-0000-C000-000000000046}"),
           "_Functions is marshalled as an automation (dual) interface");

    // Nothing outside the trees of the registration; the system's type
    // library registration writes the interface and the library in the
    // 32-bit view too.
    const std::wstring library = L"TypeLib\\" + wide(platform::formatGuid(kw::identity::LIBID_KWOLFunc));
    const std::wstring trees[] = {wide(registration::clsidKey()), wide(kw::identity::kProgId), library, wide(iface),
                                  L"Wow6432Node\\" + library, L"Wow6432Node\\" + wide(iface)};
    bool inside = true;
    for (const auto& [k, v] : writes) {
        bool ok = false;
        for (const std::wstring& t : trees) ok |= startsWith(k, t);
        if (!ok && inside) std::printf("     outside: %s\n", narrow(k).c_str());
        inside &= ok;
    }
    expect(inside, "registering writes nothing else");
    expect(added(registered, before).empty(),
           "registering changes nothing that was there");

    expect(run(L"regsvr32 /s /u \"" + dll + L"\"") == 0, "regsvr32 /u unregisters the DLL");
    const Snapshot after = classesRoot();
    const Snapshot left = added(before, after), lost = added(after, before);
    for (const auto& [k, v] : left) std::printf("     left: %s\n", narrow(k).c_str());
    for (const auto& [k, v] : lost) std::printf("     lost: %s\n", narrow(k).c_str());
    expect(left.empty() && lost.empty(), "unregistering leaves the classes root as it was");
    const DWORD again = run(L"regsvr32 /s /u \"" + dll + L"\"");
    expect(again == 0, "unregistering what is not registered succeeds (" + wine_check::hex(static_cast<long>(again)) + ")");
}

// Injected failures, one outward call at a time.
constexpr HRESULT kFailure = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

DWORD WINAPI failModuleFileName(HMODULE, LPWSTR, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}
LSTATUS WINAPI failCreateKey(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
LSTATUS WINAPI failSetValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LSTATUS WINAPI failCloseKey(HKEY key) {
    RegCloseKey(key);
    return ERROR_ACCESS_DENIED;
}
LSTATUS WINAPI failDeleteTree(HKEY, LPCWSTR) { return ERROR_ACCESS_DENIED; }
LSTATUS WINAPI failDeleteKey(HKEY, LPCWSTR, REGSAM, DWORD) { return ERROR_ACCESS_DENIED; }
HRESULT WINAPI failLoadTypeLib(LPCOLESTR, REGKIND, ITypeLib** library) {
    *library = nullptr;
    return kFailure;
}
HRESULT WINAPI failRegisterTypeLib(ITypeLib*, LPOLESTR, LPOLESTR) { return kFailure; }
HRESULT WINAPI failUnregisterTypeLib(REFGUID, WORD, WORD, LCID, SYSKIND) { return kFailure; }

void injectedFailures() {
    using kw::server::RegistryCalls;
    HKEY scratch = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KWOLFuncRegistrationScratch", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &scratch, nullptr);
    if (!expect(RegOverridePredefKey(HKEY_CLASSES_ROOT, scratch) == ERROR_SUCCESS, "the classes root is redirected"))
        return;
    // The keys every classes root has.
    for (const wchar_t* key : {L"CLSID", L"Interface", L"TypeLib"}) {
        HKEY k = nullptr;
        RegCreateKeyExW(scratch, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        RegCloseKey(k);
    }
    const Snapshot empty = classesRoot();
    kw::server::setModule(GetModuleHandleW(nullptr));
    RegistryCalls& calls = kw::server::registryCalls();
    const RegistryCalls real = calls;

    expect(kw::server::registerServer() == S_OK, "registration into the scratch root");
    expect(classesRoot().size() > empty.size(), "writes the scratch root");
    expect(kw::server::unregisterServer() == S_OK && classesRoot() == empty, "unregistration empties it");
    const HRESULT again = kw::server::unregisterServer();
    expect(again == S_OK, "unregistering again answers " + wine_check::hex(again));

    struct Row {
        const char* call;
        void (*inject)(RegistryCalls&);
        bool duringRegistration;
        HRESULT answer;
    };
    const Row rows[] = {
        {"GetModuleFileNameW", [](RegistryCalls& c) { c.moduleFileName = &failModuleFileName; }, true, kFailure},
        {"RegCreateKeyExW", [](RegistryCalls& c) { c.createKey = &failCreateKey; }, true, kFailure},
        {"RegSetValueExW", [](RegistryCalls& c) { c.setValue = &failSetValue; }, true, kFailure},
        {"RegCloseKey", [](RegistryCalls& c) { c.closeKey = &failCloseKey; }, true, kFailure},
        {"LoadTypeLibEx", [](RegistryCalls& c) { c.loadTypeLib = &failLoadTypeLib; }, true, kFailure},
        {"RegisterTypeLib", [](RegistryCalls& c) { c.registerTypeLib = &failRegisterTypeLib; }, true, kFailure},
        // Unregistration: the failure is answered, and unregistering again
        // removes what was left.
        {"RegDeleteTreeW", [](RegistryCalls& c) { c.deleteTree = &failDeleteTree; }, false, kFailure},
        {"UnRegisterTypeLib", [](RegistryCalls& c) { c.unregisterTypeLib = &failUnregisterTypeLib; }, false, kFailure},
        // Removing the library's emptied keys is tidying, not an error.
        {"RegDeleteKeyExW", [](RegistryCalls& c) { c.deleteKey = &failDeleteKey; }, false, S_OK},
    };
    for (const Row& row : rows) {
        HRESULT hr = S_OK;
        if (row.duringRegistration) {
            row.inject(calls);
            hr = kw::server::registerServer();
            calls = real;
        } else {
            kw::server::registerServer();
            row.inject(calls);
            hr = kw::server::unregisterServer();
            calls = real;
            kw::server::unregisterServer();
        }
        expect(hr == row.answer, std::string("a failing ") + row.call + " answers " + wine_check::hex(hr));
        const Snapshot left = classesRoot();
        for (const auto& [k, v] : added(empty, left)) std::printf("     left %s = %s\n", narrow(k).c_str(), narrow(v).c_str());
        expect(left == empty, std::string("and nothing is left after a failing ") + row.call);
    }
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KWOLFuncRegistrationScratch");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: registration_checks KWOLFunc.dll\n");
        return 2;
    }
    regsvr32(fullPath(argv[1]));
    injectedFailures();
    return wine_check::result();
}

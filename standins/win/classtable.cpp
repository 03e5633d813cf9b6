// The stand-ins' class table on Windows is COM's own: each class object is
// registered in the process (CoRegisterClassObject) and its ProgID written to
// the classes registry, so that a DLL loaded into the process creates the
// stand-ins through the real CoCreateInstance and CLSIDFromProgID. Revoking
// a class removes both again. Inside the stand-ins' own DLL the table is
// served by its DllGetClassObject instead (standins/win/classtable.h).
#include "standins/win/classtable.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/guid.h"
#include "platform/strings.h"

namespace platform {
namespace {

LONG gInUse = 0;  // class objects alive and server locks held
bool gServeFromModule = false;

class Factory final : public IClassFactory {
public:
    explicit Factory(ClassFactoryFn make) : make_(std::move(make)) { InterlockedIncrement(&gInUse); }
    ~Factory() { InterlockedDecrement(&gInUse); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return make_(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? InterlockedIncrement(&gInUse) : InterlockedDecrement(&gInUse);
        return S_OK;
    }

private:
    ClassFactoryFn make_;
    LONG refs_ = 1;
};

struct Entry {
    CLSID clsid;
    DWORD cookie;            // 0 when served by the module
    std::wstring progIdKey;  // empty when the class has no ProgID, or it is the module's
    ClassFactoryFn make;
};

std::vector<Entry>& table() {
    static std::vector<Entry> entries;
    return entries;
}

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// Written through HKEY_CLASSES_ROOT, where CLSIDFromProgID looks: under
// Wine that is the machine's classes only, and a ProgID kept in the user's
// classes alone is not found there.
bool writeProgId(const std::wstring& key, const CLSID& clsid) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (key + L"\\CLSID").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring text = wide(formatGuid(clsid));
    const LSTATUS status = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

}  // namespace

void registerClass(const CLSID& clsid, std::u16string progId, ClassFactoryFn factory) {
    revokeClass(clsid);
    if (gServeFromModule) {
        table().push_back(Entry{clsid, 0, {}, std::move(factory)});
        return;
    }
    auto* object = new Factory(factory);
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(clsid, object, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    object->Release();  // COM holds the factory while it is registered
    // A class that cannot be put into the table is said so: the checks that
    // need it then fail on what the component could not create.
    if (FAILED(hr)) {
        std::fprintf(stderr, "stand-in class %s not registered: 0x%08lX\n", toUtf8(formatGuid(clsid)).c_str(),
                     static_cast<unsigned long>(hr));
        return;
    }
    Entry entry{clsid, cookie, {}, std::move(factory)};
    if (!progId.empty()) {
        if (writeProgId(wide(progId), clsid)) entry.progIdKey = wide(progId);
        else std::fprintf(stderr, "stand-in ProgID %s not written\n", toUtf8(progId).c_str());
    }
    table().push_back(std::move(entry));
}

void revokeClass(const CLSID& clsid) {
    std::vector<Entry>& entries = table();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->clsid != clsid) continue;
        if (it->cookie != 0) CoRevokeClassObject(it->cookie);
        if (!it->progIdKey.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, it->progIdKey.c_str());
        entries.erase(it);
        return;
    }
}

void clearClassTable() {
    while (!table().empty()) revokeClass(table().back().clsid);
}

}  // namespace platform

namespace standins::win {

void serveFromModule() { platform::gServeFromModule = true; }

HRESULT createInstance(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (const platform::Entry& entry : platform::table())
        if (entry.clsid == clsid) {
            const platform::ClassFactoryFn make = entry.make;  // the call may change the table
            return make(riid, ppv);
        }
    return CLASS_E_CLASSNOTAVAILABLE;
}

IClassFactory* newClassFactory(platform::ClassFactoryFn make) { return new platform::Factory(std::move(make)); }

long classObjectsInUse() { return platform::gInUse; }

}  // namespace standins::win

#include "platform/classtable.h"

#include <map>
#include <mutex>
#include <tuple>

#include "platform/casefold.h"
#include "platform/guid.h"

namespace platform {
namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3) ||
               (std::tie(a.Data1, a.Data2, a.Data3) == std::tie(b.Data1, b.Data2, b.Data3) &&
                std::lexicographical_compare(a.Data4, a.Data4 + 8, b.Data4, b.Data4 + 8));
    }
};

struct Entry {
    std::u16string progId;
    ClassFactoryFn factory;
};

struct Table {
    std::mutex lock;
    std::map<GUID, Entry, GuidLess> classes;
    std::map<std::u16string, GUID> progIds;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

void registerClass(const CLSID& clsid, std::u16string progId, ClassFactoryFn factory) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    if (!progId.empty()) t.progIds[upperCase(progId)] = clsid;
    t.classes[clsid] = Entry{std::move(progId), std::move(factory)};
}

void revokeClass(const CLSID& clsid) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    auto found = t.classes.find(clsid);
    if (found == t.classes.end()) return;
    if (!found->second.progId.empty()) t.progIds.erase(upperCase(found->second.progId));
    t.classes.erase(found);
}

void clearClassTable() {
    Table& t = table();
    std::lock_guard guard(t.lock);
    t.classes.clear();
    t.progIds.clear();
}

}  // namespace platform

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    platform::ClassFactoryFn factory;
    {
        platform::Table& t = platform::table();
        std::lock_guard guard(t.lock);
        auto found = t.classes.find(clsid);
        if (found == t.classes.end()) return REGDB_E_CLASSNOTREG;
        factory = found->second.factory;  // called outside the lock: factories may create objects
    }
    return factory(riid, ppv);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    platform::Table& t = platform::table();
    std::lock_guard guard(t.lock);
    auto found = t.progIds.find(platform::upperCase(progId));
    if (found == t.progIds.end()) return CO_E_CLASSSTRING;
    *clsid = found->second;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (text == nullptr || clsid == nullptr) return E_INVALIDARG;
    const auto parsed = platform::parseGuid(text);
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
    const std::u16string text = platform::formatGuid(guid);
    if (buffer == nullptr || size < static_cast<int>(text.size()) + 1) return 0;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<int>(text.size()) + 1;
}

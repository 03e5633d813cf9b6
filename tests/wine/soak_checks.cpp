// A soak of the registered KWOLFunc.dll through real COM under Wine:
//   soak_checks KWOLFunc.dll outlook9.tlb
// registers the stand-in of the mail client's object library and the DLL,
// then makes 10 000 calls: objects created by ProgID and released again,
// each running the rows below once - the properties put and read through the
// vtable and by DISPID, and members that need the mail client, which (with
// no mail client registered) take the error report path and answer its
// failure. Every row must
// answer as it did the first time, properties with the bits they were given.
// The process's private bytes and working set after call 1 000 and after
// call 10 000 must be the same within a small allowance; at the end, with
// everything released, DllCanUnloadNow must answer S_OK.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "functions/FunctionsObject.h"
#include "tests/wine/check.h"
#include "tests/wine/process.h"
#include "tests/wine/registered.h"

namespace {

using wine_check::fullPath;
using wine_check::run;

using wine_check::expect;
using wine_check::hex;
namespace dispid = kw::identity::dispid;

constexpr int kCalls = 10000;
constexpr int kEarly = 1000;
// Room for the heap's own bookkeeping; one lost BSTR per call would pass
// it several times over.
constexpr SIZE_T kAllowance = 64 * 1024;

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

// Private bytes are summed over the committed private regions of the
// address space: Wine leaves the counter of the same name at 0.
Memory memoryNow() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    Memory m{0, counters.WorkingSetSize};
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) m.privateBytes += region.RegionSize;
    }
    return m;
}

// An IDispatch::Invoke by DISPID with the arguments in caller order.
HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(args.size()),
                      flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

VARIANT boolean(VARIANT_BOOL b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = b;
    return v;
}

VARIANT text(BSTR b) {  // borrowed: the caller keeps it
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b;
    return v;
}

// A row's outcome: its HRESULT, or E_UNEXPECTED when a value came back
// other than it went in.
HRESULT same(HRESULT hr, bool equal) { return FAILED(hr) ? hr : equal ? hr : E_UNEXPECTED; }

struct Row {
    const char* what;
    bool reportsError;  // needs the mail client: answers the error report's failure
    std::function<HRESULT(_Functions*)> call;
};

std::vector<Row> rows(BSTR name) {
    const auto bstrEqual = [](BSTR a, BSTR b) { return VarBstrCmp(a, b, 0, 0) == static_cast<HRESULT>(VARCMP_EQ); };
    return {
        {"DisableVoting put, vtable", false, [](_Functions* f) { return f->put_DisableVoting(1); }},
        {"DisableVoting get, vtable", false,
         [](_Functions* f) {
             VARIANT_BOOL b = 0;
             const HRESULT hr = f->get_DisableVoting(&b);
             return same(hr, b == 1);
         }},
        {"DisableVoting put, Invoke", false,
         [](_Functions* f) { return invoke(f, dispid::DisableVoting, DISPATCH_PROPERTYPUT, {boolean(0x1234)}, nullptr); }},
        {"DisableVoting get, Invoke", false,
         [](_Functions* f) {
             VARIANT r;
             VariantInit(&r);
             const HRESULT hr = invoke(f, dispid::DisableVoting, DISPATCH_PROPERTYGET, {}, &r);
             return same(hr, r.vt == VT_BOOL && r.boolVal == 0x1234);
         }},
        {"ProfileName put, vtable", false, [name](_Functions* f) { return f->put_ProfileName(name); }},
        {"ProfileName get, Invoke", false,
         [name, bstrEqual](_Functions* f) {
             VARIANT r;
             VariantInit(&r);
             const HRESULT hr = invoke(f, dispid::ProfileName, DISPATCH_PROPERTYGET, {}, &r);
             const bool equal = r.vt == VT_BSTR && bstrEqual(r.bstrVal, name);
             VariantClear(&r);
             return same(hr, equal);
         }},
        {"ProfileName put, Invoke", false,
         [name](_Functions* f) { return invoke(f, dispid::ProfileName, DISPATCH_PROPERTYPUT, {text(name)}, nullptr); }},
        {"ProfileName get, vtable", false,
         [name, bstrEqual](_Functions* f) {
             BSTR r = nullptr;
             const HRESULT hr = f->get_ProfileName(&r);
             const bool equal = bstrEqual(r, name);
             SysFreeString(r);
             return same(hr, equal);
         }},
        {"RecheckFolder put, vtable", false, [](_Functions* f) { return f->put_RecheckFolder(VARIANT_TRUE); }},
        {"RecheckFolder get, Invoke", false,
         [](_Functions* f) {
             VARIANT r;
             VariantInit(&r);
             const HRESULT hr = invoke(f, dispid::RecheckFolder, DISPATCH_PROPERTYGET, {}, &r);
             return same(hr, r.vt == VT_BOOL && r.boolVal == VARIANT_TRUE);
         }},
        {"GetProfileName, vtable (error report)", true,
         [](_Functions* f) {
             BSTR r = nullptr;
             const HRESULT hr = f->GetProfileName(&r);
             SysFreeString(r);
             return hr;
         }},
        {"GetContactlist, Invoke (error report)", true,
         [](_Functions* f) {
             VARIANT r;
             VariantInit(&r);
             const HRESULT hr = invoke(f, dispid::GetContactlist, DISPATCH_METHOD, {boolean(VARIANT_TRUE)}, &r);
             VariantClear(&r);
             return hr;
         }},
        {"GetFolderName, vtable (error report)", true,
         [](_Functions* f) {
             BSTR id = SysAllocString(L"00000000");
             BSTR r = nullptr;
             const HRESULT hr = f->GetFolderName(&id, &r);
             SysFreeString(id);
             SysFreeString(r);
             return hr;
         }},
        {"GetFolderPath, Invoke (error report)", true,
         [](_Functions* f) {
             VARIANT id = text(SysAllocString(L"00000000")), r;
             VariantInit(&r);
             const HRESULT hr = invoke(f, dispid::GetFolderPath, DISPATCH_METHOD, {id}, &r);
             VariantClear(&id);
             VariantClear(&r);
             return hr;
         }},
        {"GetIDsOfNames", false,
         [](_Functions* f) {
             wchar_t member[] = L"GetContactlist";
             LPOLESTR names[] = {member};
             DISPID id = 0;
             const HRESULT hr = f->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
             return same(hr, id == dispid::GetContactlist);
         }},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: soak_checks KWOLFunc.dll outlook9.tlb\n");
        return 2;
    }
    const std::wstring dll = fullPath(argv[1]), outlookLibrary = fullPath(argv[2]);
    wine_check::registerServer(dll, outlookLibrary);

    BSTR name = SysAllocString(L"Soak \u00e9\u4e2d\U0001F600");
    const std::vector<Row> table = rows(name);
    std::vector<HRESULT> first(table.size(), S_OK);
    std::vector<int> differed(table.size(), 0);
    Memory early, late;
    int calls = 0, objects = 0, creationFailures = 0, earlyAt = 0;
    while (calls < kCalls) {
        CLSID clsid{};
        IDispatch* dispatch = nullptr;
        _Functions* object = nullptr;
        if (FAILED(CLSIDFromProgID(L"KWOLFunc.Functions", &clsid)) ||
            FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&dispatch))) ||
            FAILED(dispatch->QueryInterface(kw::identity::IID__Functions, reinterpret_cast<void**>(&object)))) {
            if (dispatch != nullptr) dispatch->Release();
            if (++creationFailures > 3) break;
            continue;
        }
        ++objects;
        for (std::size_t i = 0; i < table.size() && calls < kCalls; ++i, ++calls) {
            const HRESULT hr = table[i].call(object);
            if (objects == 1)
                first[i] = hr;
            else if (hr != first[i]) {
                ++differed[i];
            }
        }
        object->Release();
        dispatch->Release();
        // Both samples at the same point of a cycle: between objects.
        if (earlyAt == 0 && calls >= kEarly) {
            early = memoryNow();
            earlyAt = calls;
        }
    }
    late = memoryNow();
    SysFreeString(name);

    expect(creationFailures == 0 && calls == kCalls,
           std::to_string(calls) + " calls on " + std::to_string(objects) + " objects created by ProgID");
    for (std::size_t i = 0; i < table.size(); ++i)
        expect(SUCCEEDED(first[i]) != table[i].reportsError && differed[i] == 0,
               std::string(table[i].what) + ": " + hex(first[i]) + ", every call as the first (" + std::to_string(differed[i]) + " differed)");
    std::printf("     private bytes %lu KiB after call %d, %lu KiB after call %d\n",
                static_cast<unsigned long>(early.privateBytes / 1024), earlyAt,
                static_cast<unsigned long>(late.privateBytes / 1024), calls);
    std::printf("     working set   %lu KiB after call %d, %lu KiB after call %d\n",
                static_cast<unsigned long>(early.workingSet / 1024), earlyAt,
                static_cast<unsigned long>(late.workingSet / 1024), calls);
    expect(early.privateBytes != 0 && late.privateBytes <= early.privateBytes + kAllowance,
           "private bytes do not grow between call 1000 and the last");
    expect(early.workingSet != 0 && late.workingSet <= early.workingSet + kAllowance,
           "the working set does not grow between call 1000 and the last");

    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    HMODULE module = GetModuleHandleW(L"KWOLFunc.dll");
    auto canUnloadNow = module == nullptr ? nullptr
                                          : reinterpret_cast<CanUnloadNow>(
                                                reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    expect(canUnloadNow != nullptr && canUnloadNow() == S_OK,
           "DllCanUnloadNow answers S_OK once everything is released");
    wine_check::unregisterServer(dll);
    return wine_check::result();
}

// Who releases the thread's Outlook application, and unloading, under Wine:
//   unload_checks KWOLFunc.dll
// A host thread loads the DLL itself, with a counting Outlook application
// class of its own. The thread's application is released when the thread's
// last Functions object goes, while the thread is still in COM; an object the
// host never releases keeps it, and after CoUninitialize and FreeLibrary it
// is never released (leaked, not released after COM is gone). FreeLibrary
// unloads the DLL at once: it keeps no per-thread object with a destructor,
// so the C++ run time does not hold it for the thread, and the thread then
// ends without running any of its code.
#include <windows.h>

#include "functions/identity.h"
#include "outside/outlook.h"
#include "tests/wine/check.h"

namespace {

using wine_check::expect;

// The Outlook application: counts its references, its creations and the
// releases that arrive after the thread left COM. It knows no member, so
// attaching stops at GetNamespace (which only marks the object).
struct Application final : IDispatch {
    LONG refs = 0;
    int releasesOutsideCom = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kw::outlook::IID__Application) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        if (CoGetApartmentType(&type, &qualifier) == CO_E_NOTINITIALIZED) ++releasesOutsideCom;
        return static_cast<ULONG>(--refs);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

Application gApplication;
int gCreations = 0;

struct ApplicationClass final : IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        ++gCreations;
        return gApplication.QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ApplicationClass gApplicationClass;

template <class F>
F exported(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A call that attaches to Outlook: GetProfileName, by DISPID. Its work fails
// here (no spam client), which does not matter for the attach.
void attach(IDispatch* object) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    object->Invoke(0x60030021, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    VariantClear(&result);
}

bool inside(const void* address, HMODULE module, SIZE_T size) {
    const auto* a = static_cast<const BYTE*>(address);
    const auto* base = reinterpret_cast<const BYTE*>(module);
    return a >= base && a < base + size;
}

const char* gPath = nullptr;
HMODULE gDll = nullptr;
SIZE_T gSize = 0;

DWORD WINAPI host(void*) {
    CoInitialize(nullptr);
    DWORD cookie = 0;
    CoRegisterClassObject(kw::outlook::CLSID_Application, &gApplicationClass, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                          &cookie);
    HMODULE dll = gDll = LoadLibraryA(gPath);
    if (!expect(dll != nullptr, "the host loads the DLL")) return 1;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(dll);
    gSize =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(dll) + dos->e_lfanew)->OptionalHeader.SizeOfImage;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto getClassObject = exported<GetClassObject>(dll, "DllGetClassObject");
    auto canUnloadNow = exported<CanUnloadNow>(dll, "DllCanUnloadNow");
    IClassFactory* factory = nullptr;
    getClassObject(kw::identity::CLSID_Functions, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
    if (!expect(factory != nullptr, "the DLL gives its class factory")) return 1;
    expect(canUnloadNow() == S_FALSE, "a class factory held keeps the DLL");
    factory->LockServer(TRUE);
    factory->Release();
    expect(canUnloadNow() == S_FALSE, "so does a lock");
    factory->LockServer(FALSE);
    expect(canUnloadNow() == S_OK, "released and unlocked, the DLL may go");

    IDispatch* first = nullptr;
    IDispatch* second = nullptr;
    getClassObject(kw::identity::CLSID_Functions, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&first));
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&second));
    factory->Release();
    if (!expect(first != nullptr && second != nullptr, "two Functions objects")) return 1;
    attach(first);
    attach(second);
    // Each object's member still holds it too: the calls failed before
    // their end (no spam client), so their per-call objects stay until the
    // object goes.
    expect(gCreations == 1 && gApplication.refs == 3, "share one application, which the thread keeps between calls");
    expect(canUnloadNow() == S_FALSE, "live objects keep the DLL");
    first->Release();
    expect(gApplication.refs == 2, "the application stays while one of the thread's objects lives");
    second->Release();
    expect(gApplication.refs == 0 && gApplication.releasesOutsideCom == 0,
           "and is released with the thread's last object, while the thread is in COM");
    expect(canUnloadNow() == S_OK, "nothing left: the DLL may go");

    // An object the host never releases, as a host that leaks one.
    IDispatch* kept = nullptr;
    getClassObject(kw::identity::CLSID_Functions, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&kept));
    factory->Release();
    attach(kept);
    expect(gCreations == 2 && gApplication.refs == 2, "a later object attaches to a new application");
    expect(canUnloadNow() == S_FALSE, "a kept object keeps the DLL");

    CoRevokeClassObject(cookie);
    CoUninitialize();
    FreeLibrary(dll);
    expect(GetModuleHandleW(L"KWOLFunc.dll") == nullptr, "FreeLibrary unloads the DLL at once");
    expect(gApplication.releasesOutsideCom == 0 && gApplication.refs == 2,
           "after CoUninitialize and FreeLibrary the kept object's application is not released");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: unload_checks KWOLFunc.dll\n");
        return 2;
    }
    gPath = argv[1];
    HANDLE thread = CreateThread(nullptr, 0, &host, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    expect(GetModuleHandleW(L"KWOLFunc.dll") == nullptr, "after FreeLibrary and the end of the host thread the DLL is unloaded");
    LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(filter);
    expect(!inside(reinterpret_cast<const void*>(filter), gDll, gSize), "no exception filter points into the unloaded DLL");
    return wine_check::result();
}

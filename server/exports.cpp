// The four exports of the DLL, its class factory and its load-time entry
// point. The entry point only remembers the module: Main runs on each
// thread when that thread creates its first object, and the fault handling
// is removed when the run time unloads the DLL.
#include <atomic>

#include "functions/FunctionsObject.h"
#include "server/registry.h"

namespace {

std::atomic<long> gLocks{0};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // The factory is static: its references keep the DLL loaded like locks.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++gLocks); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return static_cast<ULONG>(--gLocks); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return kw::FunctionsObject::create(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }
};

Factory gFactory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kw::server::setModule(module);
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != kw::identity::CLSID_Functions) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return gLocks.load() == 0 && kw::FunctionsObject::liveObjects() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return kw::server::registerServer(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return kw::server::unregisterServer(); }

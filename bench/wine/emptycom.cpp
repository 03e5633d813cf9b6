// The baseline of the load-time benchmark: the smallest in-process COM
// server built and registered the way KWOLFunc.dll is (same compiler and
// static run time, regsvr32, InprocServer32 with ThreadingModel Apartment and
// a ProgID), with one class whose object is a bare IUnknown.
#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <tuple>

#include "bench/wine/emptycom.h"

namespace {

HINSTANCE gModule = nullptr;
std::atomic<long> gLocks{0};

class Empty final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = riid == IID_IUnknown ? this : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    Empty() { ++gLocks; }
    ~Empty() { --gLocks; }

private:
    std::atomic<long> refs_{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++gLocks); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return static_cast<ULONG>(--gLocks); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Empty* object = new (std::nothrow) Empty;
        if (object == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }
};

Factory gFactory;

HRESULT setValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    }
    return HRESULT_FROM_WIN32(status);
}

const std::wstring kClsidKey = std::wstring(L"CLSID\\") + emptycom::kClsidText;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != emptycom::kClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gLocks.load() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return E_FAIL;
    const std::wstring progId = emptycom::kProgId;
    HRESULT hr = S_OK;
    for (const auto& [key, name, data] :
         {std::tuple<std::wstring, const wchar_t*, std::wstring>{kClsidKey, nullptr, progId},
          {kClsidKey + L"\\InprocServer32", nullptr, path},
          {kClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
          {kClsidKey + L"\\ProgID", nullptr, progId},
          {progId, nullptr, progId},
          {progId + L"\\CLSID", nullptr, emptycom::kClsidText}}) {
        if (SUCCEEDED(hr)) hr = setValue(key, name, data);
    }
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const LSTATUS a = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey.c_str());
    const LSTATUS b = RegDeleteTreeW(HKEY_CLASSES_ROOT, emptycom::kProgId);
    for (const LSTATUS s : {a, b})
        if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(s);
    return S_OK;
}

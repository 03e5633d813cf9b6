// Per-thread error information: SetErrorInfo / GetErrorInfo / CreateErrorInfo
// with the Windows contract (GetErrorInfo hands the object over and clears the
// slot; S_FALSE when there is none).
#include <atomic>
#include <string>

#include "platform/com.h"

namespace {

thread_local IErrorInfo* tCurrent = nullptr;

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo) *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
        if (guid == nullptr) return E_INVALIDARG;
        *guid = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return give(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return give(description_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return give(helpFile_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = helpContext_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return take(source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override { return take(description_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return take(helpFile_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        helpContext_ = context;
        return S_OK;
    }

private:
    static HRESULT give(const std::u16string& text, BSTR* out) {
        if (out == nullptr) return E_INVALIDARG;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    static HRESULT take(std::u16string& field, LPOLESTR text) {
        field = text == nullptr ? std::u16string() : std::u16string(text);
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    std::u16string source_, description_, helpFile_;
    DWORD helpContext_ = 0;
};

// Releases what is left in the slot when the thread ends.
struct Slot {
    ~Slot() {
        if (tCurrent != nullptr) tCurrent->Release();
        tCurrent = nullptr;
    }
};
thread_local Slot tSlot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (info == nullptr) return E_INVALIDARG;
    *info = static_cast<ICreateErrorInfo*>(new ErrorInfo());
    return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
    (void)&tSlot;
    if (info != nullptr) info->AddRef();
    if (tCurrent != nullptr) tCurrent->Release();
    tCurrent = info;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
    if (info == nullptr) return E_INVALIDARG;
    *info = tCurrent;
    tCurrent = nullptr;
    return *info == nullptr ? S_FALSE : S_OK;
}
